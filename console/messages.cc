#include "console/messages.h"

#include "console/run_log.h"

namespace qv {

// The message before this one is complete: the log gets it first (and may
// put its own report in between), then the new message takes a fresh line.
void start_message_line(Run& run) {
  write_run_log(run);
  run.screen.begin_message();
}

void start_transcript_line(Run& run) {
  write_run_log(run);
  run.screen.end_transcript_line();
}

void set_colour(Run& run, uint8_t colour) {
  run.screen.text_colour(colour);
  run.screen.text_background(kBlack);
}

}  // namespace qv
