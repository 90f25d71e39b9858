#include "control/main_cycle.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "console/status.h"
#include "control/startup.h"
#include "script/reader.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

constexpr char kOneBlock[] = "C:\\IN\r\nMask: *.*\r\nC:\\OUT\r\nCommand: DO\r\n";

// Every module initialised, no pauses and one script cycle unless a test
// says more.
void prepare(Run& run) {
  initialise_modules(run);
  run.settings.delay_interpr = 0;
  run.settings.delay_copy = 0;
  run.settings.valid_cycle_full_run = 1;
}

// Finds the task script, builds the status screen and runs the main cycle.
void go(Run& run) {
  ASSERT_FALSE(locate_script(run).has_value());
  draw_status_screen(run);
  run_main_cycle(run);
}

int count(const std::string& text, const std::string& piece) {
  int n = 0;
  for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

// A run on the fake platform with the task script beside the program.
struct CycleRun {
  fake::FakePlatform fp;
  Run run{fp.platform};

  explicit CycleRun(const std::string& script = kOneBlock) {
    prepare(run);
    fp.env.vars["COMSPEC"] = "C:\\CMD.EXE";
    fp.fs.add_file("C:\\QV\\Quorvane.Qvr", script);
  }
  void go() { qv::go(run); }
  std::string out() const { return fp.console.transcript_utf8(); }
  bool said(const std::string& s) const { return out().find(s) != std::string::npos; }
};

// A second instance of the program, on the file system of `first`.
struct SecondInstance {
  fake::FakeConsole console;
  Platform platform;
  Run run;

  explicit SecondInstance(fake::FakePlatform& first)
      : platform{first.fs, console, first.env, first.clock, first.process, first.log},
        run(platform) {
    prepare(run);
  }
};

// The elapsed counter is set when the first cycle closes, so the second turn
// is the first that can meet the run-time limit.
TEST(MainCycle, ExitConditionsAndTheirCodes) {
  struct Case {
    const char* name;
    int64_t cycle_limit, elapsed_after_first_cycle;
    int code;
    const char* message;
  } cases[] = {
      {"both limits in one turn: cycles decide", 1, 100, 11,
       "Exit by amount cycles of perfomance files configuration 1."},
      {"run time reached exactly", 5, 5, 22,
       "Exit on time work of the program without bat-file 5."},
      {"run time one second short", 2, 4, 11,
       "Exit by amount cycles of perfomance files configuration 2."},
  };
  for (const Case& c : cases) {
    CycleRun r;
    r.run.settings.valid_cycle_full_run = c.cycle_limit;
    r.run.settings.number_time_work = 5;
    r.run.settings.code_return_cycle = 11;
    r.run.settings.code_return_time = 22;
    r.run.settings.run_batnik = true;  // a program that moves the elapsed counter on
    r.run.settings.valid_exist_bat = false;
    r.run.settings.delay_bat = 0;
    r.fp.process.on_run = [&] { r.run.drawing.elapsed.store(c.elapsed_after_first_cycle); };
    r.go();
    EXPECT_EQ(r.run.state.exit_code, c.code) << c.name;
    EXPECT_TRUE(r.said(c.message)) << c.name;
  }
}

TEST(MainCycle, NumberFileMacroCountsFilesThatPassedBefore) {
  CycleRun r("C:\\IN\r\nMask: *.*\r\nC:\\OUT\\<NUMBER_FILE>\r\nCommand: DO\r\n");
  for (const char* name : {"C:\\IN\\A.DAT", "C:\\IN\\B.DAT", "C:\\IN\\C.DAT"})
    r.fp.fs.add_file(name, "x");
  r.go();
  for (const char* dir : {"C:\\OUT\\0", "C:\\OUT\\1", "C:\\OUT\\2"})
    EXPECT_EQ(r.fp.fs.list(dir).size(), 1u) << dir;
  EXPECT_FALSE(r.fp.fs.exists("C:\\OUT\\3"));
}

// A key press and a stop request end the run alike with code 0, tested
// before each candidate: a waiting key keeps every file where it is, a key
// pressed after the first test lets exactly the file in hand through.
TEST(MainCycle, KeyPressOrStopRequestEndsTheRunWithCodeZero) {
  struct Case {
    int key_after_checks;  // -1: no key
    bool stop;
    std::size_t moved;
  } cases[] = {{0, false, 0}, {-1, true, 0}, {1, false, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    CycleRun r;
    r.run.settings.valid_cycle_full_run = 5;  // a backstop: would end with 9
    r.run.settings.code_return_cycle = 9;
    for (const char* name : {"C:\\IN\\A.DAT", "C:\\IN\\B.DAT", "C:\\IN\\C.DAT"})
      r.fp.fs.add_file(name, "x");
    if (c.key_after_checks >= 0) r.fp.console.press_key(c.key_after_checks);
    r.fp.process.stop = c.stop;
    r.go();
    EXPECT_EQ(r.run.state.exit_code, 0);
    EXPECT_TRUE(r.said("Exit on pressing a key."));
    EXPECT_EQ(r.fp.fs.list("C:\\OUT").size(), c.moved);
    EXPECT_EQ(r.run.state.found_files, static_cast<int64_t>(c.moved));
  }
}

// Limit 100 bytes per output directory, an incoming file of 20 bytes and a
// hidden one already in the second output (files in sub-directories of an
// output never count): a refusal keeps it out of the first output too.
TEST(MainCycle, OutputSizeGuardRefusalKeepsTheFileOutOfEveryOutput) {
  struct Case {
    const char* name;
    IfFileExist policy;
    const char* existing;
    std::size_t size;
    bool transferred;
  } cases[] = {
      {"other file fills the directory", IfFileExist::kCreateDir, "C:\\O2\\FULL.DAT", 81, false},
      {"other file leaves exactly room", IfFileExist::kCreateDir, "C:\\O2\\FULL.DAT", 80, true},
      {"replaced file frees its own size", IfFileExist::kOverwriteFile, "C:\\O2\\A.DAT", 90, true},
      {"same name, no sub-directory yet", IfFileExist::kCreateDir, "C:\\O2\\A.DAT", 90, true},
      {"same name, full sub-directory", IfFileExist::kCreateDir, "C:\\O2\\COPY\\F.DAT", 90, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CycleRun r("C:\\IN\r\nMask: *.*\r\nC:\\O1\r\nC:\\O2\r\nCommand: DO\r\n");
    r.run.settings.max_output_dir_size = 100;
    r.run.settings.if_file_exist = c.policy;
    r.fp.fs.add_file("C:\\IN\\A.DAT", std::string(20, 'a'));
    r.fp.fs.add_file("C:\\O1\\SUB\\BIG.DAT", std::string(500, 'b'));
    r.fp.fs.add_file(c.existing, std::string(c.size, 'z'), kAttrHidden | kAttrReadOnly);
    if (std::string(c.existing).find("COPY") != std::string::npos)
      r.fp.fs.add_file("C:\\O2\\A.DAT", "old");
    r.go();
    EXPECT_EQ(r.fp.fs.exists("C:\\O1\\A.DAT"), c.transferred);
    EXPECT_EQ(r.fp.fs.exists("C:\\IN\\A.DAT"), !c.transferred);
    EXPECT_EQ(r.said("at processing a file C:\\IN\\A.DAT"), !c.transferred);
    const std::string dir =
        c.policy == IfFileExist::kCreateDir && c.size == 90 ? "C:\\O2\\COPY\\" : "C:\\O2\\";
    EXPECT_EQ(r.said("Restriction of the size output dir " + dir + " 100"), !c.transferred);
  }
}

TEST(MainCycle, BlockCutShortByAFaultyLineIsNotCarriedOut) {
  struct Case {
    const char* last_line;
    bool moved;
  } cases[] = {{"", true}, {"four words on line\r\n", false}, {"\"C:\\X\r\n", false}};
  for (const Case& c : cases) {
    CycleRun r(std::string("C:\\IN\r\nMask: *.*\r\nC:\\OUT\r\n") + c.last_line);
    r.fp.fs.add_file("C:\\IN\\A.DAT", "a");
    r.go();
    EXPECT_EQ(r.fp.fs.exists("C:\\OUT\\A.DAT"), c.moved) << c.last_line;
    EXPECT_EQ(r.fp.fs.exists("C:\\IN\\A.DAT"), !c.moved) << c.last_line;
  }
}

using Names = std::vector<std::string>;

// Two instances on one input directory: whichever moment the second one runs
// a whole turn inside the first one's dispatch (before its take, while it
// holds the source open, after the source went into its hold directory),
// the file is delivered exactly once and nothing stays behind.
TEST(MainCycle, TwoInstancesNeverBothDeliverAFile) {
  const char* kToD = "C:\\IN\r\nMask: *.*\r\nD:\\OUT\r\nCommand: DO\r\n";
  for (fake::FsOp when : {fake::FsOp::kOpenSource, fake::FsOp::kMoveTo, fake::FsOp::kCreateTemp}) {
    SCOPED_TRACE(static_cast<int>(when));
    CycleRun first(kToD);
    SecondInstance second(first.fp);
    first.fp.fs.add_drive('D', 8ull << 30, 4ull << 30);
    first.fp.fs.add_file("C:\\IN\\A.DAT", "x");
    first.fp.fs.at_call(when, 1, [&] { go(second.run); });
    first.go();
    EXPECT_EQ(first.fp.fs.list("D:\\"), (Names{"D:\\OUT", "D:\\OUT\\A.DAT"}));
    EXPECT_EQ(first.fp.fs.list("C:\\IN"), Names{});
    EXPECT_EQ(first.run.state.byte_count + second.run.state.byte_count, 1);
    EXPECT_EQ(count(first.out() + second.console.transcript_utf8(), "O=>"), 1);
  }
}

// A hold directory nobody holds was left by a taker that died: its file goes
// back and is delivered on the next turn, whether the mask lists the
// directory or names one file. One a live taker holds is left alone.
TEST(MainCycle, FilesLeftByADeadTakerGoBackALiveTakersStay) {
  for (const std::string mask : {"*.*", "A.DAT"}) {
    SCOPED_TRACE(mask);
    CycleRun r("C:\\IN\r\nMask: " + mask + "\r\nC:\\OUT\r\nCommand: DO\r\n");
    r.run.settings.valid_cycle_full_run = 2;
    r.fp.fs.add_file("C:\\IN\\.~qvT5\\A.DAT", "a");
    r.fp.fs.add_file("C:\\IN\\.~qvT6\\B.DAT", "b");
    Error err = Error::kNone;
    auto live = r.fp.fs.open_dir(Text("C:\\IN\\.~qvT6"), err);
    ASSERT_TRUE(live && live->hold());
    r.go();
    EXPECT_EQ(r.fp.fs.content("C:\\OUT\\A.DAT"), "a");
    EXPECT_EQ(r.fp.fs.list("C:\\IN"), (Names{"C:\\IN\\.~qvT6", "C:\\IN\\.~qvT6\\B.DAT"}));
  }
}

// The same refusal of the same file costs one report and one pause; the file
// is still tried every turn, and once it changes a refusal is reported again.
TEST(MainCycle, ARefusalIsReportedOnceUntilTheFileChanges) {
  struct Case {
    const char* name;
    std::function<void(CycleRun&)> arrange;
    const char* report;
  } cases[] = {
      {"locked", [](CycleRun& r) { r.fp.fs.set_locked("C:\\IN\\A.DAT", true); },
       "Can not take file : C:\\IN\\A.DAT !!!"},
      {"file size", [](CycleRun& r) { r.run.settings.max_file_size = 3; },
       "C:\\IN\\A.DAT Restriction of the size of a file"},
      {"output directory size",
       [](CycleRun& r) {
         r.run.settings.max_output_dir_size = 5;
         r.fp.fs.add_file("C:\\OUT\\FULL.DAT", "fff");
       },
       "at processing a file C:\\IN\\A.DAT"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CycleRun r;
    r.run.settings.valid_cycle_full_run = 3;
    r.fp.fs.add_file("C:\\IN\\A.DAT", "abcd");
    c.arrange(r);
    r.go();
    EXPECT_EQ(count(r.out(), c.report), 1);
    EXPECT_EQ(r.fp.clock.slept_ms(), 3000);
    r.fp.fs.add_file("C:\\IN\\A.DAT", "abcd", kAttrArchive, 1'700'000'000'000'000'002);
    c.arrange(r);
    r.run.settings.valid_cycle_full_run = 5;
    run_main_cycle(r.run);
    EXPECT_EQ(count(r.out(), c.report), 2);
    EXPECT_EQ(r.fp.clock.slept_ms(), 6000);
    EXPECT_FALSE(r.fp.fs.exists("C:\\OUT\\A.DAT"));
  }
}

// A source that cannot be removed after its copy reached another drive: each
// turn reports it and takes the copy back, so the output never grows (no
// COPY\COPY\... level either) and nothing is counted.
TEST(MainCycle, AnUndeletableSourceNeverGrowsTheOutput) {
  CycleRun r("C:\\IN\r\nMask: *.*\r\nD:\\OUT\r\nCommand: DO\r\n");
  r.run.settings.valid_cycle_full_run = 3;
  r.fp.fs.add_drive('D', 8ull << 30, 4ull << 30);
  r.fp.fs.add_file("C:\\IN\\A.DAT", "new");
  r.fp.fs.add_file("D:\\OUT\\A.DAT", "old");
  r.fp.fs.fail(fake::FsOp::kRemove, 1, Error::kAccessDenied, true, "C:\\IN");
  r.go();
  EXPECT_EQ(r.fp.fs.list("D:\\"), (Names{"D:\\OUT", "D:\\OUT\\A.DAT", "D:\\OUT\\COPY"}));
  EXPECT_EQ(r.fp.fs.content("C:\\IN\\A.DAT"), "new");
  EXPECT_EQ(count(r.out(), "Can not delete file : C:\\IN\\A.DAT !!!"), 3);
  EXPECT_FALSE(r.said("O=>"));
  EXPECT_EQ(r.run.state.byte_count, 0);
}

// A read error in the task script ends the run with code 6 and a report
// naming the script; the block it cut short is not carried out.
TEST(MainCycle, ScriptReadErrorEndsTheRunWithSix) {
  for (int nth : {1, 2}) {  // at the first read, or with the block's command beyond the error
    CycleRun r("C:\\IN\r\nMask: *.*\r\nC:\\OUT\r\n--//" + std::string(5000, '-') +
               "\r\nCommand: DO\r\n");
    r.run.settings.valid_cycle_full_run = 2;  // without the error, two whole cycles
    r.fp.fs.add_file("C:\\IN\\A.DAT", "a");
    r.fp.fs.fail(fake::FsOp::kRead, nth, Error::kIo, false, "Quorvane.Qvr");
    r.go();
    EXPECT_EQ(r.run.state.exit_code, 6) << nth;
    EXPECT_TRUE(r.said("Can not read file : C:\\QV\\Quorvane.Qvr !!!")) << nth;
    EXPECT_TRUE(r.fp.fs.exists("C:\\IN\\A.DAT")) << nth;
    EXPECT_FALSE(r.fp.fs.exists("C:\\OUT\\A.DAT")) << nth;
  }
}

}  // namespace
}  // namespace qv
