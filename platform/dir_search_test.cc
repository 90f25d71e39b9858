#include "platform/dir_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/cp866.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

struct MatchCase {
  std::string mask, name;
  bool match;
};

TEST(WildcardMatch, FollowsTheWindowsRules) {
  const std::vector<MatchCase> cases = {
      {"*", "README", true},
      {"*.*", "README", true},  // "*.*" takes names without a dot too
      {"*.*", "a.b.c", true},
      {"*.*", ".profile", true},
      {"*.", "README", true},  // "*." takes only names without a dot
      {"*.", "A.TXT", false},
      {"*.TXT", "a.txt", true},
      {"*.TXT", "a.txt.bak", false},
      {"*.TXT", "a.b.txt", true},
      {"*.TXT", "atxt", false},
      {"A?.dat", "AB.dat", true},
      {"A?.dat", "A.dat", true},  // '?' may stand for nothing before a dot
      {"A?.dat", "ABC.dat", false},
      {"A?.dat", "B1.dat", false},
      {"??", "A", true},  // ... and at the end of the name
      {"??", "ABC", false},
      {"?", "", true},
      {"REPORT", "report", true},
      {"REPORT", "reports", false},
      {"R*T", "REPORT", true},
      {"R*T", "REPORTS", false},
      {"*X*", "aaxbb", true},
      {"abc.", "ABC", true},
      {"", "", true},
      {"", "a", false},
  };
  for (const MatchCase& c : cases) {
    EXPECT_EQ(wildcard_match(c.mask, c.name), c.match) << c.mask << " vs " << c.name;
  }
}

TEST(WildcardMatch, FoldsLatinAndCyrillicCase) {
  const std::vector<MatchCase> cases = {
      {std::string("ФАЙЛ.*"_oem), std::string("файл.txt"_oem), true},
      {std::string("ПРОБА"_oem), std::string("проба"_oem), true},  // 0xA0-0xAF and 0xE0-0xEF
      {std::string("ЯЩИК"_oem), std::string("ящик"_oem), true},
      {std::string("ЯЩИК"_oem), std::string("ящиц"_oem), false},
      {"MiXeD?", "mIxEdZ", true},
  };
  for (const MatchCase& c : cases) {
    EXPECT_EQ(wildcard_match(c.mask, c.name), c.match) << cp866_to_utf8(c.mask);
  }
}

