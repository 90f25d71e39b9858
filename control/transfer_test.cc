#include "control/transfer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/cp866.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

using fake::FsOp;

using Names = std::vector<std::string>;

constexpr char kSource[] = "C:\\IN\\A.TXT";
constexpr char kOut[] = "D:\\OUT\\";
constexpr char kTarget[] = "D:\\OUT\\A.TXT";
constexpr char kCannot[] = "Can not create file : D:\\OUT\\A.TXT !!!";
constexpr uint32_t kReadOnly = kAttrReadOnly | kAttrArchive;
constexpr int64_t kStamp = 1'700'000'001'123'456'789;  // an odd second, to the nanosecond

// A run on the fake platform: a source C:\IN\A.TXT and a drive D: for targets.
struct TransferRun {
  fake::FakePlatform fp;
  Run run{fp.platform};

  explicit TransferRun(const std::string& content = "hello", uint32_t attrs = kAttrArchive) {
    fp.fs.add_drive('D', 8ull << 30, 4ull << 30);
    fp.fs.add_file(kSource, content, attrs, kStamp);
    fp.fs.add_dir("D:\\OUT");
    run.settings.delay_copy = 1000;
    run.settings.create_dir = "COPY";
  }
  Text go(const char* op, const char* dir = kOut) { return transfer_file(run, kSource, dir, op); }
  std::string out() const { return fp.console.transcript_utf8(); }
  bool said(const std::string& s) const { return out().find(s) != std::string::npos; }
};

// A large source spans many reads, an empty one none; a leftover of a crashed
// transfer under the same name in flight neither blocks nor counts as the target.
TEST(Transfer, CopyAndMoveCarryContentTimeAndAttributes) {
  std::string big(3 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 % 251);
  const std::string leftover = "D:\\OUT\\" + std::string(kPartialPrefix) + "0~A.TXT";
  for (const std::string& content : {big, std::string()}) {
    for (const char* op : {"Copy", "Move"}) {
      SCOPED_TRACE(std::string(op) + " of " + std::to_string(content.size()));
      const bool move = std::string(op) == "Move";
      TransferRun t(content, kReadOnly);
      t.fp.fs.add_file(leftover, "stale");
      EXPECT_EQ(t.go(op).str(), "D:\\OUT\\");
      EXPECT_EQ(t.fp.fs.content(kTarget), content);
      EXPECT_EQ(t.fp.fs.attributes(kTarget), kReadOnly);
      EXPECT_EQ(t.fp.fs.mtime(kTarget), kStamp);
      EXPECT_EQ(t.fp.fs.attributes(kSource), move ? 0u : kReadOnly);  // 0: gone
      EXPECT_EQ(t.run.state.byte_count, move ? static_cast<int64_t>(content.size()) : 0);
      EXPECT_TRUE(t.run.state.transfer_done);
      EXPECT_EQ(t.out(), std::string("C:\\IN\\A.TXT ") + (move ? "O=>" : "*=>") + " D:\\OUT\\ " +
                             std::to_string(content.size()) + " bytes.");
      EXPECT_EQ(t.fp.clock.slept_ms(), 1000);  // DELAY_COPY only
      EXPECT_EQ(t.fp.fs.list("D:\\"), (Names{"D:\\OUT", leftover, kTarget}));
      EXPECT_EQ(t.fp.fs.content(leftover), "stale");
    }
  }
}

