#include "control/unknown_files.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "console/screen.h"
#include "console/status.h"
#include "control/main_cycle.h"
#include "control/run.h"
#include "control/startup.h"
#include "platform/cp866.h"
#include "script/reader.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

RawEntry entry(const char* name, uint32_t attributes = kAttrArchive) {
  RawEntry e;
  e.name = name;
  e.info.attributes = attributes;
  return e;
}

std::vector<std::string> names_of(const std::vector<UnknownFiles::Entry>& entries) {
  std::vector<std::string> out;
  for (const UnknownFiles::Entry& e : entries) out.push_back(e.dir.str() + e.name.str());
  return out;
}

// A file is unknown when no mask its directory was searched with in the
// cycle matches it (nor the covering-note mask, when notes are sent);
// sub-directories and entries the attribute mask leaves out are no files.
TEST(UnknownFiles, PassedOverFilesThatNoMaskOfTheirDirectoryMatches) {
  UnknownFiles u;
  const Text in = "C:\\IN\\", other = "C:\\OTHER\\";
  SearchObserver* o = u.watch(in, "*.DAT", 37);
  ASSERT_NE(o, nullptr);
  for (const RawEntry& e : {entry("JUNK.BIN"), entry("B.TXT"), entry("SUB", kAttrDirectory),
                            entry("HIDDEN.BIN", kAttrHidden), entry("NOTE.(S)")})
    o->passed_over(e);
  u.watch(other, "*.TXT", 37)->passed_over(entry("JUNK.BIN"));
  u.watch(in, "*.TXT", 37)->passed_over(entry("A.DAT"));  // matched by the first search
  EXPECT_EQ(names_of(u.end_cycle("*.(S)")),
            (std::vector<std::string>{"C:\\IN\\JUNK.BIN", "C:\\OTHER\\JUNK.BIN"}));
  // Listed once per run; without notes being sent the note is unknown too.
  u.watch(in, "*.DAT", 37)->passed_over(entry("JUNK.BIN"));
  u.watch(in, "*.DAT", 37)->passed_over(entry("NOTE.(S)"));
  EXPECT_EQ(names_of(u.end_cycle("")), std::vector<std::string>{"C:\\IN\\NOTE.(S)"});
}

// However many files a directory holds, a cycle keeps a bounded number of
// them; the next cycles go on with the ones not listed yet, none twice.
TEST(UnknownFiles, MemoryIsBoundedAndNoFileIsListedTwice) {
  UnknownFiles u;
  std::set<std::string> listed;
  std::size_t cycles = 0, biggest = 0;
  for (std::size_t got = 1; got > 0; ++cycles) {
    SearchObserver* o = u.watch("D:\\BIG\\", "*.DAT", 37);
    for (int i = 0; i < 2000; ++i) o->passed_over(entry(("F" + std::to_string(i)).c_str()));
    const std::vector<std::string> names = names_of(u.end_cycle(""));
    got = names.size();
    biggest = std::max(biggest, got);
    for (const std::string& n : names) EXPECT_TRUE(listed.insert(n).second) << n;
  }
  EXPECT_EQ(listed.size(), 2000u);
  EXPECT_LT(biggest, 2000u) << "one cycle kept the whole directory";
  EXPECT_GT(cycles, 2u);
}

}  // namespace
}  // namespace qv
