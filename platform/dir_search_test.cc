#include "platform/dir_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/cp866.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

TEST(WildcardMatch, FollowsTheWindowsRulesAndFoldsLatinAndCyrillicCase) {
  struct Case {
    std::string mask;  // UTF-8 here, CP866 when matched
    std::vector<std::string> match, no_match;
  } cases[] = {{"*.*", {"README", "a.b.c", ".profile"}, {}},  // "*.*" takes names without a dot too
               {"*.", {"README"}, {"A.TXT"}},                 // "*." takes only names without a dot
               {"*.TXT", {"a.txt", "a.b.txt"}, {"a.txt.bak", "atxt"}},
               {"A?.dat", {"AB.dat", "A.dat"}, {"ABC.dat", "B1.dat"}},  // '?' may stand for nothing
               {"??", {"A"}, {"ABC"}},  // ... before a dot or the end
               {"?", {""}, {}},
               {"RePorT", {"rEPORt"}, {"reports"}},
               {"R*T", {"REPORT"}, {"REPORTS"}},
               {"*X*", {"aaxbb"}, {}},
               {"abc.", {"ABC"}, {}},
               {"", {""}, {"a"}},
               {"ФАЙЛ-ПРОБА-ЯЩИК.*", {"файл-проба-ящик.txt"}, {"файл-проба-ящиц.txt"}},
               {"ЁЖ?К.*", {"ёжик.txt", "ЁЖИК.TXT"}, {"ежик.txt"}},
               {"*ё*", {"ЁЛКА", "ёлка"}, {"ЕЛКА", "Є"}}};
  auto oem = [](const std::string& utf8) {
    std::string out;
    EXPECT_TRUE(utf8_to_cp866(utf8, out)) << utf8;
    return out;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mask);
    for (const auto& name : c.match) EXPECT_TRUE(wildcard_match(oem(c.mask), oem(name))) << name;
    for (const auto& name : c.no_match)
      EXPECT_FALSE(wildcard_match(oem(c.mask), oem(name))) << name;
  }
  EXPECT_TRUE(wildcard_match(std::string_view("A.X", 2), "A")) << "read past the end of the mask";
}

TEST(AttributeRule, AdmitsByMaskAndRequiredBits) {
  struct Case {
    uint32_t mask;
    std::vector<uint32_t> admitted, refused;
  } cases[] = {
      {kAttrArchive,  // read-only never excludes
       {kAttrArchive, kAttrReadOnly | kAttrArchive},
       {kAttrHidden | kAttrArchive, kAttrSystem, kAttrVolume, kAttrDirectory}},
      {0, {0}, {kAttrArchive}},
      {kAttrArchive | (kAttrReadOnly << 8), {kAttrReadOnly | kAttrArchive}, {kAttrArchive}},
      {0x3F | (kAttrDirectory << 8), {kAttrDirectory}, {kAttrArchive}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mask);
    for (uint32_t a : c.admitted) EXPECT_TRUE(attributes_admitted(a, c.mask)) << a;
    for (uint32_t a : c.refused) EXPECT_FALSE(attributes_admitted(a, c.mask)) << a;
  }
}

TEST(PathHelpers, SplitAtTheLastSeparatorAndJoinWithTheOneThePathUses) {
  const char* splits[][3] = {{"D:\\IN\\A.TXT", "D:\\IN\\", "A.TXT"},
                             {"/srv/in/a.txt", "/srv/in/", "a.txt"},
                             {"D:\\IN/B\\*.*", "D:\\IN/B\\", "*.*"},
                             {"D:A.TXT", "D:", "A.TXT"},
                             {"A.TXT", "", "A.TXT"},
                             {"D:\\IN\\", "D:\\IN\\", ""}};
  for (const auto& [path, dir, name] : splits) {
    EXPECT_EQ(directory_of(path).str(), dir) << path;
    EXPECT_EQ(file_name_of(path).str(), name) << path;
  }
  // Joined with "N": a POSIX path gets '/', any other '\'; none is added after
  // one or after ':'.
  const char* joins[][2] = {
      {"/srv/in", "/srv/in/N"}, {"C:\\IN", "C:\\IN\\N"}, {"C:/IN\\X", "C:/IN\\X\\N"},
      {"IN", "IN\\N"},          {"/srv/", "/srv/N"},     {"C:\\IN/", "C:\\IN/N"},
      {"/x\\", "/x\\N"},        {"D:", "D:N"},           {"", "N"}};
  for (const auto& [dir, joined] : joins) EXPECT_EQ(join_path(Text(dir), "N").str(), joined) << dir;
}

