// Command-line switches, help screens and the debug dump.
#pragma once

#include "control/run.h"

namespace qv {

// /HELP, /H, /ПОМОЩЬ, /П anywhere on the command line show their help screen.
Ending help_switches(Run& run);
// Three lines naming the switches, only when there is no argument.
void help_hint(Run& run);
// /?, the debug switches, or the report of an argument that is no switch (exit 2).
Ending other_switches(Run& run);
// The help screens; wait for a key and end with exit code 0.
Ending help_screen_english(Run& run);
Ending help_screen_russian(Run& run);
// Lists the settings and the arguments; waits for a key and ends with exit code 1.
Ending debug_dump(Run& run);

}  // namespace qv
