#include "control/transfer.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "control/covering_note.h"
#include "control/guards.h"
#include "control/hold.h"
#include "platform/cp866.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

using fake::FsOp;

using Names = std::vector<std::string>;

constexpr char kSource[] = "C:\\IN\\A.TXT";
constexpr uint32_t kReadOnly = kAttrReadOnly | kAttrArchive;
constexpr int64_t kStamp = 1'700'000'001'123'456'789;  // an odd second, to the nanosecond

// A run on the fake platform: a source C:\IN\A.TXT, output directories
// C:\OUT on the source's drive and D:\OUT, D:\O2 on another.
struct TransferRun {
  fake::FakePlatform fp;
  Run run{fp.platform};

  explicit TransferRun(const std::string& content = "hello", uint32_t attrs = kAttrArchive,
                       const std::string& source = kSource) {
    fp.fs.add_drive('D', 8ull << 30, 4ull << 30);
    fp.fs.add_file(source, content, attrs, kStamp);
    for (const char* dir : {"C:\\OUT", "D:\\OUT", "D:\\O2"}) fp.fs.add_dir(dir);
    run.settings.delay_copy = 1000;
    run.settings.create_dir = "COPY";
  }
  ~TransferRun() { release_hold_dir(run.state.input); }
  // Takes C:\IN\ in hand as a search of the main cycle does.
  void hold_input() {
    InputInHand& in = run.state.input;
    Error err = Error::kNone;
    in.dir = fp.fs.open_dir(Text("C:\\IN\\"), err);
    in.path = "C:\\IN\\";
    in.dir->info(in.identity);
  }
  // Sends file `name` of C:\IN\ to `outputs`, the input let go at the end.
  bool send(const Names& outputs, const std::string& name = "A.TXT") {
    hold_input();
    RawEntry file;
    file.name = Text(name);
    run.state.input.dir->stat(file.name, file.info);
    std::vector<Destination> to;
    for (const std::string& out : outputs) to.push_back(Destination{out, nullptr});
    bool sent = send_file(run, file, to, run.state.done_targets);
    release_hold_dir(run.state.input);
    run.state.input = InputInHand{};
    return sent;
  }
  std::string out() const { return fp.console.transcript_utf8(); }
  bool said(const std::string& s) const { return out().find(s) != std::string::npos; }
};

// Copied into the first output, moved into the second: by a rename on the
// source's own drive (the same file, no data copied), else by a copy and the
// removal of the source. A large source spans many reads, an empty one none.
// Leftovers of crashed runs go from an output before the first write; a file
// in flight that a live transfer holds stays.
TEST(Transfer, CopyAndMoveCarryContentTimeAndAttributes) {
  std::string big(3 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 % 251);
  for (const std::string& content : {big, std::string()}) {
    for (const bool renamed : {true, false}) {
      const Names outputs =
          renamed ? Names{"D:\\OUT\\", "C:\\OUT\\"} : Names{"C:\\OUT\\", "D:\\O2\\"};
      SCOPED_TRACE(outputs.back() + " " + std::to_string(content.size()));
      TransferRun t(content, kReadOnly);
      const std::string leftover = outputs[0] + std::string(kPartialPrefix) + "P9";
      t.fp.fs.add_file(leftover, "stale");
      Error err = Error::kNone;
      auto live = t.fp.fs.open_dir(Text(outputs[0]), err)->create_temp(err);
      const int temps = t.fp.fs.calls(FsOp::kCreateTemp);
      ASSERT_TRUE(t.send(outputs));
      for (const std::string& dir : outputs) {
        EXPECT_EQ(t.fp.fs.content(dir + "A.TXT"), content);
        EXPECT_EQ(t.fp.fs.attributes(dir + "A.TXT"), kReadOnly);
        EXPECT_EQ(t.fp.fs.mtime(dir + "A.TXT"), kStamp);
      }
      EXPECT_EQ(t.fp.fs.calls(FsOp::kCreateTemp) - temps, renamed ? 1 : 2);
      EXPECT_EQ(t.fp.fs.list("C:\\IN"), Names{});
      EXPECT_EQ(t.run.state.byte_count, static_cast<int64_t>(content.size()));
      EXPECT_TRUE(t.run.state.transfer_done);
      const std::string size = " " + std::to_string(content.size()) + " bytes.";
      EXPECT_EQ(t.out(), "C:\\IN\\A.TXT *=> " + outputs[0] + size + "\nC:\\IN\\A.TXT O=> " +
                             outputs[1] + size);
      EXPECT_EQ(t.fp.clock.slept_ms(), 2000);  // DELAY_COPY per output only
      EXPECT_FALSE(t.fp.fs.exists(leftover));
      EXPECT_EQ(t.fp.fs.list(outputs[0]).size(), 2u);  // the copy and the live file in flight
    }
  }
}

