// Date, time, counter and directory macros in paths.
#pragma once

#include "control/run.h"

namespace qv {

// Replaces every date, time, counter and directory macro in the text.
Text expand_macros(Run& run, const Text& text);
// 0..9 and A..Z for 0..35; empty for anything else.
Text char_code(int32_t n);
// Reads the clock into the clock fields and expands five settings in place.
void macro_refresh(Run& run);

}  // namespace qv
