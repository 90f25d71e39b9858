// The transfer engine. One dispatch sends one file of the input directory in
// hand to its output directories: copied into all but the last, moved into
// the last. A dispatch is one unit: either every output has the file complete
// and in place and the source is gone, or the source stays as it was and
// what the dispatch made is taken back.
#pragma once

#include <functional>
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

class Dispatch;

// Files taken and written into their outputs, not yet delivered. Landing the
// batch flushes every copy, then names them all, then syncs each directory
// once, then moves or removes the sources in the order the files were added:
// one file-system commit serves the whole batch, and every file still goes
// through its steps in order (on the disk before named, named before its
// source goes). A file whose step fails is taken back alone.
class Batch {
 public:
  explicit Batch(Run& run);
  ~Batch();  // files never landed are taken back
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;

  // Takes `file` and writes its copies; false when it was refused (its source
  // is back and nothing of it is left in the outputs).
  bool add(const RawEntry& file, const std::vector<Destination>& to);
  // True when the batch should land before another file joins it: enough
  // files are open, enough bytes written, or its first file waits too long.
  bool full() const;
  // Lands every file added, in order; `delivered` hears where each file that
  // reached all its outputs went.
  void land(const std::function<void(std::vector<DoneTarget>&)>& delivered);

 private:
  static constexpr int kBatchHandles = 192;  // well below the usual 1,024 open files
  static constexpr int64_t kBatchBytes = int64_t{32} << 20;
  static constexpr int64_t kBatchMs = 1000;

  Run& run_;
  std::vector<std::unique_ptr<Dispatch>> files_;
  // Output directories opened by the files of the batch, by their paths: the
  // later files go through the same handles.
  std::vector<Destination> opened_;
  int64_t started_ms_ = 0;
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
