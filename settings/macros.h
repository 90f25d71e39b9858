// Date, time, counter and directory macros in paths.
#pragma once

#include "control/run.h"

namespace qv {

Text expand_macros(Run& run, const Text& text);
Text char_code(int32_t n);
// Reads the clock into the clock fields and expands five settings in place.
void macro_refresh(Run& run);

}  // namespace qv
