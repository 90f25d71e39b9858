// The external program run at the end of each script cycle.
#pragma once

#include "control/run.h"

namespace qv {

// Runs the external program if the settings ask for it.
void end_of_cycle_run(Run& run);
// Looks the command up as a file name: as written, then in each PATH entry.
bool find_in_path(Run& run, const Text& command, Text& full_name);
// Hands the console to NAME_BATNIK, counts down, and puts the screen back.
void start_external_program(Run& run);

}  // namespace qv