TEST(Transfer, CreateDirPolicyWalksDownTheChainAddingOneBackslash) {
  for (const char* policy : {"COPY", "COPY\\"}) {
    SCOPED_TRACE(policy);
    TransferRun t("new");
    t.run.settings.create_dir = policy;
    t.fp.fs.add_file(kTarget, "first", kAttrHidden | kAttrSystem | kAttrReadOnly);
    t.fp.fs.add_file("D:\\OUT\\COPY\\A.TXT", "second");
    EXPECT_EQ(t.go("Copy").str(), "D:\\OUT\\COPY\\COPY\\");
    EXPECT_EQ(t.fp.fs.content(kTarget) + t.fp.fs.content("D:\\OUT\\COPY\\A.TXT") +
                  t.fp.fs.content("D:\\OUT\\COPY\\COPY\\A.TXT"),
              "firstsecondnew");
    EXPECT_EQ(t.out(),
              "File D:\\OUT\\A.TXT already exist\n"
              "File D:\\OUT\\COPY\\A.TXT already exist\n"
              "The target catalogue D:\\OUT\\COPY\\COPY\\ Is successfully created.\n"
              "C:\\IN\\A.TXT *=> D:\\OUT\\COPY\\COPY\\ 3 bytes.");
    EXPECT_EQ(t.run.settings.create_dir.str(), "COPY\\");  // the backslash stays for the run
    EXPECT_EQ(t.fp.clock.slept_ms(), 1000);  // no pause for the reports or the new directory
  }
}

TEST(Transfer, OverwriteReplacesAReadOnlyOldTarget) {
  TransferRun t("new");
  t.run.settings.if_file_exist = IfFileExist::kOverwriteFile;
  t.fp.fs.add_file(kTarget, "old", kReadOnly);
  EXPECT_EQ(t.go("Move").str(), "D:\\OUT\\");
  EXPECT_EQ(t.fp.fs.content(kTarget), "new");
  EXPECT_FALSE(t.fp.fs.exists(kSource));
  EXPECT_EQ(t.out(),
            "File D:\\OUT\\A.TXT already exist\n"
            "File D:\\OUT\\A.TXT is successfully removed!!!\n"
            "C:\\IN\\A.TXT O=> D:\\OUT\\ 3 bytes.");
  EXPECT_EQ(t.fp.clock.slept_ms(), 1000 + 3000);
  EXPECT_EQ(t.fp.fs.list("D:\\"), (Names{"D:\\OUT", kTarget}));
}

TEST(Transfer, MoveWhoseSourceCannotBeDeletedKeepsTheSourceAsItWas) {
  TransferRun t("data", kReadOnly);
  t.fp.fs.fail(FsOp::kRemove, 1, Error::kAccessDenied, true, "C:\\IN");
  EXPECT_EQ(t.go("Move").str(), "D:\\OUT\\");
  EXPECT_EQ(t.fp.fs.content(kTarget), "data");
  EXPECT_EQ(t.fp.fs.content(kSource), "data");
  EXPECT_EQ(t.fp.fs.attributes(kSource), kReadOnly);
}

