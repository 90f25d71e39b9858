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

constexpr char kSource[] = "C:\\IN\\A.TXT";
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
  Text copy(const char* dir = "D:\\OUT\\") { return transfer_file(run, kSource, dir, "Copy"); }
  Text move(const char* dir = "D:\\OUT\\") { return transfer_file(run, kSource, dir, "Move"); }
  std::string out() const { return fp.console.transcript_utf8(); }
  bool said(const std::string& s) const { return out().find(s) != std::string::npos; }
  // Every name on drive D: that is a file still in flight.
  std::vector<std::string> partials() const {
    std::vector<std::string> found;
    for (const std::string& p : fp.fs.list("D:\\")) {
      if (p.find(kPartialPrefix) != std::string::npos) found.push_back(p);
    }
    return found;
  }
};

TEST(Transfer, CopyAndMoveCarryContentTimeAndAttributes) {
  for (const char* op : {"Copy", "Move"}) {
    TransferRun t("payload", kReadOnly);
    Text dir = transfer_file(t.run, kSource, "D:\\OUT\\", op);
    const bool move = std::string(op) == "Move";
    EXPECT_EQ(dir.str(), "D:\\OUT\\") << op;
    EXPECT_EQ(t.fp.fs.content("D:\\OUT\\A.TXT"), "payload") << op;
    EXPECT_EQ(t.fp.fs.attributes("D:\\OUT\\A.TXT"), kReadOnly) << op;
    EXPECT_EQ(t.fp.fs.mtime("D:\\OUT\\A.TXT"), kStamp) << op;
    EXPECT_EQ(t.fp.fs.exists(kSource), !move) << op;
    if (!move) {
      EXPECT_EQ(t.fp.fs.attributes(kSource), kReadOnly) << op;
    }
    EXPECT_EQ(t.run.state.byte_count, move ? 7 : 0) << op;
    EXPECT_TRUE(t.run.state.transfer_done) << op;
    EXPECT_EQ(t.out(),
              std::string("C:\\IN\\A.TXT ") + (move ? "O=>" : "*=>") + " D:\\OUT\\ 7 bytes.");
    EXPECT_EQ(t.fp.clock.slept_ms(), 1000) << op;  // DELAY_COPY only
    EXPECT_TRUE(t.partials().empty()) << op;
  }
}

TEST(Transfer, ZeroByteSourceAndALargeOneSpanningManyReads) {
  TransferRun empty("");
  EXPECT_EQ(empty.copy().str(), "D:\\OUT\\");
  EXPECT_TRUE(empty.fp.fs.exists("D:\\OUT\\A.TXT"));
  EXPECT_EQ(empty.out(), "C:\\IN\\A.TXT *=> D:\\OUT\\ 0 bytes.");

  std::string big(3 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 % 251);
  TransferRun large(big);
  EXPECT_EQ(large.move().str(), "D:\\OUT\\");
  EXPECT_EQ(large.fp.fs.content("D:\\OUT\\A.TXT"), big);
  EXPECT_EQ(large.run.state.byte_count, static_cast<int64_t>(big.size()));
}

TEST(Transfer, CreateDirPolicyWalksDownTheChain) {
  TransferRun t("new");
  t.fp.fs.add_file("D:\\OUT\\A.TXT", "first");
  t.fp.fs.add_file("D:\\OUT\\COPY\\A.TXT", "second");
  EXPECT_EQ(t.copy().str(), "D:\\OUT\\COPY\\COPY\\");
  EXPECT_EQ(t.fp.fs.content("D:\\OUT\\COPY\\COPY\\A.TXT"), "new");
  EXPECT_EQ(t.fp.fs.content("D:\\OUT\\A.TXT"), "first");
  EXPECT_EQ(t.fp.fs.content("D:\\OUT\\COPY\\A.TXT"), "second");
  EXPECT_EQ(t.out(),
            "File D:\\OUT\\A.TXT already exist\n"
            "File D:\\OUT\\COPY\\A.TXT already exist\n"
            "The target catalogue D:\\OUT\\COPY\\COPY\\ Is successfully created.\n"
            "C:\\IN\\A.TXT *=> D:\\OUT\\COPY\\COPY\\ 3 bytes.");
  EXPECT_EQ(t.run.settings.create_dir.str(), "COPY\\");  // the backslash stays for the run
}

