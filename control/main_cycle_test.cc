#include "control/main_cycle.h"

#include <gtest/gtest.h>

#include <string>

#include "console/status.h"
#include "control/startup.h"
#include "script/reader.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

// A run on the fake platform with the task script beside the program, every
// module initialised, no pauses and one script cycle unless a test says more.
struct CycleRun {
  fake::FakePlatform fp;
  Run run{fp.platform};

  explicit CycleRun(const std::string& script) {
    initialise_modules(run);
    run.settings.delay_interpr = 0;
    run.settings.delay_copy = 0;
    run.settings.valid_cycle_full_run = 1;
    fp.env.vars["COMSPEC"] = "C:\\CMD.EXE";
    fp.fs.add_file("C:\\QV\\Quorvane.Qvr", script);
  }
  void go() {
    ASSERT_FALSE(locate_script(run).has_value());
    draw_status_screen(run);
    run_main_cycle(run);
  }
  std::string out() const { return fp.console.transcript_utf8(); }
};

constexpr char kOneBlock[] = "C:\\IN\r\nMask: *.*\r\nC:\\OUT\r\nCommand: DO\r\n";

TEST(MainCycle, CopiesIntoAllOutputsButTheLastAndMovesIntoTheLast) {
  CycleRun r("C:\\IN\r\nMask: *.TXT\r\nC:\\O1\r\nC:\\O2\r\nC:\\O3\r\nCommand: DO-ALL\r\n");
  r.fp.fs.add_file("C:\\IN\\A.TXT", "alpha");
  r.fp.fs.add_file("C:\\IN\\B.TXT", "beta");
  r.go();
  for (const char* dir : {"C:\\O1\\", "C:\\O2\\", "C:\\O3\\"}) {
    EXPECT_EQ(r.fp.fs.content(std::string(dir) + "A.TXT"), "alpha") << dir;
    EXPECT_EQ(r.fp.fs.content(std::string(dir) + "B.TXT"), "beta") << dir;
  }
  EXPECT_FALSE(r.fp.fs.exists("C:\\IN\\A.TXT"));
  EXPECT_FALSE(r.fp.fs.exists("C:\\IN\\B.TXT"));
  EXPECT_EQ(r.run.state.found_files, 2);
  EXPECT_EQ(r.run.state.byte_count, 9);  // only the moves count
  const std::string out = r.out();
  EXPECT_NE(out.find("C:\\IN\\A.TXT *=> C:\\O1\\"), std::string::npos) << out;
  EXPECT_NE(out.find("C:\\IN\\A.TXT O=> C:\\O3\\"), std::string::npos) << out;
}

// Each closed script cycle runs the end-of-cycle program, which drops one
// more file into the input directory: the files that left it tell how many
// cycles were carried out.
TEST(MainCycle, CycleLimitCarriesOutExactlyThatManyCycles) {
  CycleRun r(kOneBlock);
  r.run.settings.valid_cycle_full_run = 3;
  r.run.settings.code_return_cycle = 42;
  r.run.settings.run_batnik = true;
  r.run.settings.valid_exist_bat = false;
  r.run.settings.delay_bat = 0;
  r.run.settings.name_batnik = "NEXT.BAT";
  int dropped = 0;
  r.fp.fs.add_file("C:\\IN\\F0.DAT", "0");
  r.fp.process.on_run = [&] {
    ++dropped;
    r.fp.fs.add_file("C:\\IN\\F" + std::to_string(dropped) + ".DAT", "x");
  };
  r.go();
  EXPECT_EQ(r.run.state.exit_code, 42);
  EXPECT_EQ(dropped, 3);
  for (const char* moved : {"C:\\OUT\\F0.DAT", "C:\\OUT\\F1.DAT", "C:\\OUT\\F2.DAT"})
    EXPECT_TRUE(r.fp.fs.exists(moved)) << moved;
  EXPECT_TRUE(r.fp.fs.exists("C:\\IN\\F3.DAT"));  // read with the closing step, not carried out
  const std::string out = r.out();
  EXPECT_NE(out.rfind("Exit by amount cycles of perfomance files configuration 3."),
            std::string::npos)
      << out;
}