// CREATE_DIR walks down the chain of sub-directories, adding one backslash
// to the policy for the run; OVERWRITE_FILE replaces a read-only old target,
// by a rename on the source's drive and by a copy on another, and reports the
// old file removed once the new one took its place.
TEST(Transfer, AnExistingTargetIsKeptOrReplacedAsThePolicySays) {
  struct Case {
    const char *create_dir, *out;
    IfFileExist policy;
  } cases[] = {
      {"COPY", "D:\\OUT\\", IfFileExist::kCreateDir},
      {"COPY\\", "D:\\OUT\\", IfFileExist::kCreateDir},
      {"COPY", "C:\\OUT\\", IfFileExist::kOverwriteFile},
      {"COPY", "D:\\OUT\\", IfFileExist::kOverwriteFile},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    const bool replace = c.policy == IfFileExist::kOverwriteFile;
    const std::string out = c.out, old = out + "A.TXT";
    TransferRun t("new");
    t.run.settings.create_dir = c.create_dir;
    t.run.settings.if_file_exist = c.policy;
    t.fp.fs.add_file(old, "old", kAttrHidden | kAttrSystem | kAttrReadOnly);
    t.fp.fs.add_file(out + "COPY\\A.TXT", "second");
    ASSERT_TRUE(t.send({out}));
    EXPECT_EQ(t.out(),
              replace ? "File " + old + " already exist\nFile " + old +
                            " is successfully removed!!!\nC:\\IN\\A.TXT O=> " + out + " 3 bytes."
                      : "File D:\\OUT\\A.TXT already exist\nFile D:\\OUT\\COPY\\A.TXT already "
                        "exist\nThe target catalogue D:\\OUT\\COPY\\COPY\\ Is successfully "
                        "created.\nC:\\IN\\A.TXT O=> D:\\OUT\\COPY\\COPY\\ 3 bytes.");
    EXPECT_EQ(t.fp.fs.content(old) + t.fp.fs.content(out + "COPY\\A.TXT") +
                  t.fp.fs.content(out + "COPY\\COPY\\A.TXT"),
              replace ? "newsecond" : "oldsecondnew");
    EXPECT_EQ(t.fp.fs.list(out).size(), replace ? 3u : 5u);  // nothing else left behind
    EXPECT_EQ(t.run.settings.create_dir.str(), replace ? "COPY" : "COPY\\");
    EXPECT_EQ(t.run.state.done_targets.at(0).shown, replace ? out : out + "COPY\\COPY\\");
    EXPECT_EQ(t.fp.clock.slept_ms(), replace ? 4000 : 1000);  // a pause for the removal only
  }
}

