// Behaviour of the fake that the real backends do not share: fault
// injection, drives and free space, Windows-like refusals, the virtual
// clock and the scripted keys.
#include "tests/fake_platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv::fake {
namespace {

std::unique_ptr<File> created(FakeFileSystem& fs, const char* path) {
  Error err = Error::kIo;
  auto f = fs.create_new(Text(path), err);
  EXPECT_EQ(err, Error::kNone) << path;
  return f;
}

TEST(FakeFaults, CountDownTransientPersistentAndByPath) {
  FakeFileSystem fs;
  fs.add_file("C:\\IN\\A.TXT", "a");
  fs.add_file("C:\\OUT\\B.TXT", "b");
  FileInfo info;
  fs.fail(FsOp::kStat, 2, Error::kIo);  // the second call only
  EXPECT_EQ(fs.stat(Text("C:\\IN\\A.TXT"), info), Error::kNone);
  EXPECT_EQ(fs.stat(Text("C:\\IN\\A.TXT"), info), Error::kIo);
  EXPECT_EQ(fs.stat(Text("C:\\IN\\A.TXT"), info), Error::kNone);
  fs.fail(FsOp::kRemove, 1, Error::kAccessDenied, true, "out");  // only paths with OUT, for good
  EXPECT_EQ(fs.remove(Text("C:\\OUT\\B.TXT")), Error::kAccessDenied);
  EXPECT_EQ(fs.remove(Text("C:/out/B.TXT")), Error::kAccessDenied);
  EXPECT_TRUE(fs.exists("C:\\OUT\\B.TXT"));
  EXPECT_EQ(fs.remove(Text("C:\\IN\\A.TXT")), Error::kNone);
  EXPECT_EQ(fs.calls(FsOp::kRemove), 3);
  EXPECT_EQ(fs.calls(FsOp::kStat), 3);
  fs.clear_faults();
  EXPECT_EQ(fs.remove(Text("C:\\OUT\\B.TXT")), Error::kNone);
  EXPECT_EQ(fs.files_removed(), (std::vector<std::string>{"C:\\IN\\A.TXT", "C:\\OUT\\B.TXT"}));
}

TEST(FakeFaults, FaultedWriteIsShortAndReadFails) {
  FakeFileSystem fs;
  fs.fail(FsOp::kWrite, 2, Error::kNoSpace);
  auto f = created(fs, "C:\\T.BIN");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->write("abcd", 4), 4);
  EXPECT_EQ(f->write("efgh", 4), 2);
  EXPECT_EQ(f->close(), Error::kNone);
  EXPECT_EQ(fs.content("C:\\T.BIN"), "abcdef");
  fs.fail(FsOp::kRead, 1, Error::kIo);
  Error err = Error::kNone;
  auto r = fs.open_read(Text("C:\\T.BIN"), err);
  ASSERT_TRUE(r);
  char buf[8];
  EXPECT_EQ(r->read(buf, 8), -1);
  EXPECT_EQ(r->read(buf, 8), 6);
}

TEST(FakeDrives, WritesConsumeFreeSpaceAndDeletionGivesItBack) {
  FakeFileSystem fs;
  fs.add_drive('d', 100, 10);
  auto f = created(fs, "d:\\BIG");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->write("0123456789ABCDEF", 16), 10);  // what fitted
  EXPECT_EQ(f->close(), Error::kNone);
  EXPECT_EQ(fs.content("D:\\big"), "0123456789");
  EXPECT_EQ(fs.drive_space(Text("D:\\X")).free, 0u);
  EXPECT_EQ(fs.remove(Text("D:\\BIG")), Error::kNone);
  DriveSpace d = fs.drive_space(Text("D:"));
  EXPECT_EQ(d.status, DriveSpace::kOk);
  EXPECT_EQ(d.total, 100u);
  EXPECT_EQ(d.free, 10u);
  EXPECT_EQ(fs.drive_space(Text("Q:\\")).status, DriveSpace::kNotExist);
  EXPECT_EQ(fs.drive_space(Text("\\\\SERVER\\X")).status, DriveSpace::kIncorrectName);
  fs.remove_drive('D');
  EXPECT_EQ(fs.drive_space(Text("D:\\")).status, DriveSpace::kNotExist);
}

