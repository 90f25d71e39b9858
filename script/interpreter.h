// One interpretation step: reads the script up to the next command that can
// be carried out (or its end) and leaves the block in run.script.
#pragma once

#include "control/run.h"

namespace qv {

// Reads the next block; sets run.script.block_ready when it may be carried out.
void interpretation_step(Run& run);

}  // namespace qv
