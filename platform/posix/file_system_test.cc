// The POSIX file system on real files in a temporary directory: what a
// listing yields, what is never followed, names, permissions, exclusive
// opens and drive queries. The cases every backend shares are in
// tests/backend_contract_test.cc.
#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <set>
#include <string>

#include "gtest/gtest.h"
#include "platform/backend.h"
#include "platform/cp866.h"
#include "platform/posix/posix_internal.h"

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
    int fd = ::open(at(rel).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, content.data(), content.size()), std::ssize(content));
    ::close(fd);
  }
  std::set<std::string> listing(const Text& dir) {
    Error err;
    std::set<std::string> names;
    auto reader = fs_->open_dir(dir, err);
    EXPECT_NE(reader, nullptr) << error_name(err);
    for (RawEntry e; reader && reader->next(e);) names.insert(cp866_to_utf8(e.name.view()));
    return names;
  }
  mode_t mode_of(const std::string& rel) {
    struct stat st {};
    EXPECT_EQ(::stat(at(rel).c_str(), &st), 0) << rel;
    return st.st_mode & 0777;
  }

  std::string root_;
  std::unique_ptr<FileSystem> fs_ = make_real_file_system();
};

TEST_F(PosixFsTest, ListingYieldsOnlyRegularFilesAndDirectoriesCp866CanName) {
  write_file("plain.txt", "abc");
  write_file(".hidden", "");
  write_file("日本.txt", "x");
  ASSERT_EQ(::mkdir(at("sub").c_str(), 0755), 0);
  ASSERT_EQ(::symlink("plain.txt", at("link").c_str()), 0);
  ASSERT_EQ(::symlink("sub", at("dirlink").c_str()), 0);
  ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0644), 0);
  EXPECT_EQ(listing(Text(root_)), (std::set<std::string>{"plain.txt", ".hidden", "sub"}));
  struct Case {
    const char* name;
    uint32_t attributes;
    uint64_t size;
  } cases[] = {{"plain.txt", kAttrArchive, 3},
               {".hidden", kAttrArchive | kAttrHidden, 0},
               {"sub", kAttrDirectory, 0}};
  for (const Case& c : cases) {
    FileInfo info;
    ASSERT_EQ(fs_->stat(path(c.name), info), Error::kNone) << c.name;
    EXPECT_EQ(std::pair(info.attributes, info.size), std::pair(c.attributes, c.size)) << c.name;
  }
}

TEST_F(PosixFsTest, LinksFifosAndDirectoriesAreNeverOpenedFollowedOrReplaced) {
  write_file("target", "secret");
  ASSERT_EQ(::symlink("target", at("link").c_str()), 0);
  ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0644), 0);  // opening it must not block
  ASSERT_EQ(::mkdir(at("dir").c_str(), 0755), 0);
  ASSERT_EQ(::symlink("dir", at("dirlink").c_str()), 0);
  ASSERT_EQ(::symlink(at("outside").c_str(), at("dangling").c_str()), 0);
  for (auto [name, want] : {std::pair{"link", Error::kNotRegular},
                            {"fifo", Error::kNotRegular},
                            {"dir", Error::kIsDirectory}}) {
    SCOPED_TRACE(name);
    Error read_err = Error::kNone, excl_err = Error::kNone;
    EXPECT_EQ(fs_->open_read(path(name), read_err), nullptr);
    EXPECT_EQ(fs_->open_exclusive(path(name), excl_err), nullptr);
    EXPECT_EQ(std::pair(read_err, excl_err), std::pair(want, want));
    FileInfo info;
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
  std::string dir, file;
  ASSERT_TRUE(utf8_to_cp866(root_ + "\\Отчёты", dir));
  ASSERT_TRUE(utf8_to_cp866(root_ + "\\Отчёты\\файл.txt", file));
  ASSERT_EQ(fs_->make_dir(Text(dir)), Error::kNone);
  Error err;
  auto f = fs_->create_new(Text(file), err);
  ASSERT_NE(f, nullptr) << error_name(err);
  EXPECT_EQ(f->write("data", 4), 4);
  EXPECT_EQ(f->close(), Error::kNone);
  EXPECT_EQ(::access(at("Отчёты/файл.txt").c_str(), F_OK), 0);
  EXPECT_EQ(fs_->open_read(path("Отчёты/файл.txt"), err), nullptr);  // UTF-8 taken for CP866
  EXPECT_EQ(listing(Text(dir + "/")), std::set<std::string>{"файл.txt"});
}