TEST(FakeFileSystem, RefusesLikeWindows) {
  FakeFileSystem fs;
  fs.add_file("C:\\RO.TXT", "keep", kAttrReadOnly | kAttrArchive);
  fs.add_file("C:\\New.txt", "new");
  fs.add_file("C:\\OTHER.TXT", "other");
  EXPECT_EQ(fs.remove(Text("C:\\ro.txt")), Error::kAccessDenied);
  EXPECT_EQ(fs.rename(Text("C:\\NEW.TXT"), Text("C:\\RO.TXT"), true), Error::kAccessDenied);
  EXPECT_EQ(fs.content("C:\\RO.TXT"), "keep");
  Error err = Error::kNone;
  auto held = fs.open_exclusive(Text("C:\\NEW.TXT"), err);
  ASSERT_TRUE(held);
  EXPECT_FALSE(fs.open_read(Text("C:\\NEW.TXT"), err));  // nobody shares with it
  EXPECT_EQ(fs.remove(Text("C:\\NEW.TXT")), Error::kLocked);
  EXPECT_EQ(fs.rename(Text("C:\\NEW.TXT"), Text("C:\\X.TXT"), false), Error::kLocked);
  EXPECT_EQ(fs.rename(Text("C:\\OTHER.TXT"), Text("C:\\NEW.TXT"), true), Error::kLocked);
  held.reset();
  fs.set_locked("C:\\NEW.TXT", true);  // held by another program
  EXPECT_FALSE(fs.open_exclusive(Text("C:\\NEW.TXT"), err));
  EXPECT_EQ(err, Error::kLocked);
  fs.set_locked("C:\\NEW.TXT", false);
  EXPECT_TRUE(fs.open_exclusive(Text("C:\\NEW.TXT"), err));
  EXPECT_FALSE(fs.create_new(Text("C:\\BAD?NAME"), err));
  EXPECT_EQ(err, Error::kBadName);
  EXPECT_EQ(fs.list("C:\\"),
            (std::vector<std::string>{"C:\\New.txt", "C:\\OTHER.TXT", "C:\\RO.TXT"}));
}

TEST(FakeClock, KeepsTheCalendarAsTimeRuns) {
  FakeClock clock;
  auto fields = [&] {
    LocalTime t = clock.local_time();
    return std::vector<int>{t.year, t.month,  t.day,    t.weekday,
                            t.hour, t.minute, t.second, t.hundredths};
  };
  EXPECT_EQ(fields(), (std::vector<int>{2026, 12, 5, 6, 14, 7, 9, 0}));
  clock.sleep_ms((26 * 86400 + 9 * 3600 + 52 * 60 + 51) * 1000LL - 10);  // to the new year
  EXPECT_EQ(fields(), (std::vector<int>{2026, 12, 31, 4, 23, 59, 59, 99}));
  clock.sleep_ms(10);
  EXPECT_EQ(fields(), (std::vector<int>{2027, 1, 1, 5, 0, 0, 0, 0}));
  EXPECT_EQ(clock.slept_ms(), clock.monotonic_ms());
  clock.set(LocalTime{2028, 2, 28, 0, 23, 59, 59, 50});
  clock.advance_ms(500);
  EXPECT_EQ(fields(), (std::vector<int>{2028, 2, 29, 2, 0, 0, 0, 0}));
  clock.advance_ms(24 * 3600 * 1000);
  EXPECT_EQ(clock.local_time().month, 3);
}

TEST(FakeConsole, KeyArrivesAfterTheGivenChecksAndStaysWaiting) {
  FakeConsole console;
  console.press_key(2);
  std::vector<bool> seen;
  for (int i = 0; i < 4; ++i) seen.push_back(console.key_waiting());
  EXPECT_EQ(seen, (std::vector<bool>{false, false, true, true}));
  console.wait_key();
  EXPECT_EQ(console.waits(), 1);
}

}  // namespace
}  // namespace qv::fake
