#include "control/main_cycle.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "console/status.h"
#include "control/startup.h"
#include "control/unknown_files.h"
#include "control/young_files.h"
#include "platform/cp866.h"
#include "script/reader.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

using Names = std::vector<std::string>;

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

// A run on the fake platform with the task script beside the program, files
// of C:\IN\ going to `out`.
struct CycleRun {
  fake::FakePlatform fp;
  Run run{fp.platform};

  explicit CycleRun(const std::string& out = "C:\\OUT", const std::string& mask = "*.*",
                    bool interactive = false)
      : fp(interactive) {
    prepare(run);
    fp.env.vars["COMSPEC"] = "C:\\CMD.EXE";
    fp.fs.add_drive('D', 8ull << 30, 4ull << 30);
    script("C:\\IN\r\nMask: " + mask + "\r\n" + out + "\r\nCommand: DO\r\n");
  }
  void script(const std::string& text) { fp.fs.add_file("C:\\QV\\Quorvane.Qvr", text); }
  void add(const Names& paths, const std::string& content = "x") {
    for (const std::string& path : paths) fp.fs.add_file(path, content);
  }
  // The end-of-cycle program is run (it does nothing but call `on_run`).
  void program_after_each_cycle(std::function<void()> on_run) {
    run.settings.run_batnik = true;
    run.settings.valid_exist_bat = false;
    run.settings.delay_bat = 0;
    fp.process.on_run = std::move(on_run);
  }
  void go() { qv::go(run); }
  std::string out() const { return fp.console.transcript_utf8(); }
  bool said(const std::string& s) const { return out().find(s) != std::string::npos; }
};