TEST_F(PosixFsTest, ReadOnlyIsTheWriteBitsAndTheOtherPermissionsStay) {
  write_file("a", "1");
  write_file("b", "2");
  ASSERT_EQ(::chmod(at("a").c_str(), 0640), 0);
  ASSERT_EQ(fs_->set_attributes(path("a"), kAttrReadOnly | kAttrSystem), Error::kNone);
  ASSERT_EQ(fs_->copy_attributes(path("a"), path("b")), Error::kNone);
  EXPECT_EQ(std::pair(mode_of("a"), mode_of("b")), std::pair(mode_t{0440}, mode_t{0440}));
  FileInfo info;
  ASSERT_EQ(fs_->stat(path("a"), info), Error::kNone);
  EXPECT_EQ(info.attributes, kAttrReadOnly | kAttrArchive) << "system is never set";
  ASSERT_EQ(fs_->set_attributes(path("a"), kAttrArchive), Error::kNone);
  EXPECT_EQ(mode_of("a"), 0640u);
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

TEST_F(PosixFsTest, DriveSpaceByTheStartOfThePath) {
  struct Case {
    std::string path;
    DriveSpace::Status status;
  } cases[] = {{root_, DriveSpace::kOk},
               {root_ + "/not/yet/made", DriveSpace::kOk},
               {root_ + "\\not\\yet", DriveSpace::kOk},
               {"D:\\ARCHIVE", DriveSpace::kNotExist},
               {"z:", DriveSpace::kNotExist},
               {"ARCHIVE\\2026", DriveSpace::kIncorrectName},
               {"1:\\x", DriveSpace::kIncorrectName}};
  for (const Case& c : cases) {
    DriveSpace space = fs_->drive_space(Text(c.path));
    EXPECT_EQ(space.status, c.status) << c.path;
    EXPECT_TRUE(c.status != DriveSpace::kOk || (space.total > 0 && space.free <= space.total));
  }
}

// ENOENT and EEXIST are met in tests/backend_contract_test.cc.
TEST(PosixErrors, ErrnoMapsOntoThePortableErrors) {
  struct Case {
    int err;
    Error expected;
  } cases[] = {{EACCES, Error::kAccessDenied},  {EROFS, Error::kAccessDenied},
               {ENOSPC, Error::kNoSpace},       {EDQUOT, Error::kNoSpace},
               {ENAMETOOLONG, Error::kBadName}, {EIO, Error::kIo},
               {EAGAIN, Error::kLocked},        {ENOTDIR, Error::kNotDirectory},
               {EISDIR, Error::kIsDirectory},   {ELOOP, Error::kNotRegular}};
  for (const Case& c : cases) EXPECT_EQ(error_from_errno(c.err), c.expected) << c.err;
}

TEST(PosixPaths, NativePathsUseSlashesUtf8AndNoTrailingSeparator) {
  struct Case {
    std::string in;
    bool ok;
    std::string out;
  } cases[] = {
      {"/a\\b\\", true, "/a/b"},          {"\\", true, "/"}, {"/", true, "/"},
      {"rel/x//", true, "rel/x"},         {"", false, ""},   {std::string("/a\0b", 4), false, ""},
      {std::string(1, '\x8f'), true, "П"}};
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(native_path(Text(c.in), out), c.ok) << c.in;
    EXPECT_EQ(out, c.ok ? c.out : "") << c.in;
  }
}

}  // namespace
}  // namespace qv::posix

#endif  // _WIN32
