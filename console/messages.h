// The message convention: fixed pieces go into the message lines, a message
// begins a new line only when the cursor is not in column 1, is written with
// no line break at its end, and light grey is set again afterwards.
#pragma once

#include <string_view>

#include "control/run.h"

namespace qv {

// Writes a line break when the cursor of the current window is not in column 1;
// in the transcript and the log the message takes a line of its own in any case.
void start_message_line(Run& run);

// A report that starts where the cursor stands: the screen is left alone,
// but the transcript and the log begin a line of their own.
void start_transcript_line(Run& run);

// Sets the text colour (background black).
void set_colour(Run& run, uint8_t colour);

}  // namespace qv
