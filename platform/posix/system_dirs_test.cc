// The directories the POSIX system names (the program's own, the start
// directory) are reached whatever their names hold, and the external
// program runs by its path as the operator wrote it.
#ifndef _WIN32

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>

#include "gtest/gtest.h"
#include "platform/backend.h"
#include "platform/cp866.h"
#include "platform/posix/posix_internal.h"
#include "platform/posix/system_posix.h"

namespace qv::posix {
namespace {

class SystemDirsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qvdirs-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root_ = tmpl;
  }
  void TearDown() override { ASSERT_EQ(std::system(("rm -rf '" + root_ + "'").c_str()), 0); }
  void write_file(const std::string& path, const std::string& content, mode_t mode) {
    ASSERT_TRUE(std::ofstream(path, std::ios::binary) << content) << path;
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
  }

  std::string root_;
};

// é and 日本 have no place in CP866, nor has a byte that is no UTF-8: the
// shown text holds '?' for each, and every path under it reaches the
// directory; a name that only begins like it is another name.
TEST_F(SystemDirsTest, DirectoryNamedBeyondCp866IsShownWithMarksAndReached) {
  const std::string native = root_ + "/josé-日本\xff";
  ASSERT_EQ(::mkdir(native.c_str(), 0755), 0);
  const std::string shown = record_system_dir(native);
  EXPECT_EQ(shown, root_ + "/jos?-???");
  auto fs = make_real_file_system();
  Error err = Error::kNone;
  auto file = fs->create_new(Text(shown + "\\a.txt"), err);
  ASSERT_NE(file, nullptr) << error_name(err);
  ASSERT_EQ(file->close(), Error::kNone);
  EXPECT_EQ(fs->make_dir(Text(shown + "/sub/")), Error::kNone);
  EXPECT_EQ(::access((native + "/a.txt").c_str(), F_OK), 0);
  EXPECT_EQ(::access((native + "/sub").c_str(), F_OK), 0);
  FileInfo info;
  EXPECT_EQ(fs->stat(Text(shown), info), Error::kNone);
  EXPECT_EQ(fs->stat(Text(shown + "x\\a.txt"), info), Error::kNotFound);
  // A name CP866 holds is shown as it is, with nothing recorded for it.
  ASSERT_EQ(::mkdir((root_ + "/Отчёты").c_str(), 0755), 0);
  EXPECT_EQ(record_system_dir(root_ + "/Отчёты"), root_ + std::string("/Отчёты"_oem));
}

TEST_F(SystemDirsTest, StartDirectoryIsShownAndReachedTheSameWay) {
  const std::string native = root_ + "/début";
  ASSERT_EQ(::mkdir(native.c_str(), 0755), 0);
  write_file(native + "/in.txt", "x", 0644);
  char before[PATH_MAX];
  ASSERT_NE(::getcwd(before, sizeof before), nullptr);
  ASSERT_EQ(::chdir(native.c_str()), 0);
  PosixEnvironment env(0, nullptr);
  const Text start = env.current_directory();
  ASSERT_EQ(::chdir(before), 0);
  EXPECT_EQ(start.str(), root_ + "/d?but");
  FileInfo info;
  EXPECT_EQ(make_real_file_system()->stat(start + "\\in.txt", info), Error::kNone);
}

// The program path runs with '/' for '\' (quoted or not, in a recorded
// directory too); only a program the shell cannot run fails, whatever the
// program's own exit code.
TEST_F(SystemDirsTest, ProgramPathRunsWithSlashesAndOnlyAnUnstartableOneFails) {
  const std::string native = root_ + "/josé";
  ASSERT_EQ(::mkdir(native.c_str(), 0755), 0);
  const std::string shown = record_system_dir(native);
  const std::string marker = root_ + "/ran";
  write_file(native + "/job.sh", "#!/bin/sh\necho \"$1\" > '" + marker + "'\nexit 3\n", 0755);
  write_file(native + "/plain.sh", "#!/bin/sh\n", 0644);
  struct Case {
    std::string command;
    bool started;
    std::string ran;  // what the program wrote, "" when it never ran
  } cases[] = {
      {shown + "\\job.sh one", true, "one\n"},
      {"  \"" + shown + "\\job.sh\" two", true, "two\n"},
      {shown + "\\none.sh", false, ""},   // the shell answers 127
      {shown + "\\plain.sh", false, ""},  // and 126
  };
  PosixEnvironment env(0, nullptr);
  PosixProcess process(env);
  for (const Case& c : cases) {
    ::unlink(marker.c_str());
    EXPECT_EQ(process.run_command(Text(c.command)), c.started) << c.command;
    std::ifstream in(marker);
    std::string ran((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(ran, c.ran) << c.command;
  }
}

}  // namespace
}  // namespace qv::posix

#endif  // _WIN32
