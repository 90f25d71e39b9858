// Directories the POSIX system names (the program's own, the start
// directory) are reached whatever their names hold.
#ifndef _WIN32

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "gtest/gtest.h"
#include "platform/backend.h"
#include "platform/cp866.h"
#include "platform/posix/posix_internal.h"

namespace qv::posix {
namespace {

// é and 日本 have no place in CP866, nor has a byte that is no UTF-8: the
// shown text holds '?' for each, and every path under it reaches the
// directory; a name that only begins like it is another name, and a name
// CP866 holds is shown as it is.
TEST(PosixSystemDirs, DirectoryNamedBeyondCp866IsShownWithMarksAndReached) {
  char tmpl[] = "/tmp/qvdirs-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const std::string root = tmpl, native = root + "/josé-日本\xff";
  ASSERT_EQ(::mkdir(native.c_str(), 0755), 0);
  const std::string shown = record_system_dir(native);
  EXPECT_EQ(shown, root + "/jos?-???");
  auto fs = make_real_file_system();
  Error err = Error::kNone;
  auto dir = fs->open_dir(Text(shown + "\\"), err);
  ASSERT_NE(dir, nullptr) << error_name(err);
  EXPECT_EQ(dir->make_dir("a"), Error::kNone);
  EXPECT_EQ(::access((native + "/a").c_str(), F_OK), 0);
  ASSERT_EQ(::mkdir((native + "/a.txt").c_str(), 0755), 0);
  FileInfo info;
  EXPECT_EQ(fs->stat(Text(shown + "/"), info), Error::kNone);
  EXPECT_EQ(fs->stat(Text(shown + "x\\a.txt"), info), Error::kNotFound);
  EXPECT_EQ(record_system_dir(root + "/Отчёты"), root + std::string("/Отчёты"_oem));
  ASSERT_EQ(std::system(("rm -rf '" + root + "'").c_str()), 0);
}

}  // namespace
}  // namespace qv::posix

#endif  // _WIN32
