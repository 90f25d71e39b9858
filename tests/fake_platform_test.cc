// Fault injection of the fake file system: the countdown, once or for good,
// by path, and the short write a faulted write leaves behind. The rest of the
// fake is exercised by every other test.
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
}

TEST(FakeFaults, AFaultedWriteIsShortAndTheNextIsWhole) {
  FakeFileSystem fs;
  fs.fail(FsOp::kWrite, 2, Error::kNoSpace);
  Error err = Error::kIo;
  auto f = fs.create_new(Text("C:\\T.BIN"), err);
  ASSERT_TRUE(f) << error_name(err);
  EXPECT_EQ((std::vector{f->write("abcd", 4), f->write("efgh", 4), f->write("ij", 2)}),
            (std::vector<int64_t>{4, 2, 2}));
  EXPECT_EQ(f->close(), Error::kNone);
  EXPECT_EQ(fs.content("C:\\T.BIN"), "abcdefij");
}

}  // namespace
}  // namespace qv::fake
