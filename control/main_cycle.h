// The main cycle: turn after turn, interpret a block and carry it out.
#pragma once

#include "control/run.h"

namespace qv {

void run_main_cycle(Run& run);
bool check_candidate(Run& run);
void dispatch_file(Run& run);
void report_processing_error(Run& run);
// A key waiting, or a stop requested (signal, Ctrl+C, console close).
bool key_or_stop(Run& run);

}  // namespace qv
