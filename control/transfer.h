// The transfer engine: carries one file into one directory, as a copy or a move.
#pragma once

#include <string_view>

#include "control/run.h"

namespace qv {

// Returns the final target directory, or the empty text when nothing was
// transferred. `operation` "Move" moves; anything else copies.
Text transfer_file(Run& run, const Text& source, const Text& target_dir,
                   std::string_view operation);

}  // namespace qv
