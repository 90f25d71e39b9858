#include "control/guards.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/fake_platform.h"

namespace qv {
namespace {

// A run on the fake platform with a drive D: of plenty of free space.
struct GuardRun {
  fake::FakePlatform fp;
  Run run{fp.platform};

  GuardRun() { fp.fs.add_drive('D', 8ull << 30, 4ull << 30); }
  std::string out() const { return fp.console.transcript_utf8(); }
};

TEST(DriveGuard, AcceptsOrRefusesWithItsReport) {
  constexpr uint64_t kPlenty = 4ull << 30;
  struct Case {
    const char* path;
    uint64_t free_on_d;
    const char* report;  // "": accepted
    int64_t pause;
  } cases[] = {
      {"E:\\OUT\\", kPlenty, "Not Exist drive E: !!!\nAdd. Inf. E:\\OUT\\", 3000},
      {"d:\\out\\", kPlenty, "", 0},
      {"1:\\OUT\\", kPlenty, "An Incorrect name drive,1:\\OUT\\: !!!\nAdd. Inf. 1:\\OUT\\", 3000},
      {"D:\\OUT\\", 1'024'000, "", 0},
      {"D:\\OUT\\", 1'023'999, " There is not enough of place on a disk!!!  D: 1023999 byte.", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " free " + std::to_string(c.free_on_d));
    GuardRun g;
    g.fp.fs.set_free('D', c.free_on_d);
    EXPECT_EQ(check_target_drive(g.run, c.path), c.report[0] == '\0');
    const std::string out = g.out();
    EXPECT_TRUE(c.report[0] == '\0' ? out.empty() : out.find(c.report) != std::string::npos) << out;
    EXPECT_EQ(g.fp.clock.slept_ms(), c.pause);
    EXPECT_EQ(g.run.screen.attribute() & 0x0F, kLightGrey);  // grey again afterwards
  }
}

TEST(FileSizeGuard, AppliesTheLimitWithItsReport) {
  struct Case {
    int64_t limit, size;
    bool accepted;
  } cases[] = {{0, 5000, true}, {-1, 5000, true}, {1000, 1000, true}, {1000, 1001, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.limit) + "/" + std::to_string(c.size));
    GuardRun g;
    g.run.settings.max_file_size = c.limit;
    EXPECT_EQ(check_file_size(g.run, "C:\\IN\\A.TXT", c.size), c.accepted);
    EXPECT_EQ(g.fp.clock.slept_ms(), c.accepted ? 0 : 3000);
    EXPECT_EQ(g.out(),
              c.accepted ? "" : "C:\\IN\\A.TXT Restriction of the size of a file (1001 > 1000)");
  }
}

// A path that a text cannot hold whole is shown with as much as fits and a
// "..." that marks the cut; one that fits exactly is shown whole.
TEST(FitPath, KeepsWhatFitsAndMarksTheCut) {
  const std::string dir = "C:\\" + std::string(200, 'D') + "\\";
  const std::string name = std::string(60, 'N');
  struct Case {
    std::string dir, name, shown;
  } cases[] = {
      {"C:\\IN\\", "A.TXT", "C:\\IN\\A.TXT"},
      {dir, std::string(255 - dir.size(), 'N'), dir + std::string(255 - dir.size(), 'N')},
      {dir, name, (dir + name).substr(0, 252) + "..."},
  };
  for (const Case& c : cases) {
    const Text shown = fit_path(c.dir, c.name);
    EXPECT_EQ(shown.str(), c.shown);
    EXPECT_LE(shown.size(), Text::kMax);
  }
}

}  // namespace
}  // namespace qv
