#include "control/guards.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/fake_platform.h"

namespace qv {
namespace {

// A run on the fake platform with a drive D: of plenty of free space.
struct GuardRun {
  fake::FakePlatform fp;
  Run run{fp.platform};

  GuardRun() {
    fp.fs.add_drive('D', 8ull << 30, 4ull << 30);
    run.settings.lang = 0;
  }
  std::string out() const { return fp.console.transcript_utf8(); }
  bool said(const std::string& s) const { return out().find(s) != std::string::npos; }
};

TEST(DriveGuard, AcceptsOrRefusesWithItsReport) {
  struct Case {
    const char* name;
    const char* path;
    uint64_t free_on_d;
    bool accepted;
    const char* report;  // of a refusal
    int64_t pause;
  };
  const std::vector<Case> cases = {
      {"missing drive", "E:\\OUT\\", 4ull << 30, false,
       "Not Exist drive E: !!!\nAdd. Inf. E:\\OUT\\", 3000},
      {"lower-case letter of a missing drive", "e:\\out\\", 4ull << 30, false,
       "Not Exist drive E: !!!\nAdd. Inf. e:\\out\\", 3000},
      {"lower-case letter of an existing drive", "d:\\out\\", 4ull << 30, true, "", 0},
      {"incorrect drive name", "1:\\OUT\\", 4ull << 30, false,
       "An Incorrect name drive,1:\\OUT\\: !!!\nAdd. Inf. 1:\\OUT\\", 3000},
      {"free space exactly at the threshold", "D:\\OUT\\", 1'024'000, true, "", 0},
      {"one byte below the threshold", "D:\\OUT\\", 1'023'999, false,
       " There is not enough of place on a disk!!!  D: 1023999 byte.", 0},
  };
  for (const Case& c : cases) {
    GuardRun g;
    g.fp.fs.set_free('D', c.free_on_d);
    EXPECT_EQ(check_target_drive(g.run, c.path), c.accepted) << c.name;
    if (c.accepted) {
      EXPECT_EQ(g.out(), "") << c.name;
    } else {
      EXPECT_TRUE(g.said(c.report)) << c.name << ": " << g.out();
    }
    EXPECT_EQ(g.fp.clock.slept_ms(), c.pause) << c.name;
  }
}

TEST(DriveGuard, ReportsInRussianAndInRed) {
  GuardRun g;
  g.run.settings.lang = 1;
  EXPECT_FALSE(check_target_drive(g.run, "E:\\OUT\\"));
  EXPECT_TRUE(g.said("Несуществующий диск,E: !!!\nДоп. Инф. E:\\OUT\\")) << g.out();
  EXPECT_EQ(g.run.screen.cell(1, 1).attr & 0x0F, kRed);
  EXPECT_EQ(g.run.screen.attribute() & 0x0F, kLightGrey);  // grey again afterwards
}

TEST(FileSizeGuard, AppliesTheLimitWithItsReport) {
  struct Case {
    int64_t limit;
    std::size_t size;
    bool accepted;
  };
  const std::vector<Case> cases = {
      {0, 5000, true}, {-1, 5000, true}, {1000, 1000, true}, {1000, 1001, false}};
  for (const Case& c : cases) {
    GuardRun g;
    g.run.settings.max_file_size = c.limit;
    g.fp.fs.add_file("C:\\IN\\A.TXT", std::string(c.size, 'x'));
    EXPECT_EQ(check_file_size(g.run, "C:\\IN\\A.TXT"), c.accepted) << c.limit << "/" << c.size;
    EXPECT_EQ(g.fp.clock.slept_ms(), c.accepted ? 0 : 3000);
    if (!c.accepted) {
      EXPECT_EQ(g.out(), "C:\\IN\\A.TXT Restriction of the size of a file (1001 > 1000)");
    }
  }
}

TEST(FileSizeGuard, SizeComesFromMetadataAndIsZeroForAVanishedFile) {
  GuardRun g;
  g.fp.fs.add_file("C:\\IN\\HELD.TXT", std::string(700, 'x'));
  g.fp.fs.set_locked("C:\\IN\\HELD.TXT", true);
  EXPECT_EQ(file_size(g.run, "C:\\IN\\HELD.TXT"), 700);
  EXPECT_EQ(file_size(g.run, "C:\\IN\\GONE.TXT"), 0);
  g.fp.fs.add_dir("C:\\IN\\SUB");
  EXPECT_EQ(file_size(g.run, "C:\\IN\\SUB"), 0);
}

TEST(OutputDirGuard, ComparesTheDirectoryTotalWithTheAllowance) {
  struct Case {
    const char* name;
    bool fill;  // the directory holds 3000 bytes (and a sub-directory that never counts)
    int64_t allowance;
    bool accepted;
  };
  const int64_t limit = 5000;
  const std::vector<Case> cases = {
      {"incoming 2000 beside 3000", true, limit - 2000, true},
      {"incoming 2001 beside 3000", true, limit - 2001, false},
      {"incoming 2500 replacing 500", true, limit - 2500 + 500, true},
      {"incoming 6000 into an empty directory", false, limit - 6000, false},
  };
  for (const Case& c : cases) {
    GuardRun g;
    g.run.settings.max_output_dir_size = limit;
    g.fp.fs.add_dir("D:\\OUT");
    if (c.fill) {
      g.fp.fs.add_file("D:\\OUT\\A.DAT", std::string(2500, 'a'));
      g.fp.fs.add_file("D:\\OUT\\B.DAT", std::string(500, 'b'), kAttrHidden | kAttrReadOnly);
      g.fp.fs.add_file("D:\\OUT\\SUB\\BIG.DAT", std::string(9000, 'c'));
    }
    EXPECT_EQ(check_output_dir_size(g.run, "D:\\OUT\\", c.allowance), c.accepted) << c.name;
    if (!c.accepted) {
      EXPECT_EQ(g.out(), "Restriction of the size output dir D:\\OUT\\ 5000") << c.name;
    }
  }
}

TEST(OutputDirGuard, NoLimitOrAMissingDirectoryAccepts) {
  GuardRun g;
  g.fp.fs.add_file("D:\\OUT\\A.DAT", std::string(3000, 'a'));
  EXPECT_TRUE(check_output_dir_size(g.run, "D:\\OUT\\", -100));  // limit 0: no guard
  g.run.settings.max_output_dir_size = 5000;
  EXPECT_TRUE(check_output_dir_size(g.run, "D:\\NONE\\", 10));
  EXPECT_FALSE(check_output_dir_size(g.run, "D:\\OUT\\", 2999));
}

TEST(ExistenceTests, TellFilesFromDirectories) {
  GuardRun g;
  g.fp.fs.add_file("D:\\X\\PLAIN.TXT", "p");
  g.fp.fs.add_file("D:\\X\\SECRET.TXT", "s", kAttrHidden | kAttrSystem | kAttrReadOnly);
  g.fp.fs.add_file(std::string("D:\\X\\") + std::string(kPartialPrefix) + "0~A.TXT", "partial");
  g.fp.fs.add_dir("D:\\X\\HIDDEN");
  g.fp.fs.set_attributes("D:\\X\\HIDDEN", kAttrHidden);
  struct Case {
    const char* path;
    bool is_dir;
    bool is_file;
  };
  const std::vector<Case> cases = {
      {"D:", true, false},
      {"Q:", true, false},  // a bare drive always counts as existing
      {"D:\\X\\", true, false},
      {"D:\\X", true, false},
      {"D:\\X\\HIDDEN\\", true, false},
      {"D:\\X\\PLAIN.TXT", false, true},
      {"D:\\X\\SECRET.TXT", false, true},
      {"D:\\X\\NONE.TXT", false, false},
      {"D:\\X\\*.TXT", false, false},  // a wildcard is no name here
      {"D:\\X\\.~qv0~A.TXT", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(directory_exists(g.run, c.path), c.is_dir) << c.path;
    EXPECT_EQ(file_exists(g.run, c.path), c.is_file) << c.path;
  }
}

TEST(CreateDirectoryPath, CreatesEveryMissingLevelFromTheRootDown) {
  GuardRun g;
  g.fp.fs.add_dir("D:\\X");
  create_directory_path(g.run, "D:\\X\\Y\\Z\\");
  EXPECT_TRUE(g.fp.fs.is_dir("D:\\X\\Y\\Z"));
  const std::vector<std::string> made = g.fp.fs.directories_made();
  ASSERT_EQ(made.size(), 2u);
  EXPECT_NE(made[0].find("Y"), std::string::npos);
  EXPECT_EQ(made[0].find("Z"), std::string::npos);
  EXPECT_NE(made[1].find("Z"), std::string::npos);
  EXPECT_EQ(g.out(), "The target catalogue D:\\X\\Y\\Z\\ Is successfully created.");
  EXPECT_EQ(g.fp.clock.slept_ms(), 0);
}

TEST(CreateDirectoryPath, ReportsAFailure) {
  GuardRun g;
  g.fp.fs.fail(fake::FsOp::kMakeDir, 1, Error::kAccessDenied, true);
  create_directory_path(g.run, "D:\\X\\Y\\");
  EXPECT_FALSE(g.fp.fs.is_dir("D:\\X"));
  EXPECT_EQ(g.out(), "I can not create D:\\X\\Y\\");
}

}  // namespace
}  // namespace qv
