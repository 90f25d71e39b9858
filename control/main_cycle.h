// The main cycle: turn after turn, interpret a block and carry it out.
#pragma once

#include "control/run.h"

namespace qv {

// Turns until a key press, a stop request, the cycle limit or the run-time
// limit ends the run; the exit code is set by the limit that ended it.
void run_main_cycle(Run& run);
// Size guards and expanded output list for the file the current search stands
// on; true when it may be dispatched.
bool check_candidate(Run& run);
// The report for a file refused by an output-directory size guard.
void report_processing_error(Run& run);
// A key waiting, or a stop requested (signal, Ctrl+C, console close).
bool key_or_stop(Run& run);

}  // namespace qv