// A failure at any step of a dispatch to D:\OUT (copy) and C:\OUT or D:\O2
// (move): afterwards the source is where it was, as it was, every output
// holds what it held (an old target intact), no hold directory is left,
// nothing is counted or reported as sent, and the failure was reported.
TEST(Transfer, EveryFaultKeepsTheSourceAndEveryOutputAsTheyWere) {
  const Names kRename = {"D:\\OUT\\", "C:\\OUT\\"}, kCopies = {"D:\\OUT\\", "D:\\O2\\"};
  const char* kCannotTake = "Can not take file : C:\\IN\\A.TXT !!!";
  const char* kCannotCreate = "Can not create file : D:\\OUT\\A.TXT !!!";
  const char* kStuck = "Can not delete file : C:\\IN\\A.TXT !!!";  // may not leave its directory
  struct Case {
    std::function<void(TransferRun&)> arrange;
    const char* report;
    Names outputs;
    bool old_target = false;
  };
  auto fault = [](FsOp op, int nth, Error error, const char* part = "") {
    return [=](TransferRun& t) { t.fp.fs.fail(op, nth, error, false, part); };
  };
  auto locked = [](TransferRun& t) { t.fp.fs.set_locked(kSource, true); };
  auto written_in_flight = [](TransferRun& t) {
    t.fp.fs.at_call(FsOp::kMoveTo, 1, [&t] { t.fp.fs.touch_by_other(kSource); });
  };
  const std::vector<Case> cases = {
      {locked, kCannotTake, kRename},
      {fault(FsOp::kMakeHoldDir, 1, Error::kAccessDenied), kStuck, kRename},
      {fault(FsOp::kMoveTo, 1, Error::kAccessDenied), kStuck, kRename},  // take refused
      {fault(FsOp::kMoveTo, 1, Error::kIo), kCannotTake, kRename},
      {fault(FsOp::kCreateTemp, 1, Error::kNoSpace), kCannotCreate, kRename},
      {fault(FsOp::kWrite, 2, Error::kNoSpace), kCannotCreate, kRename},  // disk full mid-copy
      {fault(FsOp::kSetMtime, 1, Error::kIo), kCannotCreate, kRename},
      {fault(FsOp::kFlush, 1, Error::kIo), kCannotCreate, kRename},
      {fault(FsOp::kPublish, 1, Error::kIo), kCannotCreate, kRename},
      {fault(FsOp::kSync, 1, Error::kIo), kCannotCreate, kRename},
      {fault(FsOp::kMoveTo, 2, Error::kAccessDenied), "Can not create file : C:\\OUT\\A.TXT !!!",
       kRename},  // the rename fails
      {written_in_flight, kCannotTake, kRename},
      {fault(FsOp::kHeld, 1, Error::kLocked), kCannotTake, kRename},  // after the copy
      {fault(FsOp::kHeld, 2, Error::kLocked), kCannotTake, kRename},  // before the rename
      {fault(FsOp::kHeld, 3, Error::kLocked), kCannotTake, kRename},  // after the rename
      {fault(FsOp::kHeld, 3, Error::kLocked), kCannotTake, kCopies},  // before the removal
      {fault(FsOp::kRemove, 1, Error::kAccessDenied, "C:\\IN"), kStuck, kCopies},
      {nullptr, "Not Exist drive E: !!!", {"D:\\OUT\\", "E:\\OUT\\"}},
      {fault(FsOp::kMakeDir, 1, Error::kAccessDenied),
       "I can not create D:\\NEW\\",
       {"D:\\OUT\\", "D:\\NEW\\"}},
      {nullptr, "Can not create file : c:\\in\\A.TXT !!!", {"D:\\OUT\\", "c:\\in\\"}},  // itself
      {fault(FsOp::kPublish, 1, Error::kLocked), "Can not delete file : D:\\OUT\\A.TXT !!!",
       kRename, true},  // the old target is not replaced
      {locked, kCannotTake, kRename, true},
  };
  const std::string content(3 * 1024 * 1024, 'z');
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases.data());
    TransferRun t(content, kReadOnly);
    t.run.settings.if_file_exist = IfFileExist::kOverwriteFile;
    if (c.old_target) t.fp.fs.add_file("D:\\OUT\\A.TXT", "old", kReadOnly | kAttrHidden);
    const Names drive_d = t.fp.fs.list("D:\\");
    if (c.arrange) c.arrange(t);
    EXPECT_FALSE(t.send(c.outputs));
    t.fp.fs.clear_faults();
    t.fp.fs.set_locked(kSource, false);
    EXPECT_EQ(t.fp.fs.list("C:\\"), (Names{"C:\\IN", kSource, "C:\\OUT"}));
    EXPECT_EQ(t.fp.fs.content(kSource), content);
    EXPECT_EQ(t.fp.fs.attributes(kSource), kReadOnly);
    EXPECT_EQ(t.fp.fs.mtime(kSource), kStamp);
    EXPECT_EQ(t.fp.fs.list("D:\\"), drive_d);
    EXPECT_EQ(t.fp.fs.content("D:\\OUT\\A.TXT"), c.old_target ? "old" : "");
    EXPECT_TRUE(t.said(c.report)) << t.out();
    EXPECT_FALSE(t.said("=>") || t.said("removed")) << t.out();
    EXPECT_FALSE(t.run.state.transfer_done);
    EXPECT_EQ(t.run.state.byte_count, 0);
    EXPECT_TRUE(t.run.state.done_targets.empty());
  }
}

