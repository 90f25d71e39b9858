#include "console/messages.h"

namespace qv {

void start_message_line(Run& run) {
  if (run.screen.where_x() != 1) run.screen.new_line();
}

void set_colour(Run& run, uint8_t colour) {
  run.screen.text_colour(colour);
  run.screen.text_background(kBlack);
}

}  // namespace qv