// A fault at each step, for a copy and a move: afterwards the source is where
// it was with its old attributes, drives C: and D: hold what they held (no file
// in flight, nothing under the final name, an old target intact under
// OVERWRITE_FILE), and the report was written.
TEST(Transfer, EveryFaultKeepsTheSourceAndLeavesNoPartialFile) {
  struct Case {
    const char* name;
    std::function<void(TransferRun&)> arrange;
    const char* report = kCannot;
    const char* dir = kOut;
    bool old_target = false;
  };
  auto fault = [](FsOp op, int nth, Error error, bool persistent = false, const char* part = "") {
    return [=](TransferRun& t) { t.fp.fs.fail(op, nth, error, persistent, part); };
  };
  auto none = [](TransferRun&) {};
  auto locked = [](TransferRun& t) { t.fp.fs.set_locked(kSource, true); };
  const char* kCannotDelete = "Can not delete file : D:\\OUT\\A.TXT !!!";
  const std::vector<Case> cases = {
      {"drive missing", none, "Not Exist drive E: !!!", "E:\\OUT\\"},
      {"little space", [](TransferRun& t) { t.fp.fs.set_free('D', 1000); },
       "There is not enough of place on a disk!!!  D: 1000 byte."},
      {"target is the source itself", none, "Can not create file : c:\\in\\A.TXT !!!", "c:\\in\\"},
      {"locked source", locked},
      {"vanished source",
       [](TransferRun& t) {
         t.fp.fs.fail(FsOp::kStat, 1, Error::kNotFound, true, kSource);
         t.fp.fs.fail(FsOp::kOpenExclusive, 1, Error::kNotFound, true, kSource);
       }},
      {"uncreatable directory", fault(FsOp::kMakeDir, 1, Error::kAccessDenied, true),
       "I can not create D:\\NEW\\", "D:\\NEW\\"},
      {"uncreatable target", fault(FsOp::kCreate, 1, Error::kAccessDenied, true)},
      {"disk full mid-copy", fault(FsOp::kWrite, 2, Error::kNoSpace)},
      {"read error", fault(FsOp::kRead, 2, Error::kIo)},
      {"flush fails", fault(FsOp::kFlush, 1, Error::kIo)},
      {"rename fails", fault(FsOp::kRename, 1, Error::kIo)},
      {"read-only old target stays read-only",
       fault(FsOp::kSetAttributes, 1, Error::kAccessDenied, true, kTarget), kCannotDelete, kOut,
       true},
      {"undeletable old target", fault(FsOp::kRename, 1, Error::kLocked), kCannotDelete, kOut,
       true},
      {"locked source, old target", locked, kCannot, kOut, true},
      {"disk full, old target", fault(FsOp::kWrite, 1, Error::kNoSpace), kCannot, kOut, true},
  };
  const std::string content(3 * 1024 * 1024, 'z');
  for (const char* op : {"Copy", "Move"}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + " " + op);
      TransferRun t(content, kReadOnly);
      t.run.settings.if_file_exist = IfFileExist::kOverwriteFile;
      if (c.old_target) t.fp.fs.add_file(kTarget, "old", kReadOnly | kAttrHidden);
      c.arrange(t);
      EXPECT_EQ(t.go(op, c.dir).str(), "");
      t.fp.fs.clear_faults();
      t.fp.fs.set_locked(kSource, false);
      EXPECT_EQ(t.fp.fs.list("C:\\"), (Names{"C:\\IN", kSource}));
      EXPECT_EQ(t.fp.fs.content(kSource), content);
      EXPECT_EQ(t.fp.fs.attributes(kSource), kReadOnly);
      EXPECT_EQ(t.fp.fs.list("D:\\"),
                (c.old_target ? Names{"D:\\OUT", kTarget} : Names{"D:\\OUT"}));
      EXPECT_EQ(t.fp.fs.content(kTarget), c.old_target ? "old" : "");
      EXPECT_EQ(t.fp.fs.attributes(kTarget), c.old_target ? kReadOnly | kAttrHidden : 0u);
      EXPECT_TRUE(t.said(c.report)) << t.out();
      EXPECT_FALSE(t.said("removed"));
      EXPECT_FALSE(t.run.state.transfer_done);
      EXPECT_EQ(t.run.state.byte_count, 0);
    }
  }
}

TEST(Transfer, CannotCreateReportSetsTheTargetOffInYellowAndPauses) {
  TransferRun t;
  t.run.settings.lang = 1;
  t.fp.fs.set_locked(kSource, true);
  EXPECT_EQ(t.go("Copy").str(), "");
  EXPECT_EQ(t.out(), "Не могу создать файл : D:\\OUT\\A.TXT !!!");
  const int name_column = static_cast<int>("Не могу создать файл : "_oem.size()) + 1;
  EXPECT_EQ(t.run.screen.cell(1, 1).attr & 0x0F, kRed);
  EXPECT_EQ(t.run.screen.cell(name_column, 1).attr & 0x0F, kYellow);
  EXPECT_EQ(t.run.screen.attribute() & 0x0F, kLightGrey);
  EXPECT_EQ(t.fp.clock.slept_ms(), 1000 + 3000);
}

}  // namespace
}  // namespace qv
