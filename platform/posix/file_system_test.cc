// The POSIX file system on real files in a temporary directory: what a
// search yields, what is never followed, names, attributes, times, renames,
// exclusive opens and drive queries.
#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
    fs_ = make_real_file_system();
  }
  void TearDown() override {
    std::string cmd = "rm -rf '" + root_ + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  std::string at(const std::string& rel) const { return root_ + "/" + rel; }
  Text path(const std::string& rel) const { return Text(at(rel)); }
  void write_file(const std::string& rel, const std::string& content) {
    int fd = ::open(at(rel).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    ::close(fd);
  }
  std::string read_all(const Text& p) {
    Error err;
    auto f = fs_->open_read(p, err);
    if (!f) return "<" + std::string(error_name(err)) + ">";
    std::string out;
    char buf[64];
    for (int64_t n; (n = f->read(buf, sizeof buf)) > 0;) out.append(buf, n);
    return out;
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
  std::unique_ptr<FileSystem> fs_;
};

TEST_F(PosixFsTest, ListingYieldsOnlyRegularFilesAndDirectoriesWithTheirAttributes) {
  write_file("plain.txt", "abc");
  write_file(".hidden", "");
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
    EXPECT_EQ(info.attributes, c.attributes) << c.name;
    EXPECT_EQ(info.size, c.size) << c.name;
  }
}

TEST_F(PosixFsTest, LinksFifosAndDirectoriesAreNeverOpenedAsFiles) {
  write_file("target", "secret");
  ASSERT_EQ(::symlink("target", at("link").c_str()), 0);
  ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0644), 0);  // opening it must not block
  ASSERT_EQ(::mkdir(at("dir").c_str(), 0755), 0);
  struct Case {
    const char* name;
    Error expected;
  } cases[] = {
      {"link", Error::kNotRegular}, {"fifo", Error::kNotRegular}, {"dir", Error::kIsDirectory}};
  for (const Case& c : cases) {
    Error err = Error::kNone;
    EXPECT_EQ(fs_->open_read(path(c.name), err), nullptr) << c.name;
    EXPECT_EQ(err, c.expected) << c.name;
    err = Error::kNone;
    EXPECT_EQ(fs_->open_exclusive(path(c.name), err), nullptr) << c.name;
    EXPECT_EQ(err, c.expected) << c.name;
  }
  FileInfo info;
  EXPECT_EQ(fs_->stat(path("link"), info), Error::kNotRegular);
  EXPECT_EQ(fs_->stat(path("fifo"), info), Error::kNotRegular);
  ASSERT_EQ(::symlink("dir", at("dirlink").c_str()), 0);
  Error err = Error::kNone;
  EXPECT_EQ(fs_->open_dir(path("dirlink"), err), nullptr);
  EXPECT_EQ(err, Error::kNotRegular);
}

TEST_F(PosixFsTest, CreateNewNeverFollowsOrReplaces) {
  write_file("taken", "old");
  ASSERT_EQ(::symlink(at("outside").c_str(), at("dangling").c_str()), 0);
  for (const char* name : {"taken", "dangling"}) {
    Error err = Error::kNone;
    EXPECT_EQ(fs_->create_new(path(name), err), nullptr) << name;
    EXPECT_EQ(err, Error::kExists) << name;
  }
  EXPECT_EQ(read_all(path("taken")), "old");
  EXPECT_NE(::access(at("outside").c_str(), F_OK), 0) << "the link was followed";
}

TEST_F(PosixFsTest, BackslashesSeparateAndCyrillicNamesAreUtf8OnDisk) {
  std::string oem;
  ASSERT_TRUE(utf8_to_cp866(root_ + "\\Отчёты", oem));
  ASSERT_EQ(fs_->make_dir(Text(oem)), Error::kNone);
  ASSERT_TRUE(utf8_to_cp866(root_ + "\\Отчёты\\файл.txt", oem));
  Error err;
  auto f = fs_->create_new(Text(oem), err);
  ASSERT_NE(f, nullptr) << error_name(err);
  EXPECT_EQ(f->write("data", 4), 4);
  EXPECT_EQ(f->flush(), Error::kNone);
  EXPECT_EQ(f->close(), Error::kNone);
  EXPECT_EQ(::access(at("Отчёты/файл.txt").c_str(), F_OK), 0);
  // UTF-8 bytes taken for CP866 name another file.
  EXPECT_EQ(read_all(path("Отчёты/файл.txt")), "<not found>");
  EXPECT_EQ(read_all(Text(oem)), "data");
  ASSERT_TRUE(utf8_to_cp866(root_ + "/Отчёты/", oem));
  EXPECT_EQ(listing(Text(oem)), std::set<std::string>{"файл.txt"});
}

