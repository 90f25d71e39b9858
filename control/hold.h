// Hold directories: a file taken from an input directory waits in one, named
// with kHoldPrefix inside that input directory, until its dispatch ends. A
// hold directory that nobody holds any more was left by a taker that died:
// what it holds goes back where it was taken from.
#pragma once

#include <vector>

#include "control/run.h"

namespace qv {

// The hold directory of the input directory in hand, made on first use.
// Null, err set, when it cannot be made.
Dir* hold_dir(InputInHand& in, Error& err);
// Lets go of the hold directory of a search that ends and removes it.
void release_hold_dir(InputInHand& in);
// For each hold directory among `in_flight` (names a search passed over)
// that can be held: puts every file in it back into the input directory
// under its own name, never replacing one, then removes it.
void recover_taken_files(InputInHand& in, const std::vector<Text>& in_flight);

}  // namespace qv
