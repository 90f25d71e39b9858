// The refusals already reported: a file refused again for the same reason
// while it has not changed is skipped without a second report and pause.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "platform/file_system.h"

namespace qv {

// Why a file was refused.
enum class Refusal : uint8_t { kFileSize, kOutputDirSize, kTake };

class RefusalMemory {
 public:
  // At most this many refusals are remembered; the oldest is forgotten first.
  static constexpr std::size_t kLimit = 1024;

  // True when this refusal of file `name` (as `info` describes it) in the
  // directory `dir` is met for the first time and is to be reported; the
  // refusal is remembered from now on.
  bool first_time(const FileInfo& dir, const Text& name, const FileInfo& info, Refusal why);
  // Forgets every refusal of file `name` in `dir` (it was taken since).
  void forget(const FileInfo& dir, const Text& name);

 private:
  struct Seen {
    uint64_t dir_device, dir_index;
    std::string name;
    uint64_t size;
    int64_t mtime_ns;
    Refusal why;
  };
  std::deque<Seen> seen_;
};

}  // namespace qv
