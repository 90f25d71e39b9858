#include "console/messages.h"

#include <functional>
#include <utility>

#include "console/run_log.h"

namespace qv {

namespace {

// What waits to be told (files delivered by a batch) is told before the next
// message, which keeps its colours and message lines, so that messages keep
// the order of events.
void tell_waiting(Run& run) {
  if (!run.before_message) return;
  std::function<void()> tell = std::move(run.before_message);
  run.before_message = nullptr;
  const uint8_t attribute = run.screen.attribute();
  const MessageLines lines = run.msg;
  tell();
  run.msg = lines;
  run.screen.text_colour(attribute & 0x0F);
  run.screen.text_background(static_cast<uint8_t>(attribute >> 4));
}

}  // namespace

// The message before this one is complete: the log gets it first (and may
// put its own report in between), then the new message takes a fresh line.
void start_message_line(Run& run) {
  tell_waiting(run);
  write_run_log(run);
  run.screen.begin_message();
}

void start_transcript_line(Run& run) {
  tell_waiting(run);
  write_run_log(run);
  run.screen.end_transcript_line();
}

void set_colour(Run& run, uint8_t colour) {
  run.screen.text_colour(colour);
  run.screen.text_background(kBlack);
}

}  // namespace qv
