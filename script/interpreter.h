// One interpretation step: reads the script up to the next command that can
// be carried out (or its end) and leaves the block in run.script.
#pragma once

#include "control/run.h"

namespace qv {

void interpretation_step(Run& run);

}  // namespace qv