TEST(Transfer, CreateDirValueWithABackslashGetsNoSecond) {
  TransferRun t;
  t.run.settings.create_dir = "COPY\\";
  t.fp.fs.add_file("D:\\OUT\\A.TXT", "old");
  EXPECT_EQ(t.copy().str(), "D:\\OUT\\COPY\\");
  EXPECT_EQ(t.run.settings.create_dir.str(), "COPY\\");
}

TEST(Transfer, OverwriteReplacesAReadOnlyOldTarget) {
  TransferRun t("new");
  t.run.settings.if_file_exist = IfFileExist::kOverwriteFile;
  t.fp.fs.add_file("D:\\OUT\\A.TXT", "old", kReadOnly);
  EXPECT_EQ(t.move().str(), "D:\\OUT\\");
  EXPECT_EQ(t.fp.fs.content("D:\\OUT\\A.TXT"), "new");
  EXPECT_FALSE(t.fp.fs.exists(kSource));
  EXPECT_EQ(t.out(),
            "File D:\\OUT\\A.TXT already exist\n"
            "File D:\\OUT\\A.TXT is successfully removed!!!\n"
            "C:\\IN\\A.TXT O=> D:\\OUT\\ 3 bytes.");
  EXPECT_EQ(t.fp.clock.slept_ms(), 1000 + 3000);
  EXPECT_TRUE(t.partials().empty());
}

TEST(Transfer, LeftoverOfACrashNeitherCountsNorBlocks) {
  TransferRun t("fresh");
  const std::string leftover = std::string("D:\\OUT\\") + std::string(kPartialPrefix) + "0~A.TXT";
  t.fp.fs.add_file(leftover, "stale");
  EXPECT_EQ(t.copy().str(), "D:\\OUT\\");
  EXPECT_EQ(t.fp.fs.content("D:\\OUT\\A.TXT"), "fresh");
  EXPECT_EQ(t.fp.fs.content(leftover), "stale");
  EXPECT_FALSE(t.said("already exist"));
}

TEST(Transfer, SizeRecheckAbandonsAMoveButNotACopy) {
  TransferRun t("0123456789");
  t.run.settings.max_file_size = 5;
  t.run.state.found_files = 4;
  EXPECT_EQ(t.move().str(), "");
  EXPECT_TRUE(t.fp.fs.exists(kSource));
  EXPECT_FALSE(t.fp.fs.exists("D:\\OUT\\A.TXT"));
  EXPECT_EQ(t.run.state.found_files, 3);
  EXPECT_EQ(t.copy().str(), "D:\\OUT\\");
  EXPECT_EQ(t.fp.fs.content("D:\\OUT\\A.TXT"), "0123456789");
  EXPECT_EQ(t.run.state.found_files, 3);
}

TEST(Transfer, MoveWhoseSourceCannotBeDeletedKeepsTheSourceAsItWas) {
  TransferRun t("data", kReadOnly);
  t.fp.fs.fail(FsOp::kRemove, 1, Error::kAccessDenied, true, "C:\\IN");
  EXPECT_EQ(t.move().str(), "D:\\OUT\\");
  EXPECT_EQ(t.fp.fs.content("D:\\OUT\\A.TXT"), "data");
  EXPECT_EQ(t.fp.fs.content(kSource), "data");
  EXPECT_EQ(t.fp.fs.attributes(kSource), kReadOnly);
}

