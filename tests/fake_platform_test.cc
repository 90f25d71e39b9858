// The fake file system: fault injection (the countdown, once or for good, by
// path; the short write; actions of another program) and the handle rules
// the engine leans on. The rest of the fake is exercised by every other test.
#include "tests/fake_platform.h"

#include <gtest/gtest.h>

#include <vector>

namespace qv::fake {
namespace {

TEST(FakeFaults, CountDownOnceOrForGoodOnlyOverMatchingPaths) {
  FakeFileSystem fs;
  fs.add_file("C:\\IN\\A.TXT", "a");
  fs.add_file("C:\\OUT\\B.TXT", "b");
  auto stat = [&](const char* path) {
    FileInfo info;
    return fs.stat(Text(path), info);
  };
  fs.fail(FsOp::kStat, 2, Error::kIo);  // the second call only
  EXPECT_EQ((std::vector{stat("C:\\IN\\A.TXT"), stat("C:\\IN\\A.TXT"), stat("C:\\IN\\A.TXT")}),
            (std::vector{Error::kNone, Error::kIo, Error::kNone}));
  fs.fail(FsOp::kStat, 2, Error::kAccessDenied, true, "out");  // counts paths with OUT only
  EXPECT_EQ((std::vector{stat("C:\\IN\\A.TXT"), stat("C:\\OUT\\B.TXT"), stat("c:/out/b.txt"),
                         stat("C:\\OUT\\B.TXT"), stat("C:\\IN\\A.TXT")}),
            (std::vector{Error::kNone, Error::kNone, Error::kAccessDenied, Error::kAccessDenied,
                         Error::kNone}));
  fs.clear_faults();
  EXPECT_EQ(stat("C:\\OUT\\B.TXT"), Error::kNone);
  int runs = 0;
  fs.at_call(FsOp::kStat, 2, [&] { ++runs; });
  EXPECT_EQ((std::vector{stat("C:\\IN\\A.TXT"), stat("C:\\IN\\A.TXT"), stat("C:\\IN\\A.TXT")}),
            (std::vector{Error::kNone, Error::kNone, Error::kNone}));
  EXPECT_EQ(runs, 1);
}

TEST(FakeFaults, AFaultedWriteIsShortAndTheNextIsWhole) {
  FakeFileSystem fs;
  fs.fail(FsOp::kWrite, 2, Error::kNoSpace);
  Error err = Error::kIo;
  auto dir = fs.open_dir(Text("C:\\"), err);
  ASSERT_TRUE(dir) << error_name(err);
  auto f = dir->create_temp(err);
  ASSERT_TRUE(f) << error_name(err);
  EXPECT_EQ((std::vector{f->write("abcd", 4), f->write("efgh", 4), f->write("ij", 2)}),
            (std::vector<int64_t>{4, 2, 2}));
  ASSERT_EQ(dir->publish(*f, Text("T.BIN"), false), Error::kNone);
  EXPECT_EQ(fs.content("C:\\T.BIN"), "abcdefij");
}

// A Dir is the directory itself: renaming its path changes nothing for it. A
// File acts only while its name still names it; drives are file systems of
// their own; a hold excludes every other Dir until it is dropped; leftovers
// go unless a live transfer holds them; another program's open ends held().
TEST(FakeHandles, ActOnTheObjectOpenedNeverOnItsName) {
  FakeFileSystem fs;
  fs.add_drive('D', 1 << 20, 1 << 20);
  fs.add_file("C:\\IN\\A.TXT", "old");
  fs.add_file("C:\\IN\\.~qvP1", "left by a crash");
  Error err = Error::kNone;
  auto in = fs.open_dir(Text("C:\\IN"), err);
  auto d = fs.open_dir(Text("D:\\"), err);
  ASSERT_TRUE(in && d);
  auto src = in->open_source(Text("A.TXT"), err);
  ASSERT_TRUE(src);
  EXPECT_EQ(in->open_read(Text("A.TXT"), err), nullptr);
  EXPECT_EQ(err, Error::kLocked);
  EXPECT_EQ(src->move_to(*d, Text("A.TXT"), false), Error::kCrossDevice);
  fs.move_by_other("C:\\IN", "C:\\MOVED");
  fs.add_file("C:\\IN\\A.TXT", "other");
  FileInfo info;
  EXPECT_EQ(in->stat(Text("A.TXT"), info), Error::kNone);
  EXPECT_EQ(info.size, 3u) << "the handle still sees the directory it opened";
  EXPECT_TRUE(src->held());
  fs.touch_by_other("C:\\MOVED\\A.TXT");
  EXPECT_FALSE(src->held());
  fs.add_file("C:\\MOVED\\A.TXT", "renamed over");
  EXPECT_EQ(src->move_to(*in, Text("B.TXT"), false), Error::kChanged);
  EXPECT_EQ(src->remove(), Error::kChanged);
  EXPECT_EQ(fs.content("C:\\MOVED\\A.TXT"), "renamed over");

  Text hold_name;
  auto hold = in->make_hold_dir(hold_name, err);
  ASSERT_TRUE(hold);
  auto again = in->open_dir(hold_name, err);
  EXPECT_FALSE(again->hold());
  hold.reset();
  EXPECT_TRUE(again->hold());
  auto live = in->create_temp(err);
  in->remove_leftovers();
  EXPECT_EQ(fs.list("C:\\MOVED").size(), 3u);  // A.TXT, the live file in flight, the hold dir
  EXPECT_FALSE(fs.exists("C:\\MOVED\\.~qvP1"));
}

}  // namespace
}  // namespace qv::fake