TEST(AttributeRule, AdmitsByMaskAndRequiredBits) {
  struct Case {
    uint32_t entry, mask;
    bool admitted;
  };
  const std::vector<Case> cases = {
      {kAttrArchive, kAttrArchive, true},
      {kAttrArchive, 0, false},
      {0, 0, true},
      {kAttrReadOnly | kAttrArchive, kAttrArchive, true},  // read-only never excludes
      {kAttrHidden | kAttrArchive, kAttrArchive, false},
      {kAttrHidden | kAttrArchive, kAttrArchive | kAttrHidden, true},
      {kAttrSystem, kAttrArchive, false},
      {kAttrVolume, kAttrArchive, false},
      {kAttrDirectory, kAttrArchive, false},
      {kAttrDirectory, kAttrDirectory, true},
      {kAttrArchive, kAttrArchive | (kAttrReadOnly << 8), false},  // must be read-only
      {kAttrReadOnly | kAttrArchive, kAttrArchive | (kAttrReadOnly << 8), true},
      {kAttrArchive, 0x3F | (kAttrDirectory << 8), false},
      {kAttrDirectory, 0x3F | (kAttrDirectory << 8), true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(attributes_admitted(c.entry, c.mask), c.admitted) << c.entry << " / " << c.mask;
  }
}

TEST(PathHelpers, SplitAtTheLastSeparator) {
  struct Case {
    std::string path, dir, name;
  };
  const std::vector<Case> cases = {
      {"D:\\IN\\A.TXT", "D:\\IN\\", "A.TXT"},
      {"/srv/in/a.txt", "/srv/in/", "a.txt"},
      {"D:\\IN/B\\*.*", "D:\\IN/B\\", "*.*"},
      {"D:A.TXT", "D:", "A.TXT"},
      {"A.TXT", "", "A.TXT"},
      {"D:\\IN\\", "D:\\IN\\", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(directory_of(c.path).str(), c.dir) << c.path;
    EXPECT_EQ(file_name_of(c.path).str(), c.name) << c.path;
  }
  EXPECT_EQ(last_separator("NONE"), std::string_view::npos);
  EXPECT_TRUE(is_partial_name(std::string(kPartialPrefix) + "A.TXT"));
  EXPECT_FALSE(is_partial_name("A.TXT"));
}

std::vector<std::string> names_found(FileSystem& fs, const std::string& pattern, uint32_t mask) {
  std::vector<std::string> out;
  for (DirSearch s(fs, Text(pattern), mask); s.found(); s.next())
    out.push_back(s.entry().name.str());
  return out;
}

TEST(DirSearch, YieldsMatchingAdmittedEntries) {
  fake::FakeFileSystem fs;
  fs.add_file("C:\\IN\\A1.TXT", "a");
  fs.add_file("C:\\IN\\b.txt", "b");
  fs.add_file("C:\\IN\\C.DAT", "c");
  fs.add_file("C:\\IN\\H.TXT", "h", kAttrArchive | kAttrHidden);
  fs.add_file("C:\\IN\\" + std::string(kPartialPrefix) + "1.TXT", "p");
  fs.add_dir("C:\\IN\\SUB.TXT");
  using V = std::vector<std::string>;
  EXPECT_EQ(names_found(fs, "C:\\IN\\*.TXT", kAttrArchive), (V{"A1.TXT", "b.txt"}));
  EXPECT_EQ(names_found(fs, "C:\\IN\\*.TXT", kAttrArchive | kAttrHidden | kAttrDirectory),
            (V{"A1.TXT", "b.txt", "H.TXT", "SUB.TXT"}));
  EXPECT_EQ(names_found(fs, "C:\\IN\\*.*", kAttrDirectory), (V{"SUB.TXT"}));
  EXPECT_EQ(names_found(fs, "C:\\IN\\*.*", kAttrArchive | (kAttrHidden << 8)), V{});
  EXPECT_EQ(names_found(fs, "C:/IN/a?.*", kAttrArchive), (V{"A1.TXT"}));
  EXPECT_EQ(names_found(fs, "C:\\NOWHERE\\*.*", 0x3F), V{});
  EXPECT_EQ(names_found(fs, "*.*", 0x3F), (V{"IN"}));  // the current directory
}

TEST(DirSearch, ExactNamesAreLookedUpNotListed) {
  fake::FakeFileSystem fs;
  fs.add_file("C:\\IN\\A.TXT", "a");
  fs.add_file("C:\\IN\\" + std::string(kPartialPrefix) + "A.TXT", "p");
  int lists = fs.calls(fake::FsOp::kOpenDir);
  EXPECT_EQ(names_found(fs, "C:\\IN\\A.TXT", kAttrArchive), std::vector<std::string>{"A.TXT"});
  EXPECT_EQ(fs.calls(fake::FsOp::kOpenDir), lists);
  EXPECT_TRUE(names_found(fs, "C:\\IN\\A.TXT", 0).empty());  // the attribute rule holds too
  EXPECT_TRUE(names_found(fs, "C:\\IN\\B.TXT", kAttrArchive).empty());
  EXPECT_TRUE(
      names_found(fs, "C:\\IN\\" + std::string(kPartialPrefix) + "A.TXT", kAttrArchive).empty());
  DirSearch s(fs, Text("C:\\IN\\*.*"), kAttrArchive);
  ASSERT_TRUE(s.found());
  s.close();
  EXPECT_FALSE(s.found());
}

TEST(MakeDirectories, CreatesMissingLevelsFromTheRootDown) {
  fake::FakeFileSystem fs;
  fs.add_drive('D', 1000, 1000);
  fs.add_dir("D:\\OUT");
  EXPECT_EQ(make_directories(fs, Text("D:\\OUT\\2026\\12\\05\\")), Error::kNone);
  EXPECT_EQ(fs.directories_made(), (std::vector<std::string>{"D:\\OUT\\2026", "D:\\OUT\\2026\\12",
                                                             "D:\\OUT\\2026\\12\\05"}));
  EXPECT_TRUE(fs.is_dir("D:\\OUT\\2026\\12\\05"));
  EXPECT_EQ(make_directories(fs, Text("D:/OUT//2026/12/05")), Error::kNone);  // nothing to do
  EXPECT_EQ(fs.directories_made().size(), 3u);
  EXPECT_EQ(make_directories(fs, Text("D:\\")), Error::kNone);
  EXPECT_EQ(make_directories(fs, Text("D:")), Error::kNone);
  EXPECT_EQ(fs.calls(fake::FsOp::kMakeDir), 3);  // the drive root is never created
}

TEST(MakeDirectories, ReportsWhatStopsIt) {
  fake::FakeFileSystem fs;
  fs.add_file("C:\\OUT\\FILE", "x");
  EXPECT_EQ(make_directories(fs, Text("C:\\OUT\\FILE\\SUB")), Error::kNotDirectory);
  EXPECT_EQ(make_directories(fs, Text("Q:\\OUT")), Error::kNotFound);
  fs.fail(fake::FsOp::kMakeDir, 2, Error::kAccessDenied);
  EXPECT_EQ(make_directories(fs, Text("C:\\A\\B\\C")), Error::kAccessDenied);
  EXPECT_TRUE(fs.is_dir("C:\\A"));
  EXPECT_FALSE(fs.exists("C:\\A\\B\\C"));
}

}  // namespace
}  // namespace qv