TEST(Transfer, SourceAndTargetAreNeverTheSameFile) {
  TransferRun t("mine", kReadOnly);
  t.run.settings.if_file_exist = IfFileExist::kOverwriteFile;
  EXPECT_EQ(transfer_file(t.run, kSource, "c:\\in\\", "Move").str(), "");
  EXPECT_EQ(t.fp.fs.content(kSource), "mine");
  EXPECT_EQ(t.fp.fs.attributes(kSource), kReadOnly);
  EXPECT_TRUE(t.said("Can not create file : c:\\in\\A.TXT !!!")) << t.out();
  EXPECT_FALSE(t.said("removed"));
}

// A fault at each step: afterwards the source is where it was with its old
// attributes, no file in flight is left, nothing lies under the final name
// (or the old target is intact) and the report was written.
TEST(Transfer, EveryFaultKeepsTheSourceAndLeavesNoPartialFile) {
  struct Case {
    const char* name;
    std::function<void(TransferRun&)> arrange;
    const char* target_dir;
    const char* report;
  };
  const std::vector<Case> cases = {
      {"drive missing", [](TransferRun&) {}, "E:\\OUT\\", "Not Exist drive E: !!!"},
      {"little space", [](TransferRun& t) { t.fp.fs.set_free('D', 1000); }, "D:\\OUT\\",
       "There is not enough of place on a disk!!!  D: 1000 byte."},
      {"locked source", [](TransferRun& t) { t.fp.fs.set_locked(kSource, true); }, "D:\\OUT\\",
       "Can not create file : D:\\OUT\\A.TXT !!!"},
      {"vanished source",
       [](TransferRun& t) {
         t.fp.fs.fail(FsOp::kStat, 1, Error::kNotFound, true, kSource);
         t.fp.fs.fail(FsOp::kOpenExclusive, 1, Error::kNotFound, true, kSource);
       },
       "D:\\OUT\\", "Can not create file : D:\\OUT\\A.TXT !!!"},
      {"uncreatable directory",
       [](TransferRun& t) { t.fp.fs.fail(FsOp::kMakeDir, 1, Error::kAccessDenied, true); },
       "D:\\NEW\\", "I can not create D:\\NEW\\"},
      {"uncreatable target",
       [](TransferRun& t) { t.fp.fs.fail(FsOp::kCreate, 1, Error::kAccessDenied, true); },
       "D:\\OUT\\", "Can not create file : D:\\OUT\\A.TXT !!!"},
      {"disk full in the middle of the copy",
       [](TransferRun& t) { t.fp.fs.fail(FsOp::kWrite, 2, Error::kNoSpace); }, "D:\\OUT\\",
       "Can not create file : D:\\OUT\\A.TXT !!!"},
      {"read error", [](TransferRun& t) { t.fp.fs.fail(FsOp::kRead, 2, Error::kIo); }, "D:\\OUT\\",
       "Can not create file : D:\\OUT\\A.TXT !!!"},
      {"flush fails", [](TransferRun& t) { t.fp.fs.fail(FsOp::kFlush, 1, Error::kIo); },
       "D:\\OUT\\", "Can not create file : D:\\OUT\\A.TXT !!!"},
      {"rename fails", [](TransferRun& t) { t.fp.fs.fail(FsOp::kRename, 1, Error::kIo); },
       "D:\\OUT\\", "Can not create file : D:\\OUT\\A.TXT !!!"},
  };
  const std::string content(3 * 1024 * 1024, 'z');
  for (const char* op : {"Copy", "Move"}) {
    for (const Case& c : cases) {
      TransferRun t(content, kReadOnly);
      c.arrange(t);
      EXPECT_EQ(transfer_file(t.run, kSource, c.target_dir, op).str(), "") << c.name << " " << op;
      t.fp.fs.clear_faults();
      t.fp.fs.set_locked(kSource, false);
      EXPECT_EQ(t.fp.fs.content(kSource), content) << c.name << " " << op;
      EXPECT_EQ(t.fp.fs.attributes(kSource), kReadOnly) << c.name << " " << op;
      EXPECT_FALSE(t.fp.fs.exists(std::string(c.target_dir) + "A.TXT")) << c.name << " " << op;
      EXPECT_TRUE(t.partials().empty()) << c.name << " " << op;
      EXPECT_TRUE(t.said(c.report)) << c.name << " " << op << ": " << t.out();
      EXPECT_FALSE(t.run.state.transfer_done) << c.name;
      EXPECT_EQ(t.run.state.byte_count, 0) << c.name;
    }
  }
}

