#include "control/young_files.h"

#include <gtest/gtest.h>

#include <string>

#include "console/status.h"
#include "control/main_cycle.h"
#include "control/startup.h"
#include "script/reader.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

constexpr int64_t kSecond = 1'000'000'000;

// The change time counts where the system keeps one, since a copy may carry
// an old modification time over; the modification time counts elsewhere. A
// file that rested exactly MIN_FILE_AGE seconds is old enough.
TEST(YoungFiles, TheLastChangeMustBeAtLeastMinFileAgeAgo) {
  struct Case {
    int32_t min_age;
    int64_t mtime_ago, ctime_ago;  // seconds before now; ctime -1: none kept
    bool arriving;
  } cases[] = {
      {0, 0, -1, false},  {5, 4, -1, true},       {5, 5, -1, false},
      {5, 3600, 1, true}, {5, 3600, 3600, false}, {5, -60, -1, true},
  };
  for (const Case& c : cases) {
    fake::FakePlatform fp;
    qv::Run run(fp.platform);
    run.settings.min_file_age = c.min_age;
    const int64_t now = fp.clock.now_ns();
    FileInfo entry;
    entry.mtime_ns = now - c.mtime_ago * kSecond;
    if (c.ctime_ago >= 0) entry.ctime_ns = now - c.ctime_ago * kSecond;
    EXPECT_EQ(still_arriving(run, entry), c.arriving) << &c - cases;
  }
}

}  // namespace
}  // namespace qv