struct LimitCase {
  const char* name;
  int64_t cycle_limit;
  int64_t time_limit;
  int64_t elapsed_after_first_cycle;
  int expected_code;
  const char* expected_message;
};

// The elapsed counter is set when the first cycle closes, so the second turn
// is the first that can meet the run-time limit.
TEST(MainCycle, ExitConditionsAndTheirCodes) {
  const LimitCase cases[] = {
      {"both limits in one turn: cycles decide", 1, 5, 100, 11,
       "Exit by amount cycles of perfomance files configuration 1."},
      {"run time reached exactly", 5, 5, 5, 22,
       "Exit on time work of the program without bat-file 5."},
      {"run time reached before the cycle limit", 3, 5, 7, 22,
       "Exit on time work of the program without bat-file 5."},
      {"run time one second short", 2, 5, 4, 11,
       "Exit by amount cycles of perfomance files configuration 2."},
  };
  for (const LimitCase& c : cases) {
    CycleRun r(kOneBlock);
    r.run.settings.valid_cycle_full_run = c.cycle_limit;
    r.run.settings.number_time_work = c.time_limit;
    r.run.settings.code_return_cycle = 11;
    r.run.settings.code_return_time = 22;
    r.run.settings.run_batnik = true;
    r.run.settings.valid_exist_bat = false;
    r.run.settings.delay_bat = 0;
    r.run.settings.name_batnik = "TICK.BAT";
    r.fp.process.on_run = [&] { r.run.drawing.elapsed.store(c.elapsed_after_first_cycle); };
    r.go();
    EXPECT_EQ(r.run.state.exit_code, c.expected_code) << c.name;
    const std::string out = r.out();
    EXPECT_NE(out.find(c.expected_message), std::string::npos) << c.name << "\n" << out;
  }
}

TEST(MainCycle, NumberFileMacroCountsFilesThatPassedBefore) {
  CycleRun r("C:\\IN\r\nMask: *.*\r\nC:\\OUT\\<NUMBER_FILE>\r\nCommand: DO\r\n");
  r.fp.fs.add_file("C:\\IN\\A.DAT", "a");
  r.fp.fs.add_file("C:\\IN\\B.DAT", "b");
  r.fp.fs.add_file("C:\\IN\\C.DAT", "c");
  r.go();
  std::string seen;
  for (const char* dir : {"C:\\OUT\\0\\", "C:\\OUT\\1\\", "C:\\OUT\\2\\"}) {
    int here = 0;
    for (const char* name : {"A.DAT", "B.DAT", "C.DAT"})
      if (r.fp.fs.exists(std::string(dir) + name)) ++here, seen += name;
    EXPECT_EQ(here, 1) << dir;
  }
  EXPECT_EQ(seen.size(), 15u);
  EXPECT_FALSE(r.fp.fs.exists("C:\\OUT\\3"));
}

// A key press and a stop request end the run alike with code 0, tested
// before each candidate: a waiting key keeps every file where it is, a key
// pressed after the first test lets exactly the file in hand through.
TEST(MainCycle, KeyPressOrStopRequestEndsTheRunWithCodeZero) {
  struct Case {
    const char* name;
    int key_after_checks;  // -1: no key
    bool stop;
    int moved;
  } cases[] = {{"key waiting", 0, false, 0},
               {"stop request", -1, true, 0},
               {"key during the search", 1, false, 1}};
  for (const Case& c : cases) {
    CycleRun r(kOneBlock);
    r.run.settings.valid_cycle_full_run = 5;  // a backstop: would end with 9
    r.run.settings.code_return_cycle = 9;
    for (const char* name : {"C:\\IN\\A.DAT", "C:\\IN\\B.DAT", "C:\\IN\\C.DAT"})
      r.fp.fs.add_file(name, "x");
    if (c.key_after_checks >= 0) r.fp.console.press_key(c.key_after_checks);
    r.fp.process.stop = c.stop;
    r.go();
    EXPECT_EQ(r.run.state.exit_code, 0) << c.name;
    EXPECT_NE(r.out().find("Exit on pressing a key."), std::string::npos) << c.name;
    int moved = 0;
    for (const char* name : {"A.DAT", "B.DAT", "C.DAT"})
      moved += r.fp.fs.exists(std::string("C:\\OUT\\") + name);
    EXPECT_EQ(moved, c.moved) << c.name;
    EXPECT_EQ(r.run.state.found_files, c.moved) << c.name;
  }
}

