#include "control/young_files.h"

namespace qv {

namespace {

constexpr int64_t kNsPerSecond = 1'000'000'000;

// The last time the file changed: its change time where the system keeps one
// (it moves with every write and cannot be set back, unlike the modification
// time, which a copy may carry over from elsewhere), else its last-write time.
int64_t last_change_ns(const FileInfo& entry) {
  return entry.ctime_ns != 0 ? entry.ctime_ns : entry.mtime_ns;
}

}  // namespace

bool still_arriving(Run& run, const FileInfo& entry) {
  const int64_t age = run.settings.min_file_age;
  if (age <= 0) return false;
  const int64_t rested_ns = run.os.clock.now_ns() - last_change_ns(entry);
  return rested_ns < age * kNsPerSecond;
}

}  // namespace qv