// The run ends at the first exit condition it meets, each with its code and
// report: the cycle limit; the run-time limit (the elapsed counter is set when
// the first cycle closes, so the second turn is the first that can meet it);
// a key press or a stop request, tested before each candidate, code 0: a key
// pressed after the first test lets exactly the file in hand through.
// <NUMBER_FILE> counts the files that passed before.
TEST(MainCycle, ExitConditionsAndTheirCodes) {
  struct Case {
    int64_t cycle_limit, elapsed_after_first_cycle;
    int key_after_checks;  // -1: no key
    bool stop;
    int code;
    std::size_t moved;
    const char* message;
  } cases[] = {
      {1, 100, -1, false, 11, 3, "Exit by amount cycles of perfomance files configuration 1."},
      {5, 5, -1, false, 22, 3, "Exit on time work of the program without bat-file 5."},
      {2, 4, -1, false, 11, 3, "Exit by amount cycles of perfomance files configuration 2."},
      {5, 0, 0, false, 0, 0, "Exit on pressing a key."},
      {5, 0, -1, true, 0, 0, "Exit on pressing a key."},
      {5, 0, 1, false, 0, 1, "Exit on pressing a key."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    CycleRun r("C:\\OUT\\<NUMBER_FILE>");
    r.run.settings.valid_cycle_full_run = c.cycle_limit;
    r.run.settings.number_time_work = 5;
    r.run.settings.code_return_cycle = 11;
    r.run.settings.code_return_time = 22;
    r.add({"C:\\IN\\A.DAT", "C:\\IN\\B.DAT", "C:\\IN\\C.DAT"});
    if (c.key_after_checks >= 0) r.fp.console.press_key(c.key_after_checks);
    r.fp.process.stop = c.stop;
    r.program_after_each_cycle([&] { r.run.drawing.elapsed.store(c.elapsed_after_first_cycle); });
    r.go();
    EXPECT_EQ(r.run.state.exit_code, c.code);
    EXPECT_TRUE(r.said(c.message)) << r.out();
    EXPECT_EQ(r.fp.fs.list("C:\\OUT").size(), 2 * c.moved);
    EXPECT_EQ(r.run.state.found_files, static_cast<int64_t>(c.moved));
    for (std::size_t i = 0; i < c.moved; ++i)
      EXPECT_EQ(r.fp.fs.list("C:\\OUT\\" + std::to_string(i)).size(), 1u) << i;
  }
}

// Limit 100 bytes per output directory, an incoming file of 20 bytes and a
// hidden one already in the second output (files in sub-directories of an
// output never count): a refusal keeps it out of the first output too.
TEST(MainCycle, OutputSizeGuardRefusalKeepsTheFileOutOfEveryOutput) {
  struct Case {
    IfFileExist policy;
    const char* existing;
    std::size_t size;
    bool transferred;
  } cases[] = {
      {IfFileExist::kCreateDir, "C:\\O2\\FULL.DAT", 81, false},
      {IfFileExist::kCreateDir, "C:\\O2\\FULL.DAT", 80, true},
      {IfFileExist::kOverwriteFile, "C:\\O2\\A.DAT", 90, true},  // frees its own size
      {IfFileExist::kCreateDir, "C:\\O2\\A.DAT", 90, true},      // no sub-directory yet
      {IfFileExist::kCreateDir, "C:\\O2\\COPY\\F.DAT", 90, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.existing + std::to_string(c.size));
    CycleRun r("C:\\O1\r\nC:\\O2");
    r.run.settings.max_output_dir_size = 100;
    r.run.settings.if_file_exist = c.policy;
    r.add({"C:\\IN\\A.DAT"}, std::string(20, 'a'));
    r.add({"C:\\O1\\SUB\\BIG.DAT"}, std::string(500, 'b'));
    r.fp.fs.add_file(c.existing, std::string(c.size, 'z'), kAttrHidden | kAttrReadOnly);
    if (std::string(c.existing).find("COPY") != std::string::npos) r.add({"C:\\O2\\A.DAT"});
    r.go();
    EXPECT_EQ(r.fp.fs.exists("C:\\O1\\A.DAT"), c.transferred);
    EXPECT_EQ(r.fp.fs.exists("C:\\IN\\A.DAT"), !c.transferred);
    EXPECT_EQ(r.said("at processing a file C:\\IN\\A.DAT"), !c.transferred);
    const std::string dir = c.size == 90 && !c.transferred ? "C:\\O2\\COPY\\" : "C:\\O2\\";
    EXPECT_EQ(r.said("Restriction of the size output dir " + dir + " 100"), !c.transferred);
  }
}

// The files of a turn share their commits: copied, flushed and named
// together, each directory synced once for all, the sources moved after, in
// the order found. A file whose flush fails goes back alone. With an output
// size limit each file lands before the next is judged.
TEST(MainCycle, FilesOfATurnLandTogetherAndFailAlone) {
  CycleRun r("C:\\O1\r\nC:\\O2");
  r.add({"C:\\IN\\A.DAT", "C:\\IN\\B.DAT", "C:\\IN\\C.DAT"});
  r.fp.fs.fail(fake::FsOp::kFlush, 2, Error::kIo);
  r.go();
  EXPECT_EQ(r.fp.fs.calls(fake::FsOp::kSync), 1);
  EXPECT_EQ(r.fp.fs.calls(fake::FsOp::kCommit), 1);
  EXPECT_EQ(r.fp.fs.list("C:\\O1"), (Names{"C:\\O1\\A.DAT", "C:\\O1\\C.DAT"}));
  EXPECT_EQ(r.fp.fs.list("C:\\O2"), (Names{"C:\\O2\\A.DAT", "C:\\O2\\C.DAT"}));
  EXPECT_EQ(r.fp.fs.list("C:\\IN"), Names{"C:\\IN\\B.DAT"});
  const std::string out = r.out();
  EXPECT_NE(out.find("Can not create file : C:\\O1\\B.DAT"), std::string::npos);
  EXPECT_LT(out.find("A.DAT O=> C:\\O2"), out.find("C.DAT *=> C:\\O1"));

  // The commit of the file system fails: each copy is flushed alone, and a
  // copy whose flush fails too goes back with its file.
  CycleRun uncommitted("C:\\O1\r\nC:\\O2");
  uncommitted.add({"C:\\IN\\A.DAT", "C:\\IN\\B.DAT"});
  uncommitted.fp.fs.fail(fake::FsOp::kCommit, 1, Error::kIo);
  uncommitted.fp.fs.fail(fake::FsOp::kFlush, 4, Error::kIo);
  uncommitted.go();
  EXPECT_EQ(uncommitted.fp.fs.list("C:\\O1"), Names{"C:\\O1\\A.DAT"});
  EXPECT_EQ(uncommitted.fp.fs.list("C:\\IN"), Names{"C:\\IN\\B.DAT"});

  CycleRun limited("C:\\O1\r\nC:\\O2");
  limited.run.settings.max_output_dir_size = 100;
  limited.add({"C:\\IN\\A.DAT", "C:\\IN\\B.DAT"}, std::string(60, 'x'));
  limited.go();
  EXPECT_EQ(limited.fp.fs.list("C:\\IN"), Names{"C:\\IN\\B.DAT"});
  EXPECT_TRUE(limited.said("Restriction of the size output dir C:\\O1\\ 100"));
  EXPECT_EQ(limited.fp.fs.calls(fake::FsOp::kCommit), 0);  // a copy alone is flushed whole
}

// A block cut short by a faulty line or by a read error of the task script
// is not carried out; the read error ends the run with code 6.
TEST(MainCycle, BlockCutShortIsNotCarriedOut) {
  const std::string cut_by_read_error = "--//" + std::string(5000, '-') + "\r\nCommand: DO";
  for (const std::string last_line :
       {"Command: DO", "four words on line", cut_by_read_error.c_str()}) {
    SCOPED_TRACE(last_line.substr(0, 20));
    const bool read_fault = last_line == cut_by_read_error, moved = last_line == "Command: DO";
    CycleRun r;
    r.script("C:\\IN\r\nMask: *.*\r\nC:\\OUT\r\n" + last_line + "\r\n");
    r.run.settings.valid_cycle_full_run = read_fault ? 2 : 1;
    r.run.settings.code_return_cycle = 3;
    r.add({"C:\\IN\\A.DAT"});
    if (read_fault) r.fp.fs.fail(fake::FsOp::kRead, 2, Error::kIo, false, ".Qvr");
    r.go();
    EXPECT_EQ(r.fp.fs.exists("C:\\OUT\\A.DAT"), moved);
    EXPECT_EQ(r.fp.fs.exists("C:\\IN\\A.DAT"), !moved);
    EXPECT_EQ(r.run.state.exit_code, read_fault ? 6 : 3);
    EXPECT_EQ(r.said("Can not read file : C:\\QV\\Quorvane.Qvr !!!"), read_fault);
  }
}

// A hold directory nobody holds was left by a taker that died: its file goes
// back and is delivered on the next turn, whether the mask lists the
// directory or names one file. One a live taker holds is left alone.
TEST(MainCycle, FilesLeftByADeadTakerGoBackALiveTakersStay) {
  for (const std::string mask : {"*.*", "A.DAT"}) {
    SCOPED_TRACE(mask);
    CycleRun r("C:\\OUT", mask);
    r.run.settings.valid_cycle_full_run = 2;
    r.add({"C:\\IN\\.~qvT5\\A.DAT", "C:\\IN\\.~qvT6\\B.DAT"});
    Error err = Error::kNone;
    auto live = r.fp.fs.open_dir(Text("C:\\IN\\.~qvT6"), err);
    ASSERT_TRUE(live && live->hold());
    r.go();
    EXPECT_EQ(r.fp.fs.content("C:\\OUT\\A.DAT"), "x");
    EXPECT_EQ(r.fp.fs.list("C:\\IN"), (Names{"C:\\IN\\.~qvT6", "C:\\IN\\.~qvT6\\B.DAT"}));
  }
}

// The same refusal of the same file costs one report and one pause; the file
// is still tried every turn, and once it changes a refusal is reported again.
TEST(MainCycle, ARefusalIsReportedOnceUntilTheFileChanges) {
  struct Case {
    std::function<void(CycleRun&)> arrange;
    const char* report;
  } cases[] = {
      {[](CycleRun& r) { r.fp.fs.set_locked("C:\\IN\\A.DAT", true); },
       "Can not take file : C:\\IN\\A.DAT !!!"},
      {[](CycleRun& r) { r.run.settings.max_file_size = 3; },
       "C:\\IN\\A.DAT Restriction of the size of a file"},
      {[](CycleRun& r) {
         r.run.settings.max_output_dir_size = 5, r.add({"C:\\OUT\\F.DAT"}, "fff");
       },
       "at processing a file C:\\IN\\A.DAT"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.report);
    CycleRun r;
    r.run.settings.valid_cycle_full_run = 3;
    r.add({"C:\\IN\\A.DAT"}, "abcd");
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

// The panel lists the first cycle's unknown files in light green, a file that
// came later in yellow, nothing twice, and no directory is listed more often
// than the blocks search it.
TEST(MainCycle, UnknownFilesPanelAfterEachCycleInTheCycleColour) {
  CycleRun r("C:\\OUT", "*.DAT", /*interactive=*/true);
  r.script("C:\\IN\r\nMask: *.DAT\r\nC:\\OUT\r\nCommand: DO\r\nMask: *.TXT\r\nCommand: DO\r\n");
  r.run.settings.valid_cycle_full_run = 2;
  r.add({"C:\\IN\\A.DAT", "C:\\IN\\B.TXT", "C:\\IN\\JUNK.BIN", "C:\\IN\\SUB\\X.BIN"});
  r.fp.fs.add_file("C:\\IN\\HIDDEN.BIN", "h", kAttrHidden);  // left out by the attribute mask
  r.program_after_each_cycle([&] { r.add({"C:\\IN\\NEW.BIN"}); });
  r.go();
  EXPECT_EQ(r.fp.fs.calls(fake::FsOp::kList), 4) << "two searches in each of two cycles";
  // The panel starts in column 33, behind the frame in column 31.
  EXPECT_NE(r.fp.console.row(3).find("│ JUNK.BIN (C:\\IN\\)  "), std::string::npos);
  EXPECT_NE(r.fp.console.row(4).find("│ NEW.BIN (C:\\IN\\)  "), std::string::npos);
  EXPECT_EQ(r.fp.console.cell(33, 3), (Cell{'J', kLightGreen}));
  EXPECT_EQ(r.fp.console.cell(33, 4), (Cell{'N', kYellow}));
  EXPECT_EQ(r.fp.console.cell(33, 5).ch, ' ') << "no sub-directory, no repeat";
}

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
      {0, 0, -1, false},      {5, 4, -1, true},   {5, 5, -1, false},   {5, 3600, 1, true},
      {5, 3600, 3600, false}, {5, -60, -1, true}, {0, -60, -1, false},
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

// However many files a directory holds, a cycle keeps a bounded number of
// them; the next cycles go on with the ones not listed yet, none twice.
TEST(UnknownFiles, MemoryIsBoundedAndNoFileIsListedTwice) {
  UnknownFiles u;
  std::set<std::string> listed;
  RawEntry file;
  file.info.attributes = kAttrArchive;
  for (std::size_t got = 1; got > 0;) {
    SearchObserver* o = u.watch("D:\\BIG\\", "*.DAT", 37);
    for (int i = 0; i < 2000; ++i) {
      file.name = Text("F" + std::to_string(i));
      o->passed_over(file);
    }
    const std::vector<UnknownFiles::Entry> entries = u.end_cycle("");
    got = entries.size();
    EXPECT_LT(got, 2000u) << "one cycle kept the whole directory";
    for (const UnknownFiles::Entry& e : entries) EXPECT_TRUE(listed.insert(e.name.str()).second);
  }
  EXPECT_EQ(listed.size(), 2000u);
}

constexpr char kSettings[] = "C:\\QV\\Quorvane.cfg";
constexpr char kScript[] = "C:\\QV\\Quorvane.Qvr";
constexpr char kQuickRun[] =
    "VALID_CYCLE_FULL_RUN 1\r\nCODE_RETURN_CYCLE 3\r\nDELAY_INTERPR 0\r\nDELAY_COPY 0\r\n";

// The text of a row from column x to its last non-blank character.
std::string row_from(const fake::FakeConsole& c, int x, int y) {
  std::string out;
  int last = kScreenCols;
  while (last >= x && c.cell(last, y).ch == ' ') --last;
  for (int i = x; i <= last; ++i) append_utf8(out, cp866_to_unicode(c.cell(i, y).ch));
  return out;
}

// The exit report, the second banner and the farewell (once, in the run's
// language) close the run, the cursor left hidden. The exit banner replaces
// the status screen: title and heading above, the contacts in two columns.
TEST(Startup, RunEndsWithExitReportSecondBannerAndFarewell) {
  fake::FakePlatform fp;
  fp.fs.add_file(kSettings, std::string(kQuickRun) + "LANGUAGE Russian\r\n");
  fp.fs.add_file(kScript, "C:\\IN\r\nMask: *.*\r\nC:\\OUT\r\nCommand: DO\r\n");
  EXPECT_EQ(run_program(fp.platform), 3);
  const std::string out = fp.console.transcript_utf8();
  const auto& c = fp.console;
  const std::string exit_title = row_from(c, 1, 1);  // the version line, in the run's language
  EXPECT_NE(out.find("конфигурации 1.\n" + exit_title + "\n\n"), std::string::npos) << out;
  EXPECT_EQ(out.find(":─) !"), out.size() - std::string(":─) !\n").size()) << "once, at the end";
  EXPECT_NE(out.find("Удачи! Всего лучшего :─) !\n"), std::string::npos);
  EXPECT_EQ(exit_title.substr(exit_title.size() - 9) + "|" + row_from(c, 1, 2), "( Win+ ).|");
  EXPECT_NE(row_from(c, 1, 3), "");
  // Contacts from column 31 in rows 5-7, a second column from 40 in rows 9-11.
  for (int y : {5, 6, 7, 9, 10, 11}) {
    const int x = y < 8 ? 31 : 40;
    for (int i = y == 9 || y == 11 ? x - 1 : 1; i < x; ++i) EXPECT_EQ(c.cell(i, y).ch, ' ') << y;
    EXPECT_NE(c.cell(x, y).ch, ' ') << y;
  }
  EXPECT_EQ(row_from(c, 1, 12) + row_from(c, 1, 24), "");
  EXPECT_FALSE(c.cursor_visible());
}

// Each case is told apart by which step ends it, so the codes show the order.
// A program directory too long to hold the names of its own files beside it
// is refused before any settings file is read, never cut into another one.
TEST(Startup, StartUpStepsEndTheRunInTheirOrder) {
  const std::string longest = "C:\\" + std::string(239, 'd');     // 242 + "\\Quorvane.cfg" = 255
  const std::string beyond = "C:\\QV\\" + std::string(300, 'c');  // cut, it would be C:\QV
  struct Case {
    std::vector<std::string> args;
    const char* settings;  // nullptr: no settings file
    int code;
    std::string dir;  // of the program, "": C:\QV
  } cases[] = {
      {{}, "NO_SUCH_KEY 1\r\n", 7},  // settings read before the script is looked for
      {{"/H"}, nullptr, 0},          // help switch before the settings
      {{"/X"}, nullptr, 6},          // settings read before the other switches
      {{"/X"}, kQuickRun, 2},        // unknown argument before the script is looked for
      {{}, "NO_SUCH_KEY 1\r\n", 7, longest},
      {{}, "NO_SUCH_KEY 1\r\n", 6, beyond},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    fake::FakePlatform fp;
    fp.env.args = c.args;
    if (!c.dir.empty()) fp.env.exe = c.dir + "\\QUORVANE.EXE";
    if (c.settings) fp.fs.add_file(kSettings, c.settings);
    if (c.settings) fp.fs.add_file(longest + "\\Quorvane.cfg", c.settings);
    EXPECT_EQ(run_program(fp.platform), c.code);
    EXPECT_EQ(fp.console.transcript_utf8().find("The path of the program is longer than 255 "
                                                "characters : " +
                                                beyond + "\\QUORVANE.EXE !!!") != std::string::npos,
              c.dir == beyond);
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
    EXPECT_EQ(start_up(run), std::nullopt);
    EXPECT_EQ(fp.clock.slept_ms(), start_pause ? 2700 : 0);
    EXPECT_NE(run.script.file, nullptr);
  }
}

}  // namespace
}  // namespace qv