// Another file renamed over the source's name is never taken, moved or
// removed: before the take the dispatch stops without a word; after it, the
// new file keeps the name while the source is delivered.
TEST(Transfer, AFileRenamedOverTheSourceStaysUntouched) {
  struct Case {
    FsOp when;
    bool delivered;
  } cases[] = {{FsOp::kMoveTo, false}, {FsOp::kPublish, true}};
  for (const Case& c : cases) {
    TransferRun t("data");
    t.fp.fs.add_file("C:\\X.TXT", "newer");
    t.fp.fs.at_call(c.when, 1, [&t] { t.fp.fs.move_by_other("C:\\X.TXT", kSource); });
    EXPECT_EQ(t.send({"D:\\OUT\\", "D:\\O2\\"}), c.delivered);
    EXPECT_EQ(t.fp.fs.content(kSource), "newer");
    EXPECT_EQ(t.fp.fs.content("D:\\O2\\A.TXT"), c.delivered ? "data" : "");
    EXPECT_EQ(t.fp.fs.list("C:\\IN"), (Names{kSource}));
    EXPECT_EQ(t.said("=>"), c.delivered);
    EXPECT_EQ(t.said("!!!"), false) << t.out();
  }
}

// A name of 254 bytes moves whole (names in flight are the system's own, short
// ones); reports show the path cut with "..." rather than lose it.
TEST(Transfer, ALongNameMovesAndIsShownCut) {
  const std::string name = std::string(250, 'N') + ".DAT";
  for (const Names& outputs : {Names{"C:\\OUT\\"}, Names{"D:\\OUT\\"}}) {
    TransferRun t("long", kAttrArchive, "C:\\IN\\" + name);
    ASSERT_TRUE(t.send(outputs, name));
    EXPECT_EQ(t.fp.fs.content(outputs[0] + name), "long");
    EXPECT_EQ(t.fp.fs.list("C:\\IN"), Names{});
    const std::string shown = ("C:\\IN\\" + name).substr(0, 252) + "...";
    EXPECT_EQ(t.out(), shown + " O=> " + outputs[0] + " 4 bytes.");
  }
}

// A refused take names the source, in red with the path in yellow, and pauses.
TEST(Transfer, CannotTakeReportSetsTheSourceOffInYellowAndPauses) {
  TransferRun t;
  t.run.settings.lang = 1;
  t.fp.fs.set_locked(kSource, true);
  EXPECT_FALSE(t.send({"D:\\OUT\\"}));
  EXPECT_EQ(t.out(), "Не могу взять файл : C:\\IN\\A.TXT !!!");
  const int name_column = static_cast<int>("Не могу взять файл : "_oem.size()) + 1;
  EXPECT_EQ(t.run.screen.cell(1, 1).attr & 0x0F, kRed);
  EXPECT_EQ(t.run.screen.cell(name_column, 1).attr & 0x0F, kYellow);
  EXPECT_EQ(t.run.screen.attribute() & 0x0F, kLightGrey);
  EXPECT_EQ(t.fp.clock.slept_ms(), 1000 + 3000);
}

// An output named twice: the copy for the first takes the name, so the
// second finds it there and goes down the CREATE_DIR chain.
TEST(Transfer, OutputNamedTwiceKeepsBothFiles) {
  TransferRun t;
  ASSERT_TRUE(t.send({"C:\\OUT\\", "C:\\OUT\\"}));
  EXPECT_EQ(t.fp.fs.list("C:\\OUT"),
            (Names{"C:\\OUT\\A.TXT", "C:\\OUT\\COPY", "C:\\OUT\\COPY\\A.TXT"}));
  EXPECT_EQ(t.fp.fs.list("C:\\IN"), Names{});
}

