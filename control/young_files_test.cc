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
    const char* name;
    int32_t min_age;
    int64_t mtime_ago, ctime_ago;  // seconds before now; ctime -1: none kept
    bool arriving;
  } cases[] = {
      {"off", 0, 0, -1, false},
      {"modified a second too late", 5, 4, -1, true},
      {"rested exactly long enough", 5, 5, -1, false},
      {"old time carried over, just changed", 5, 3600, 1, true},
      {"changed long ago", 5, 3600, 3600, false},
      {"modification time in the future", 5, -60, -1, true},
  };
  for (const Case& c : cases) {
    fake::FakePlatform fp;
    qv::Run run(fp.platform);
    run.settings.min_file_age = c.min_age;
    const int64_t now = fp.clock.now_ns();
    FileInfo entry;
    entry.mtime_ns = now - c.mtime_ago * kSecond;
    if (c.ctime_ago >= 0) entry.ctime_ns = now - c.ctime_ago * kSecond;
    EXPECT_EQ(still_arriving(run, entry), c.arriving) << c.name;
  }
}

// A file written two seconds before the run starts is left alone, without a
// report, in every turn before it has rested five seconds (each turn begins
// with a one-second pause), and is taken in the turn after.
TEST(YoungFiles, AYoungFileIsTakenOnlyOnceItRests) {
  for (int turns : {2, 3}) {
    SCOPED_TRACE(turns);
    fake::FakePlatform fp;
    qv::Run run(fp.platform);
    initialise_modules(run);
    run.settings.delay_interpr = 1000;
    run.settings.delay_copy = 0;
    run.settings.min_file_age = 5;
    run.settings.valid_cycle_full_run = turns;
    fp.fs.add_file("C:\\QV\\Quorvane.Qvr", "C:\\IN\r\nMask: *.*\r\nC:\\OUT\r\nCommand: DO\r\n");
    fp.fs.add_file("C:\\IN\\OLD.DAT", "o");
    fp.fs.add_file("C:\\IN\\NEW.DAT", "n", kAttrArchive, fp.clock.now_ns() - 2 * kSecond);
    ASSERT_FALSE(locate_script(run).has_value());
    draw_status_screen(run);
    run_main_cycle(run);
    EXPECT_TRUE(fp.fs.exists("C:\\OUT\\OLD.DAT"));
    EXPECT_EQ(fp.fs.exists("C:\\OUT\\NEW.DAT"), turns == 3);
    EXPECT_EQ(run.state.found_files, turns == 3 ? 2 : 1) << "a young file is no found file";
    EXPECT_EQ(fp.console.transcript_utf8().find("NEW.DAT") != std::string::npos, turns == 3);
  }
}

}  // namespace
}  // namespace qv
