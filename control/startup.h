// The program's main body: module initialisation, start-up, main cycle and
// shutdown, in their fixed order. Returns the process exit code.
#pragma once

#include "control/run.h"
#include "platform/platform.h"

namespace qv {

// Runs the whole program on `platform` and returns the process exit code.
int run_program(Platform& platform);

// Prepares every module before the main body: program and start directories,
// setting defaults, counters and drawing flags, settings path, interpreter lists.
void initialise_modules(Run& run);

// Start-up steps from the first banner to locating the task script; an
// Ending stops the run there with its exit code.
Ending start_up(Run& run);

// Start-up, then the drawing threads and the status screen: everything
// between module initialisation and the main cycle.
Ending begin_run(Run& run);

// Shutdown after the main cycle: threads stopped, banner again, farewell line.
void shut_down(Run& run);

}  // namespace qv
