// The program's main body: module initialisation, start-up, main cycle and
// shutdown, in their fixed order. Returns the process exit code.
#pragma once

#include "platform/platform.h"

namespace qv {

int run_program(Platform& platform);

}  // namespace qv