std::vector<std::string> names_found(FileSystem& fs, const std::string& pattern, uint32_t mask) {
  std::vector<std::string> out;
  for (DirSearch s(fs, Text(pattern), mask); s.found(); s.next())
    out.push_back(s.entry().name.str());
  return out;
}

// Masks and attributes on both backends are in tests/backend_contract_test.cc.
// Names in flight are never yielded but noted; the search over an open
// directory keeps to it when its path changes hands.
TEST(DirSearch, RequiredBitsSlashesExactNamesAndNamesInFlight) {
  fake::FakeFileSystem fs;
  fs.add_file("C:\\IN\\A1.TXT", "a");
  fs.add_file("C:\\IN\\" + std::string(kPartialPrefix) + "P7", "p");
  fs.add_dir("C:\\IN\\" + std::string(kHoldPrefix) + "3");
  EXPECT_TRUE(names_found(fs, "C:\\IN\\*.*", kAttrArchive | (kAttrHidden << 8)).empty());
  EXPECT_EQ(names_found(fs, "C:/IN/a?.*", kAttrArchive), std::vector<std::string>{"A1.TXT"});
  EXPECT_EQ(names_found(fs, "*.*", 0x3F), std::vector<std::string>{"IN"});  // current directory
  int lists = fs.calls(fake::FsOp::kList);
  EXPECT_EQ(names_found(fs, "C:\\IN\\A1.TXT", kAttrArchive), std::vector<std::string>{"A1.TXT"});
  EXPECT_EQ(fs.calls(fake::FsOp::kList), lists) << "an exact name is looked up, not listed";
  EXPECT_TRUE(names_found(fs, "C:\\IN\\A1.TXT", 0).empty());  // the attribute rule holds too

  Error err = Error::kNone;
  auto in = fs.open_dir(Text("C:\\IN"), err);
  ASSERT_TRUE(in);
  fs.move_by_other("C:\\IN", "C:\\OLD");
  fs.add_file("C:\\IN\\B2.TXT", "b");
  DirSearch s(*in, Text("*.*"), 0x3F);
  std::vector<std::string> found;
  for (; s.found(); s.next()) found.push_back(s.entry().name.str());
  EXPECT_EQ(found, std::vector<std::string>{"A1.TXT"});
  std::vector<std::string> in_flight;
  for (const Text& name : s.in_flight()) in_flight.push_back(name.str());
  EXPECT_EQ(in_flight, (std::vector<std::string>{std::string(kPartialPrefix) + "P7",
                                                 std::string(kHoldPrefix) + "3"}));
  EXPECT_TRUE(DirSearch(*in, Text("a1.txt"), kAttrArchive).found());
  EXPECT_FALSE(DirSearch(*in, Text(std::string(kPartialPrefix) + "P7"), 0x3F).found());
}

// Each missing level is made through its parent's handle; a level that
// cannot be made ends the chain there.
TEST(MakeDirectories, CreatesMissingLevelsFromTheDeepestExistingOneAndStopsAtAFault) {
  fake::FakeFileSystem fs;
  fs.add_drive('D', 1000, 1000);
  fs.add_dir("D:\\OUT");
  struct Case {
    const char* path;
    Error err;
  } cases[] = {{"D:\\OUT\\2026\\12\\05\\", Error::kNone},
               {"D:/OUT//2026/12/05", Error::kNone},  // nothing left to make
               {"D:\\", Error::kNone},
               {"D:", Error::kNone},  // the drive root is never made
               {"Q:\\OUT", Error::kNotFound},
               {"D:\\OUT\\2026\\12\\05\\x.*", Error::kBadName}};
  for (const Case& c : cases) {
    Error err = Error::kIo;
    std::unique_ptr<Dir> dir = make_directories(fs, Text(c.path), err);
    EXPECT_EQ(err, c.err) << c.path;
    EXPECT_EQ(dir != nullptr, c.err == Error::kNone) << c.path;
  }
  Error err = Error::kNone;
  fs.fail(fake::FsOp::kMakeDir, 2, Error::kAccessDenied);
  EXPECT_EQ(make_directories(fs, Text("C:\\A\\B\\C"), err), nullptr);
  EXPECT_EQ(err, Error::kAccessDenied);
  EXPECT_TRUE(fs.exists("C:\\A"));
  EXPECT_FALSE(fs.exists("C:\\A\\B"));
}

}  // namespace
}  // namespace qv
