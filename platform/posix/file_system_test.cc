// What only the POSIX file system has to get right, on real files in a
// temporary directory: links on operator paths, links, FIFOs and sockets
// inside directories, leases and the check made without one, leftovers in
// flight, and names between CP866 and UTF-8. The cases every backend shares
// are in tests/backend_contract_test.cc.
#ifndef _WIN32

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>

#include "gtest/gtest.h"
#include "platform/backend.h"
#include "platform/cp866.h"
#include "platform/posix/posix_internal.h"

namespace qv::posix {
namespace {

using Names = std::set<std::string>;

class PosixFsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qvfs-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root_ = tmpl;
  }
  void TearDown() override { ASSERT_EQ(std::system(("rm -rf '" + root_ + "'").c_str()), 0); }
  std::string at(const std::string& rel) const { return root_ + "/" + rel; }
  void write_file(const std::string& rel, const std::string& content) {
    ASSERT_TRUE(std::ofstream(at(rel), std::ios::binary) << content) << rel;
  }
  std::string read_file(const std::string& rel) {
    std::ifstream in(at(rel), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::unique_ptr<Dir> open(const std::string& rel) {
    Error err = Error::kIo;
    auto dir = fs_->open_dir(Text(at(rel)), err);
    EXPECT_TRUE(dir) << rel << ": " << error_name(err);
    return dir;
  }
  static Names listing(Dir& dir) {
    Error err;
    Names names;
    auto reader = dir.list(err);
    for (RawEntry e; reader && reader->next(e);) names.insert(cp866_to_utf8(e.name.view()));
    return names;
  }

  std::string root_;
  std::unique_ptr<FileSystem> fs_ = make_real_file_system();
};

// Links of root or of this account are followed; one planted by another
// account (a uid no account runs as) is refused, when that account differs.
TEST_F(PosixFsTest, OperatorPathsFollowOnlyLinksOfRootOrThisAccount) {
  const Error foreign = ::geteuid() == 0 ? Error::kUnsafeLink : Error::kNone;
  ASSERT_EQ(::mkdir(at("real").c_str(), 0755), 0);
  write_file("real/f.txt", "content");
  const std::pair<const char*, std::string> links[] = {
      {"own_dir", "real"},     {"own_file", "real/f.txt"},
      {"chain", "own_dir"},    {"absolute", at("real")},
      {"up", "real/.."},       {"loop", "loop"},
      {"foreign_dir", "real"}, {"foreign_file", "real/f.txt"}};
  for (const auto& [name, target] : links) {
    ASSERT_EQ(::symlink(target.c_str(), at(name).c_str()), 0);
    const bool planted = std::string(name).starts_with("foreign") && ::geteuid() == 0;
    ASSERT_TRUE(!planted || ::lchown(at(name).c_str(), 54321, 54321) == 0);
  }
  const std::pair<std::string, Error> cases[] = {
      {"own_dir", Error::kNone},        {"own_dir/f.txt", Error::kNone},
      {"own_file", Error::kNone},       {"chain\\f.txt", Error::kNone},
      {"absolute/f.txt", Error::kNone}, {"up/real/f.txt", Error::kNone},
      {"loop", Error::kNotRegular},     {"real/f.txt/x", Error::kNotDirectory},
      {"foreign_dir", foreign},         {"foreign_dir/f.txt", foreign},
      {"foreign_file", foreign}};
  for (const auto& [path, want] : cases) {
    SCOPED_TRACE(path);
    FileInfo info;
    EXPECT_EQ(fs_->stat(Text(at(path)), info), want);
    const bool is_dir = want == Error::kNone && (info.attributes & kAttrDirectory);
    Error dir_err = Error::kIo, file_err = Error::kIo;
    auto dir = fs_->open_dir(Text(at(path)), dir_err);
    auto file = fs_->open_read(Text(at(path)), file_err);
    EXPECT_EQ(is_dir ? dir_err : file_err, want);
    EXPECT_EQ(bool(dir), is_dir);
    EXPECT_EQ(bool(file), want == Error::kNone && !is_dir);
    EXPECT_TRUE(!dir || listing(*dir) == Names{"f.txt"}) << "another directory opened";
  }
}

TEST_F(PosixFsTest, InsideADirectoryOnlyRegularFilesAndDirectoriesExist) {
  write_file("target", "secret");
  write_file("日本.txt", "x");  // no CP866 name: never listed
  ASSERT_EQ(::mkdir(at("sub").c_str(), 0755), 0);
  ASSERT_EQ(::symlink("target", at("link").c_str()), 0);
  ASSERT_EQ(::symlink("sub", at("dirlink").c_str()), 0);
  ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0644), 0);  // opening it must not block
  ASSERT_EQ(::mknod(at("sock").c_str(), S_IFSOCK | 0644, 0), 0);
  auto dir = open("");
  EXPECT_EQ(listing(*dir), (Names{"target", "sub"}));
  for (const char* name : {"link", "dirlink", "fifo", "sock"}) {
    Error errs[3] = {Error::kNone, Error::kNone, Error::kNone};
    FileInfo info;
    EXPECT_FALSE(dir->open_read(name, errs[0]) || dir->open_source(name, errs[1]) ||
                 dir->open_dir(name, errs[2]));
    EXPECT_EQ(dir->stat(name, info), Error::kNotRegular) << name;
    for (Error e : errs) EXPECT_EQ(e, Error::kNotRegular) << name;
  }
}

