#include "control/startup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/banner.h"
#include "console/status.h"
#include "platform/cp866.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

constexpr char kSettings[] = "C:\\QV\\Quorvane.cfg";
constexpr char kScript[] = "C:\\QV\\Quorvane.Qvr";
constexpr char kQuickRun[] =
    "VALID_CYCLE_FULL_RUN 1\r\nCODE_RETURN_CYCLE 3\r\nDELAY_INTERPR 0\r\nDELAY_COPY 0\r\n";

std::string title_of(fake::FakePlatform& fp) {
  Run probe(fp.platform);
  return cp866_to_utf8(product_title(probe));
}

// The text of a row from column x to its last non-blank character.
std::string row_from(const fake::FakeConsole& c, int x, int y) {
  std::string out;
  int last = kScreenCols;
  while (last >= x && c.cell(last, y).ch == ' ') --last;
  for (int i = x; i <= last; ++i) append_utf8(out, cp866_to_unicode(c.cell(i, y).ch));
  return out;
}

// The banner comes first; the exit report, the second banner and the
// farewell close the run, the cursor left hidden. The exit banner replaces
// the status screen: title and heading above, the contacts in two columns.
TEST(Startup, RunEndsWithExitReportSecondBannerAndFarewell) {
  fake::FakePlatform fp;
  fp.fs.add_file(kSettings, std::string(kQuickRun) + "LANGUAGE Russian\r\n");
  fp.fs.add_file(kScript, "C:\\IN\r\nMask: *.*\r\nC:\\OUT\r\nCommand: DO\r\n");
  fp.fs.add_file("C:\\IN\\A.DAT", "data");
  EXPECT_EQ(run_program(fp.platform), 3);
  EXPECT_TRUE(fp.fs.exists("C:\\OUT\\A.DAT"));
  const std::string out = fp.console.transcript_utf8(), title = title_of(fp);
  const std::string farewell = "Удачи! Всего лучшего :─) !\n";
  ASSERT_FALSE(title.empty());
  EXPECT_EQ(out.rfind(title, 0), 0u) << out;
  ASSERT_GE(out.size(), farewell.size());
  EXPECT_EQ(out.substr(out.size() - farewell.size()), farewell);
  EXPECT_EQ(out.find(":─) !"), out.rfind(":─) !"));  // written once
  const auto& c = fp.console;
  const std::string exit_title = row_from(c, 1, 1);  // the version line, in the run's language
  EXPECT_NE(out.find("конфигурации 1.\n" + exit_title + "\n\n"), std::string::npos) << out;
  EXPECT_EQ(exit_title.substr(exit_title.size() - 9) + "|" + row_from(c, 1, 2), "( Win+ ).|");
  EXPECT_NE(row_from(c, 1, 3), "");
  for (int y = 5; y <= 7; ++y) {
    EXPECT_EQ(row_from(c, 1, y).substr(0, 30), std::string(30, ' ')) << y;
    EXPECT_NE(c.cell(31, y).ch, ' ') << y;
  }
  for (int y = 9; y <= 11; ++y) {
    EXPECT_EQ(c.cell(39, y).ch, ' ') << y;
    EXPECT_NE(c.cell(40, y).ch, ' ') << y;
  }
  EXPECT_EQ(row_from(c, 1, 10).substr(0, 39) + row_from(c, 1, 12) + row_from(c, 1, 24),
            std::string(39, ' '));
  EXPECT_FALSE(c.cursor_visible());
}

// Each case is told apart by which step ends it, so the codes show the order.
TEST(Startup, StartUpStepsEndTheRunInTheirOrder) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* settings;  // nullptr: no settings file
    bool script;
    int code;
  } cases[] = {
      {"settings read before the script is looked for", {}, "NO_SUCH_KEY 1\r\n", false, 7},
      {"help switch before the settings", {"/H"}, nullptr, false, 0},
      {"settings read before the other switches", {"/X"}, nullptr, false, 6},
      {"unknown argument before the script is looked for", {"/X"}, kQuickRun, false, 2},
  };
  for (const Case& c : cases) {
    fake::FakePlatform fp;
    fp.env.args = c.args;
    if (c.settings) fp.fs.add_file(kSettings, c.settings);
    if (c.script) fp.fs.add_file(kScript, "C:\\IN\r\n");
    EXPECT_EQ(run_program(fp.platform), c.code) << c.name;
    const std::string out = fp.console.transcript_utf8();
    EXPECT_EQ(out.rfind(title_of(fp), 0), 0u) << c.name << "\n" << out;
    EXPECT_EQ(out.find("Good Luck!"), std::string::npos) << c.name;
  }
}

// Start-up pauses to let the messages be read, unless the run turns that
// pause off; either way it has opened the script.
TEST(Startup, StartPauseOnlyWhenAsked) {
  for (const bool start_pause : {true, false}) {
    fake::FakePlatform fp;
    fp.fs.add_file(kSettings, kQuickRun);
    fp.fs.add_file(kScript, "C:\\IN\r\n");
    qv::Run run(fp.platform);
    initialise_modules(run);
    run.start_pause = start_pause;
    EXPECT_EQ(start_up(run), std::nullopt) << start_pause;
    EXPECT_EQ(fp.clock.slept_ms(), start_pause ? 2700 : 0) << start_pause;
    EXPECT_NE(run.script.file, nullptr) << start_pause;
  }
}

// A program directory too long to hold the names of its own files beside it
// is refused before any settings file is read, never cut into another one.
TEST(Startup, ProgramDirectoryTooLongForItsFilesIsRefused) {
  const std::string longest = "C:\\" + std::string(239, 'd');     // 242 + "\\Quorvane.cfg" = 255
  const std::string beyond = "C:\\QV\\" + std::string(300, 'c');  // cut, it would be C:\QV
  for (const std::string& dir : {longest, beyond}) {
    fake::FakePlatform fp;
    fp.env.exe = dir + "\\QUORVANE.EXE";
    fp.fs.add_file(longest + "\\Quorvane.cfg", "UNKNOWN_KEY 1\r\n");
    fp.fs.add_file(kSettings, "UNKNOWN_KEY 1\r\n");
    const bool fits = dir == longest;
    EXPECT_EQ(run_program(fp.platform), fits ? 7 : 6) << dir.size();
    const std::string out = fp.console.transcript_utf8();
    EXPECT_EQ(out.find("The path of the program is longer than 255 characters : " + dir +
                       "\\QUORVANE.EXE !!!") != std::string::npos,
              !fits)
        << out;
  }
}

}  // namespace
}  // namespace qv