// Under OVERWRITE_FILE a fault never costs the old target, and "removed" is
// written only when the replacement really happened.
TEST(Transfer, FaultsUnderOverwriteKeepTheOldTarget) {
  struct Case {
    const char* name;
    std::function<void(TransferRun&)> arrange;
    const char* report;
  };
  const std::vector<Case> cases = {
      {"old target attributes cannot be cleared",
       [](TransferRun& t) {
         t.fp.fs.fail(FsOp::kSetAttributes, 1, Error::kAccessDenied, true, "D:\\OUT\\A.TXT");
       },
       "Can not delete file : D:\\OUT\\A.TXT !!!"},
      {"old target cannot be replaced",
       [](TransferRun& t) { t.fp.fs.fail(FsOp::kRename, 1, Error::kLocked); },
       "Can not delete file : D:\\OUT\\A.TXT !!!"},
      {"locked source", [](TransferRun& t) { t.fp.fs.set_locked(kSource, true); },
       "Can not create file : D:\\OUT\\A.TXT !!!"},
      {"disk full in the middle of the copy",
       [](TransferRun& t) { t.fp.fs.fail(FsOp::kWrite, 1, Error::kNoSpace); },
       "Can not create file : D:\\OUT\\A.TXT !!!"},
  };
  for (const Case& c : cases) {
    TransferRun t("new content", kReadOnly);
    t.run.settings.if_file_exist = IfFileExist::kOverwriteFile;
    t.fp.fs.add_file("D:\\OUT\\A.TXT", "old", kReadOnly | kAttrHidden);
    c.arrange(t);
    EXPECT_EQ(t.move().str(), "") << c.name;
    t.fp.fs.clear_faults();
    t.fp.fs.set_locked(kSource, false);
    EXPECT_EQ(t.fp.fs.content("D:\\OUT\\A.TXT"), "old") << c.name;
    EXPECT_EQ(t.fp.fs.attributes("D:\\OUT\\A.TXT"), kReadOnly | kAttrHidden) << c.name;
    EXPECT_EQ(t.fp.fs.content(kSource), "new content") << c.name;
    EXPECT_EQ(t.fp.fs.attributes(kSource), kReadOnly) << c.name;
    EXPECT_TRUE(t.partials().empty()) << c.name;
    EXPECT_TRUE(t.said(c.report)) << c.name << ": " << t.out();
    EXPECT_FALSE(t.said("removed")) << c.name;
  }
}

TEST(Transfer, CannotCreateReportSetsTheTargetOffInYellowAndPauses) {
  TransferRun t;
  t.run.settings.lang = 1;
  t.fp.fs.set_locked(kSource, true);
  EXPECT_EQ(t.copy().str(), "");
  EXPECT_EQ(t.out(), "Не могу создать файл : D:\\OUT\\A.TXT !!!");
  const int name_column = static_cast<int>("Не могу создать файл : "_oem.size()) + 1;
  EXPECT_EQ(t.run.screen.cell(1, 1).attr & 0x0F, kRed);
  EXPECT_EQ(t.run.screen.cell(name_column, 1).attr & 0x0F, kYellow);
  EXPECT_EQ(t.run.screen.attribute() & 0x0F, kLightGrey);
  EXPECT_EQ(t.fp.clock.slept_ms(), 1000 + 3000);
}

}  // namespace
}  // namespace qv
