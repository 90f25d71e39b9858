#include "control/refusals.h"

#include <algorithm>

namespace qv {

bool RefusalMemory::first_time(const FileInfo& dir, const Text& name, const FileInfo& info,
                               Refusal why) {
  Seen now{dir.device, dir.index, name.str(), info.size, info.mtime_ns, why};
  auto same = [&](const Seen& s) {
    return s.dir_device == now.dir_device && s.dir_index == now.dir_index && s.name == now.name &&
           s.size == now.size && s.mtime_ns == now.mtime_ns && s.why == now.why;
  };
  if (std::any_of(seen_.begin(), seen_.end(), same)) return false;
  if (seen_.size() >= kLimit) seen_.pop_front();
  seen_.push_back(std::move(now));
  return true;
}

void RefusalMemory::forget(const FileInfo& dir, const Text& name) {
  std::erase_if(seen_, [&](const Seen& s) {
    return s.dir_device == dir.device && s.dir_index == dir.index && s.name == name.view();
  });
}

}  // namespace qv
