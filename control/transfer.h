// The transfer engine. One dispatch sends one file of the input directory in
// hand to its output directories: copied into all but the last, moved into
// the last. A dispatch is one unit: either every output has the file complete
// and in place and the source is gone, or the source stays as it was and
// what the dispatch made is taken back.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "control/run.h"

namespace qv {

// One output directory of a dispatch.
struct Destination {
  std::string path;          // the directory, ending with a separator
  std::shared_ptr<Dir> dir;  // open already (a covering note follows its file); null: by path
};

// Sends `file`, an entry of the input directory in hand, to `to`. True when
// it was delivered: `done` then holds where it went, output by output; else
// `done` is left empty.
bool send_file(Run& run, const RawEntry& file, const std::vector<Destination>& to,
               std::vector<DoneTarget>& done);

// Opens the levels of `step` (one or more names joined by separators) below
// `from`, making missing ones when `make` (then `made` tells whether one was
// made). Null, err set, when a level cannot be made or opened, or `step`
// names no level at all.
std::unique_ptr<Dir> enter_levels(Dir& from, std::string_view step, bool make, bool& made,
                                  Error& err);

}  // namespace qv