// A refusing guard writes its report and pauses (a short disk none), the
// colour grey again afterwards. A file-size limit of 0 or less is none.
TEST(Guards, DriveAndFileSizeGuardsAcceptOrRefuseWithTheirReports) {
  constexpr uint64_t kPlenty = 4ull << 30;
  struct Case {
    const char* path;
    uint64_t free_on_d;
    int64_t limit, size;  // size -1: the drive guard is asked
    const char* report;   // "": accepted
    int64_t pause;
  } cases[] = {
      {"E:\\OUT\\", kPlenty, 0, -1, "Not Exist drive E: !!!\nAdd. Inf. E:\\OUT\\", 3000},
      {"d:\\out\\", kPlenty, 0, -1, "", 0},
      {"1:\\OUT\\", kPlenty, 0, -1, "An Incorrect name drive,1:\\OUT\\: !!!\nAdd. Inf. 1:\\OUT\\",
       3000},
      {"D:\\OUT\\", 1'024'000, 0, -1, "", 0},
      {"D:\\OUT\\", 1'023'999, 0, -1,
       " There is not enough of place on a disk!!!  D: 1023999 byte.", 0},
      {kSource, kPlenty, 0, 5000, "", 0},
      {kSource, kPlenty, -1, 5000, "", 0},
      {kSource, kPlenty, 1000, 1000, "", 0},
      {kSource, kPlenty, 1000, 1001,
       "C:\\IN\\A.TXT Restriction of the size of a file (1001 > 1000)", 3000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    TransferRun g;
    g.fp.fs.set_free('D', c.free_on_d);
    g.run.settings.max_file_size = c.limit;
    const bool accepted =
        c.size < 0 ? check_target_drive(g.run, c.path) : check_file_size(g.run, c.path, c.size);
    EXPECT_EQ(accepted, c.report[0] == '\0');
    EXPECT_TRUE(accepted ? g.out().empty() : g.said(c.report)) << g.out();
    EXPECT_EQ(g.fp.clock.slept_ms(), c.pause);
    EXPECT_EQ(g.run.screen.attribute() & 0x0F, kLightGrey);
  }
}

// A bare drive is a directory, with or without its separator.
TEST(DirectoryExists, BareDrivesAndDirectoriesAreDirectories) {
  TransferRun t;
  for (const char* dir : {"D:", "D:\\", "D:\\OUT", "D:\\OUT\\"})
    EXPECT_TRUE(directory_exists(t.run, dir)) << dir;
  for (const char* none : {"", "D:X", "D:\\NONE\\", "C:\\IN\\A.TXT"})
    EXPECT_FALSE(directory_exists(t.run, none)) << none;
}

// Data file REPORT.TXT of C:\IN\ just dispatched, a covering note N.(S) beside it.
struct NoteRun : TransferRun {
  explicit NoteRun(const std::string& note)
      : TransferRun("data", kAttrArchive, "C:\\IN\\REPORT.TXT") {
    fp.fs.add_file("C:\\IN\\N.(S)", note);
    run.settings.mask_sopr = "*.(S)";
    run.settings.file_attr = 37;
    hold_input();
    run.state.current_search = std::make_unique<DirSearch>(*run.state.input.dir, "REPORT.TXT", 37);
  }
  ~NoteRun() { run.state.current_search.reset(); }
  // The data file went into each of `dirs` (made on drive D:).
  void data_went_to(const Names& dirs) {
    for (const std::string& dir : dirs) {
      fp.fs.add_dir(dir);
      Error err = Error::kNone;
      run.state.done_targets.push_back(DoneTarget{dir, fp.fs.open_dir(Text(dir), err)});
    }
  }
};

// A note is sent when it mentions the data file (in any case, maybe within a
// longer name, within the first 255 bytes of a line; an unreadable note names
// nothing): copied into each directory the data file reached and moved into
// the last, as one unit. When its move fails, the copies are taken back and
// the note stays; a data file that went nowhere takes no note along.
TEST(CoveringNote, GoesOnlyWhereTheDataFileWentAllOrNothing) {
  const Names both = {"D:\\O1\\", "D:\\O3\\"}, one = {"D:\\O1\\"};
  struct Case {
    Names targets;
    std::string note;
    bool move_fails, unreadable;
    Names receive;
  } cases[] = {
      {both, "about report.txt", false, false, {"D:\\O1\\N.(S)", "D:\\O3\\N.(S)"}},
      {one, "first line\r\nsend MY_REPORT.TXT now\r\n", false, false, {"D:\\O1\\N.(S)"}},
      {both, "about report.txt", true, false, {}},
      {{}, "about report.txt", false, false, {}},
      {one, "REPORT\r\n.TXT\r\n", false, false, {}},
      {one, std::string(260, '-') + "REPORT.TXT\r\n", false, false, {}},
      {one, "REPORT.TXT", false, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    NoteRun n(c.note);
    n.fp.fs.add_file("C:\\IN\\OTHER.(S)", "about something else");  // never sent
    n.data_went_to(c.targets);
    if (c.move_fails) n.fp.fs.fail(FsOp::kPublish, 1, Error::kNoSpace, false, "O3");
    if (c.unreadable) n.fp.fs.fail(FsOp::kOpenRead, 1, Error::kLocked, true);
    send_covering_notes(n.run);
    EXPECT_EQ(n.fp.fs.exists("C:\\IN\\N.(S)"), c.receive.empty());
    Names received;
    for (const std::string& note : n.fp.fs.list("D:\\"))
      if (note.find(".(S)") != std::string::npos) received.push_back(note);
    EXPECT_EQ(received, c.receive);
    for (const std::string& note : c.receive) EXPECT_EQ(n.fp.fs.content(note), c.note);
  }
}

}  // namespace
}  // namespace qv