struct GuardCase {
  const char* name;
  IfFileExist policy;
  const char* existing;  // a file already in the second output, with 90 bytes
  bool transferred;
};

// Limit 100 bytes per output directory, incoming file of 20 bytes.
TEST(MainCycle, OutputSizeGuardRefusalKeepsTheFileOutOfEveryOutput) {
  const GuardCase cases[] = {
      {"other file fills the directory", IfFileExist::kCreateDir, "C:\\O2\\FULL.DAT", false},
      {"replaced file frees its own size", IfFileExist::kOverwriteFile, "C:\\O2\\A.DAT", true},
      {"same name, no sub-directory yet", IfFileExist::kCreateDir, "C:\\O2\\A.DAT", true},
      {"same name, full sub-directory", IfFileExist::kCreateDir, "C:\\O2\\COPY\\FULL.DAT", false},
  };
  for (const GuardCase& c : cases) {
    CycleRun r("C:\\IN\r\nMask: *.*\r\nC:\\O1\r\nC:\\O2\r\nCommand: DO\r\n");
    r.run.settings.max_output_dir_size = 100;
    r.run.settings.if_file_exist = c.policy;
    r.fp.fs.add_file("C:\\IN\\A.DAT", std::string(20, 'a'));
    r.fp.fs.add_file(c.existing, std::string(90, 'z'));
    if (std::string(c.existing).find("COPY") != std::string::npos)
      r.fp.fs.add_file("C:\\O2\\A.DAT", "old");
    r.go();
    EXPECT_EQ(r.fp.fs.exists("C:\\O1\\A.DAT"), c.transferred) << c.name;
    EXPECT_EQ(r.fp.fs.exists("C:\\IN\\A.DAT"), !c.transferred) << c.name;
    const bool reported = r.out().find("at processing a file C:\\IN\\A.DAT") != std::string::npos;
    EXPECT_EQ(reported, !c.transferred) << c.name << "\n" << r.out();
  }
}

TEST(MainCycle, BlockCutShortByAFaultyLineIsNotCarriedOut) {
  struct Case {
    const char* name;
    const char* script;
    bool moved;
  } cases[] = {
      {"block gathered to the end of the script", "C:\\IN\r\nMask: *.*\r\nC:\\OUT\r\n", true},
      {"step stopped at a line of four words",
       "C:\\IN\r\nMask: *.*\r\nC:\\OUT\r\nfour words on line\r\n", false},
      {"step stopped at an unbalanced quote", "C:\\IN\r\nMask: *.*\r\nC:\\OUT\r\n\"C:\\X\r\n",
       false},
  };
  for (const Case& c : cases) {
    CycleRun r(c.script);
    r.fp.fs.add_file("C:\\IN\\A.DAT", "a");
    r.go();
    EXPECT_EQ(r.fp.fs.exists("C:\\OUT\\A.DAT"), c.moved) << c.name;
    EXPECT_EQ(r.fp.fs.exists("C:\\IN\\A.DAT"), !c.moved) << c.name;
  }
}

TEST(MainCycle, CoveringNotesFollowTheFileOnlyWhenAsked) {
  for (bool notes : {false, true}) {
    CycleRun r("C:\\IN\r\nMask: *.TXT\r\nC:\\O1\r\nC:\\O2\r\nCommand: DO\r\n");
    r.run.settings.analis_sopr = notes;
    r.run.settings.mask_sopr = "*.(S)";
    r.fp.fs.add_file("C:\\IN\\DATA.TXT", "payload");
    r.fp.fs.add_file("C:\\IN\\NOTE.(S)", "see data.txt\r\n");
    r.go();
    EXPECT_EQ(r.fp.fs.exists("C:\\O1\\NOTE.(S)"), notes);
    EXPECT_EQ(r.fp.fs.exists("C:\\O2\\NOTE.(S)"), notes);
    EXPECT_EQ(r.fp.fs.exists("C:\\IN\\NOTE.(S)"), !notes);
    EXPECT_TRUE(r.fp.fs.exists("C:\\O2\\DATA.TXT"));
  }
}

}  // namespace
}  // namespace qv
