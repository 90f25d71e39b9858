// Time texts shared by the macros and the clock thread.
#pragma once

#include <cstdint>

#include "control/run.h"

namespace qv {

// Decimal text of n, with a leading "0" when it is one character long.
Text two_digits(int32_t n);

// Reads the local time, stores hour, minute, second and hundredths in the
// clock fields and returns "HH:MM:SS".
Text time_text(Run& run);

}  // namespace qv
