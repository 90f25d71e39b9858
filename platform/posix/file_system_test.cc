// What only the POSIX file system has to get right, on real files in a
// temporary directory: links and FIFOs are never yielded, opened or followed,
// a file another process holds open is refused, and names cross between CP866
// and UTF-8. The cases every backend shares are in tests/backend_contract_test.cc.
#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

#include "gtest/gtest.h"
#include "platform/backend.h"
#include "platform/cp866.h"

namespace qv::posix {
namespace {

class PosixFsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qvfs-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root_ = tmpl;
  }
  void TearDown() override { ASSERT_EQ(std::system(("rm -rf '" + root_ + "'").c_str()), 0); }
  std::string at(const std::string& rel) const { return root_ + "/" + rel; }
  Text path(const std::string& rel) const { return Text(at(rel)); }
  void write_file(const std::string& rel, const std::string& content) {
    ASSERT_TRUE(std::ofstream(at(rel), std::ios::binary) << content) << rel;
  }
  std::set<std::string> listing(const Text& dir) {
    Error err;
    std::set<std::string> names;
    auto reader = fs_->open_dir(dir, err);
    EXPECT_NE(reader, nullptr) << error_name(err);
    for (RawEntry e; reader && reader->next(e);) names.insert(cp866_to_utf8(e.name.view()));
    return names;
  }

  std::string root_;
  std::unique_ptr<FileSystem> fs_ = make_real_file_system();
};

TEST_F(PosixFsTest, LinksAndFifosAreNeverListedOpenedFollowedOrReplaced) {
  write_file("target", "secret");
  write_file(".hidden", "");
  write_file("日本.txt", "x");  // no CP866 name: never listed
  ASSERT_EQ(::mkdir(at("dir").c_str(), 0755), 0);
  ASSERT_EQ(::symlink("target", at("link").c_str()), 0);
  ASSERT_EQ(::symlink("dir", at("dirlink").c_str()), 0);
  ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0644), 0);  // opening it must not block
  ASSERT_EQ(::symlink(at("outside").c_str(), at("dangling").c_str()), 0);
  EXPECT_EQ(listing(Text(root_)), (std::set<std::string>{"target", ".hidden", "dir"}));
  FileInfo info;
  for (auto [name, want] : {std::pair{"link", Error::kNotRegular},
                            {"fifo", Error::kNotRegular},
                            {"dir", Error::kIsDirectory}}) {
    SCOPED_TRACE(name);
    Error read_err = Error::kNone, excl_err = Error::kNone;
    EXPECT_EQ(fs_->open_read(path(name), read_err), nullptr);
    EXPECT_EQ(fs_->open_exclusive(path(name), excl_err), nullptr);
    EXPECT_EQ(std::pair(read_err, excl_err), std::pair(want, want));
    EXPECT_EQ(fs_->stat(path(name), info), want == Error::kNotRegular ? want : Error::kNone);
  }
  Error err = Error::kNone;
  EXPECT_EQ(fs_->open_dir(path("dirlink"), err), nullptr);
  EXPECT_EQ(err, Error::kNotRegular);
  EXPECT_EQ(fs_->create_new(path("dangling"), err), nullptr);
  EXPECT_EQ(err, Error::kExists);
  EXPECT_NE(::access(at("outside").c_str(), F_OK), 0) << "the link was followed";
}

TEST_F(PosixFsTest, BackslashesSeparateAndCyrillicNamesAreUtf8OnDisk) {
  const std::string dir = root_ + std::string("\\Отчёты"_oem);
  ASSERT_EQ(fs_->make_dir(Text(dir)), Error::kNone);
  Error err;
  auto f = fs_->create_new(Text(dir + std::string("\\файл.txt"_oem)), err);
  ASSERT_NE(f, nullptr) << error_name(err);
  EXPECT_EQ(f->write("data", 4), 4);
  EXPECT_EQ(f->close(), Error::kNone);
  EXPECT_EQ(::access(at("Отчёты/файл.txt").c_str(), F_OK), 0);
  EXPECT_EQ(fs_->open_read(path("Отчёты/файл.txt"), err), nullptr);  // UTF-8 taken for CP866
  EXPECT_EQ(listing(Text(dir + "/")), std::set<std::string>{"файл.txt"});
}

// True when this machine grants write leases on files in `dir`.
bool leases_work(const std::string& dir) {
  std::string probe = dir + "/lease-probe";
  int fd = ::open(probe.c_str(), O_CREAT | O_RDWR, 0644);
  bool ok = fd >= 0 && ::fcntl(fd, F_SETLEASE, F_WRLCK) == 0;
  if (ok) ::fcntl(fd, F_SETLEASE, F_UNLCK);
  if (fd >= 0) ::close(fd);
  ::unlink(probe.c_str());
  return ok;
}

TEST_F(PosixFsTest, ExclusiveOpenIsRefusedWhileAnotherHolderHasTheFileOpen) {
  if (!leases_work(root_)) GTEST_SKIP() << "no write leases here; the stability check applies";
  write_file("busy", "payload");
  int other = ::open(at("busy").c_str(), O_RDONLY);
  ASSERT_GE(other, 0);
  Error err = Error::kNone;
  EXPECT_EQ(fs_->open_exclusive(path("busy"), err), nullptr);
  EXPECT_EQ(err, Error::kLocked);
  ::close(other);
  auto f = fs_->open_exclusive(path("busy"), err);
  ASSERT_NE(f, nullptr) << error_name(err);
  char buf[16];
  EXPECT_EQ(f->read(buf, sizeof buf), 7);
  EXPECT_EQ(f->close(), Error::kNone);
  EXPECT_NE(fs_->open_exclusive(path("busy"), err), nullptr) << "the lease outlived close";
}

}  // namespace
}  // namespace qv::posix

#endif  // _WIN32
