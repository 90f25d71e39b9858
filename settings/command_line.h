// Command-line switches, help screens and the debug dump.
#pragma once

#include "control/run.h"

namespace qv {

Ending help_switches(Run& run);
void help_hint(Run& run);
Ending other_switches(Run& run);
Ending help_screen_english(Run& run);
Ending help_screen_russian(Run& run);
Ending debug_dump(Run& run);

}  // namespace qv