// True when this machine grants write leases on files in `dir`.
bool leases_work(const std::string& dir) {
  const std::string probe = dir + "/lease-probe";
  int fd = ::open(probe.c_str(), O_CREAT | O_RDWR, 0644);
  bool ok = fd >= 0 && ::fcntl(fd, F_SETLEASE, F_WRLCK) == 0;
  ::close(fd);
  ::unlink(probe.c_str());
  return ok;
}

TEST_F(PosixFsTest, ALeasedSourceIsNoLongerHeldOnceAnotherProcessAsksToWrite) {
  if (!leases_work(root_)) GTEST_SKIP() << "no write leases here";
  write_file("src", "payload");
  auto dir = open("");
  Error err = Error::kNone;
  auto src = dir->open_source("src", err);
  ASSERT_TRUE(src) << error_name(err);
  EXPECT_TRUE(src->held());
  pid_t writer = ::fork();
  if (writer == 0) {  // waits on the lease, then appends
    int fd = ::open(at("src").c_str(), O_WRONLY | O_APPEND);
    _exit(fd >= 0 && ::write(fd, "+late", 5) == 5 ? 0 : 1);
  }
  bool seen = false;
  for (int i = 0; i < 1000 && !(seen = !src->held()); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(seen) << "the pending open went unnoticed";
  EXPECT_EQ(src->close(), Error::kNone);
  int status = -1;
  ASSERT_EQ(::waitpid(writer, &status, 0), writer);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(read_file("src"), "payload+late");
}

// A process that holds `path` open until `release` (returned) is closed.
pid_t hold_open(const std::string& path, int& release) {
  int ready[2], done[2];
  if (::pipe(ready) != 0 || ::pipe(done) != 0) return -1;
  pid_t pid = ::fork();
  char c = 'n';
  if (pid == 0) {
    ::close(done[1]);  // so that the close of `release` ends the read below
    c = ::open(path.c_str(), O_RDONLY) >= 0 ? 'y' : 'n';
    (void)!::write(ready[1], &c, 1);
    (void)!::read(done[0], &c, 1);
    _exit(0);
  }
  (void)!::read(ready[0], &c, 1);
  ::close(ready[0]), ::close(ready[1]), ::close(done[0]);
  release = done[1];
  return c == 'y' ? pid : -1;
}

bool end_hold(pid_t pid, int release) {
  ::close(release);
  return ::waitpid(pid, nullptr, 0) == pid;
}

// Root's file in nobody's directory: nobody may move it but not lease it, so
// it checks /proc for holders and size, mtime and ctime for changes.
TEST_F(PosixFsTest, WithoutALeaseAFileHeldOpenElsewhereIsRefused) {
  const passwd* pw = ::getpwnam("nobody");
  if (::geteuid() != 0 || pw == nullptr) GTEST_SKIP() << "needs root and the account nobody";
  ASSERT_EQ(::mkdir(at("in").c_str(), 0755), 0);
  ASSERT_EQ(::chown(at("in").c_str(), pw->pw_uid, pw->pw_gid), 0);
  ASSERT_EQ(::chmod(root_.c_str(), 0755), 0);
  write_file("in/f", "data");
  ASSERT_EQ(::chmod(at("in/f").c_str(), 0666), 0);
  pid_t child = ::fork();
  if (child == 0) {  // exits with the number of the first step that failed
    if (::setgroups(0, nullptr) != 0 || ::setresgid(pw->pw_gid, pw->pw_gid, pw->pw_gid) != 0 ||
        ::setresuid(pw->pw_uid, pw->pw_uid, pw->pw_uid) != 0)
      _exit(100);
    ::prctl(PR_SET_DUMPABLE, 1);  // as after an exec: its own /proc entries are its own
    Error err = Error::kIo;
    auto dir = make_real_file_system()->open_dir(Text(at("in")), err);
    int release = -1;
    pid_t holder = hold_open(at("in/f"), release);
    if (!dir || holder < 0) _exit(1);
    bool refused = !dir->open_source("f", err) && err == Error::kLocked;
    if (!end_hold(holder, release) || !refused) _exit(2);
    auto src = dir->open_source("f", err);
    if (!src || !src->held() || (holder = hold_open(at("in/f"), release)) < 0) _exit(3);
    bool seen = !src->held();
    if (!end_hold(holder, release) || !seen || !src->held()) _exit(4);
    if (src->move_to(*dir, "g", false) != Error::kNone || !src->held()) _exit(5);
    std::ofstream(at("in/g"), std::ios::app) << "+";  // a change by size, mtime and ctime
    _exit(src->held() ? 6 : 0);
  }
  int status = -1;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "step " << WEXITSTATUS(status);
}

// Leftovers go only when no transfer holds them (flock) and only as files;
// a live named file in flight stays, is published once and never replaces.
TEST_F(PosixFsTest, LeftoversGoOnlyWhenNoTransferHoldsThem) {
  for (const char* name : {".~qvPfree", ".~qvPheld", "keep.txt", "victim"}) write_file(name, "x");
  ASSERT_EQ(::symlink("victim", at(".~qvPlink").c_str()), 0);
  ASSERT_EQ(::mkdir(at(".~qvPdir").c_str(), 0755), 0);
  int held = ::open(at(".~qvPheld").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  auto dir = open("");
  Error err = Error::kIo;
  auto named = static_cast<PosixDir&>(*dir).create_named_temp(err);
  ASSERT_TRUE(named) << error_name(err);
  ASSERT_EQ(named->write("new", 3), 3);
  dir->remove_leftovers();
  ::close(held);
  struct stat st;
  EXPECT_EQ(::lstat(at(".~qvPlink").c_str(), &st), 0) << "a link is no leftover";
  EXPECT_EQ(dir->publish(*named, "keep.txt", false), Error::kExists);
  EXPECT_EQ(read_file("keep.txt"), "x");
  ASSERT_EQ(dir->publish(*named, "fresh", false), Error::kNone);
  static_cast<PosixDir&>(*dir).create_named_temp(err).reset();
  EXPECT_EQ(listing(*dir), (Names{".~qvPdir", ".~qvPheld", "fresh", "keep.txt", "victim"}));
}

}  // namespace
}  // namespace qv::posix

#endif  // _WIN32
