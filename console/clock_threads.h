// The clock thread (date line, clock, elapsed time, clock fields) and the
// title thread (title line on row 25). They draw straight into the screen
// model under the named locks "Time_Unic" and "Hint".
#pragma once

#include <cstdint>

#include "control/run.h"

namespace qv {

// Exactly 14 characters for a count of seconds (may set the counter back to 0
// through `run` when the count is too long to show).
Text elapsed_text(Run& run, int64_t seconds);
void advance_elapsed(Run& run);
void draw_date_line(Run& run);
void start_clock_thread(Run& run);
void stop_clock_thread(Run& run);
void start_title_thread(Run& run);
// Raises the title stop flag and waits until both threads have ended.
void stop_title_thread(Run& run);

}  // namespace qv