TEST_F(PosixFsTest, NamesCp866CannotHoldAreNotYielded) {
  write_file("日本.txt", "x");
  write_file("ok.txt", "y");
  EXPECT_EQ(listing(Text(root_)), std::set<std::string>{"ok.txt"});
}

TEST_F(PosixFsTest, ReadOnlyIsTheOwnerWriteBitAndCopyCarriesPermissions) {
  write_file("a", "1");
  write_file("b", "2");
  ASSERT_EQ(::chmod(at("a").c_str(), 0640), 0);
  ASSERT_EQ(fs_->set_attributes(path("a"), kAttrReadOnly | kAttrSystem), Error::kNone);
  struct stat st;
  ASSERT_EQ(::stat(at("a").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0440u);
  FileInfo info;
  ASSERT_EQ(fs_->stat(path("a"), info), Error::kNone);
  EXPECT_EQ(info.attributes, kAttrReadOnly | kAttrArchive) << "system is never set";

  ASSERT_EQ(fs_->copy_attributes(path("a"), path("b")), Error::kNone);
  ASSERT_EQ(::stat(at("b").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0440u);

  ASSERT_EQ(fs_->set_attributes(path("a"), kAttrArchive), Error::kNone);
  ASSERT_EQ(::stat(at("a").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(PosixFsTest, ModificationTimeIsCarriedToTheNanosecond) {
  write_file("f", "");
  for (int64_t t : {int64_t{1'700'000'000'123'456'789}, int64_t{86'400'000'000'001}}) {
    ASSERT_EQ(fs_->set_mtime(path("f"), t), Error::kNone);
    FileInfo info;
    ASSERT_EQ(fs_->stat(path("f"), info), Error::kNone);
    EXPECT_EQ(info.mtime_ns, t);
  }
}

TEST_F(PosixFsTest, RenameReplacesOnlyWhenAsked) {
  write_file("new", "new");
  write_file("old", "old");
  EXPECT_EQ(fs_->rename(path("new"), path("old"), false), Error::kExists);
  EXPECT_EQ(read_all(path("new")), "new");
  EXPECT_EQ(read_all(path("old")), "old");
  EXPECT_EQ(fs_->rename(path("new"), path("old"), true), Error::kNone);
  EXPECT_EQ(read_all(path("old")), "new");
  EXPECT_EQ(read_all(path("new")), "<not found>");
  EXPECT_EQ(fs_->rename(path("old"), path("fresh"), false), Error::kNone);
  EXPECT_EQ(read_all(path("fresh")), "new");
  EXPECT_EQ(fs_->rename(path("missing"), path("x"), false), Error::kNotFound);
}

TEST_F(PosixFsTest, RemoveRefusesDirectoriesAndReportsMissingFiles) {
  ASSERT_EQ(::mkdir(at("d").c_str(), 0755), 0);
  EXPECT_EQ(fs_->remove(path("d")), Error::kIsDirectory);
  EXPECT_EQ(fs_->remove(path("none")), Error::kNotFound);
  EXPECT_EQ(fs_->remove(Text(std::string_view("a\0b", 3))), Error::kNotFound);
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
  auto again = fs_->open_exclusive(path("busy"), err);
  EXPECT_NE(again, nullptr) << "the lease outlived close: " << error_name(err);
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
    if (c.status == DriveSpace::kOk) {
      EXPECT_GT(space.total, 0u) << c.path;
      EXPECT_LE(space.free, space.total) << c.path;
    }
  }
}

TEST(PosixErrors, ErrnoMapsOntoThePortableErrors) {
  struct Case {
    int err;
    Error expected;
  } cases[] = {{0, Error::kNone},
               {ENOENT, Error::kNotFound},
               {EACCES, Error::kAccessDenied},
               {EROFS, Error::kAccessDenied},
               {EAGAIN, Error::kLocked},
               {EEXIST, Error::kExists},
               {ENOSPC, Error::kNoSpace},
               {EDQUOT, Error::kNoSpace},
               {ENOTDIR, Error::kNotDirectory},
               {EISDIR, Error::kIsDirectory},
               {ENAMETOOLONG, Error::kBadName},
               {ELOOP, Error::kNotRegular},
               {EIO, Error::kIo}};
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
