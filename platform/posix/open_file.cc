// An open file. It is renamed, removed, stamped and given its mode through
// its own descriptor and the descriptor of the directory it is known in,
// never through a path; each rename and removal first checks that the name
// still names this very file.
//
// A source is taken with a write lease: the kernel refuses the lease while
// another process holds the file open (kLocked), and a later opener waits
// while the lease holder is told; from then on F_GETLEASE answers F_UNLCK,
// which held() reads as "give the dispatch up". Where no lease can be had
// (neither the owner nor CAP_LEASE), a file other processes hold open as /proc
// shows is refused, and held() also watches size, mtime and ctime.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/posix_internal.h"

namespace qv::posix {

namespace {

bool same_times(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

void close_if_open(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

PosixFile::PosixFile(int fd, int dir_fd, std::string name, FileRole role)
    : fd_(fd), dir_fd_(dir_fd), name_(std::move(name)), role_(role) {}

PosixFile::~PosixFile() {
  close();
}

int64_t PosixFile::read(void* buf, int64_t n) {
  if (fd_ < 0) return -1;
  ssize_t got;
  do {
    got = ::read(fd_, buf, static_cast<size_t>(n));
  } while (got < 0 && errno == EINTR);
  return got;
}

int64_t PosixFile::write(const void* buf, int64_t n) {
  if (fd_ < 0) return -1;
  const char* p = static_cast<const char*>(buf);
  int64_t done = 0;
  while (done < n) {
    ssize_t put = ::write(fd_, p + done, static_cast<size_t>(n - done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    done += put;
  }
  return done;
}

int64_t PosixFile::copy_to(File& to, int64_t n) {
  auto* target = dynamic_cast<PosixFile*>(&to);
  if (fd_ < 0 || !target || target->fd_ < 0) return kNoSystemCopy;
  ssize_t got;
  do {
    got = ::copy_file_range(fd_, nullptr, target->fd_, nullptr, static_cast<size_t>(n), 0);
  } while (got < 0 && errno == EINTR);
  if (got >= 0) return got;
  // Not between these files (other file systems, an old kernel): the caller
  // copies through its buffer instead.
  if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)
    return kNoSystemCopy;
  return -1;
}

Error PosixFile::rewind() {
  if (fd_ < 0) return Error::kIo;
  return ::lseek(fd_, 0, SEEK_SET) == 0 ? Error::kNone : error_from_errno(errno);
}

Error PosixFile::flush() {
  if (fd_ < 0) return Error::kIo;
  return ::fsync(fd_) == 0 ? Error::kNone : error_from_errno(errno);
}

void PosixFile::start_flush() {
  if (fd_ >= 0) ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
}

namespace {

// Local file systems whose syncfs commits every file's data and metadata and
// reports a write error; on others (network, user space) each file is
// flushed whole.
bool commits_whole(int fd) {
  struct statfs fs;
  if (::fstatfs(fd, &fs) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53:      // ext2, ext3, ext4
    case 0x58465342:  // xfs
    case 0x9123683E:  // btrfs
    case 0x01021994:  // tmpfs
      return true;
    default:
      return false;
  }
}

}  // namespace

Error PosixFile::flush_data() {
  if (fd_ < 0) return Error::kIo;
  if (!commits_whole(fd_)) return flush();
  const unsigned flags =
      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
  return ::sync_file_range(fd_, 0, 0, flags) == 0 ? Error::kNone : error_from_errno(errno);
}

Error PosixFile::flush_file_system() {
  if (fd_ < 0) return Error::kIo;
  if (!commits_whole(fd_)) return Error::kNone;  // flush_data() flushed it whole
  return ::syncfs(fd_) == 0 ? Error::kNone : error_from_errno(errno);
}

Error PosixFile::info(FileInfo& out) {
  struct stat st;
  if (fd_ < 0) return Error::kIo;
  if (::fstat(fd_, &st) != 0) return error_from_errno(errno);
  out = info_from_stat(st, name_);
  return Error::kNone;
}

Error PosixFile::set_attributes(const FileInfo& like) {
  if (fd_ < 0) return Error::kIo;
  return ::fchmod(fd_, like.mode & 0777) == 0 ? Error::kNone : error_from_errno(errno);
}

Error PosixFile::set_mtime(int64_t mtime_ns) {
  if (fd_ < 0) return Error::kIo;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(mtime_ns / 1'000'000'000);
  times[1].tv_nsec = static_cast<long>(mtime_ns % 1'000'000'000);
  if (times[1].tv_nsec < 0) times[1].tv_sec -= 1, times[1].tv_nsec += 1'000'000'000;
  return ::futimens(fd_, times) == 0 ? Error::kNone : error_from_errno(errno);
}

Error PosixFile::take() {
  if (::fcntl(fd_, F_SETLEASE, F_WRLCK) == 0) {
    leased_ = true;
  } else if (errno == EAGAIN || errno == EBUSY) {
    return Error::kLocked;
  } else if (errno != EACCES && errno != EINVAL && errno != EPERM) {
    return error_from_errno(errno);
  }
  if (::fstat(fd_, &taken_) != 0) return error_from_errno(errno);
  if (!leased_ && open_elsewhere(taken_.st_dev, taken_.st_ino)) return Error::kLocked;
  return Error::kNone;
}

bool PosixFile::unchanged_since_take() {
  struct stat now;
  if (::fstat(fd_, &now) != 0) return false;
  if (now.st_size != taken_.st_size || !same_times(now.st_mtim, taken_.st_mtim)) return false;
  return leased_ || same_times(now.st_ctim, taken_.st_ctim);
}

bool PosixFile::held() {
  if (role_ != FileRole::kSource) return true;
  if (fd_ < 0 || !unchanged_since_take()) return false;
  if (leased_) return ::fcntl(fd_, F_GETLEASE) == F_WRLCK;
  return !open_elsewhere(taken_.st_dev, taken_.st_ino);
}

Error PosixFile::check_named(int dir_fd, const std::string& name) {
  struct stat me, entry;
  if (fd_ < 0 || ::fstat(fd_, &me) != 0) return Error::kIo;
  if (::fstatat(dir_fd, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0)
    return error_from_errno(errno);
  return same_inode(me, entry) ? Error::kNone : Error::kChanged;
}

Error PosixFile::rename_checked(int to_fd, const std::string& to, bool replace) {
  if (fd_ < 0 || dir_fd_ < 0 || name_.empty()) return fd_ < 0 ? Error::kIo : Error::kNotFound;
  if (Error e = check_named(dir_fd_, name_); e != Error::kNone) return e;
  int new_dir = ::fcntl(to_fd, F_DUPFD_CLOEXEC, 0);
  if (new_dir < 0) return error_from_errno(errno);
  Error e = rename_entry(dir_fd_, name_, to_fd, to, replace);
  if (e == Error::kNone && check_named(to_fd, to) != Error::kNone) {
    // Another file took the old name between the check and the rename, and
    // that file was moved: it goes back where it was, untouched.
    rename_entry(to_fd, to, dir_fd_, name_, false);
    e = Error::kChanged;
  }
  if (e != Error::kNone) {
    ::close(new_dir);
    return e;
  }
  ::close(dir_fd_);
  dir_fd_ = new_dir;
  name_ = to;
  return Error::kNone;
}

Error PosixFile::move_to(Dir& to, const Text& name, bool replace) {
  std::string n;
  if (Error e = native_name(name, n); e != Error::kNone) return e;
  int to_fd = dir_fd_of(to);
  if (to_fd < 0) return Error::kIo;
  if (role_ == FileRole::kTemp && !published_) return Error::kNotFound;
  Error e = rename_checked(to_fd, n, replace);
  // A rename changes the ctime; what held() compares is the file's own
  // state after it.
  if (e == Error::kNone && role_ == FileRole::kSource && !leased_) {
    struct stat now;
    if (::fstat(fd_, &now) == 0) taken_.st_ctim = now.st_ctim;
  }
  return e;
}

Error PosixFile::remove() {
  if (fd_ < 0) return Error::kIo;
  if (name_.empty()) return Error::kNone;  // a file in flight with no name is gone at close
  if (Error e = check_named(dir_fd_, name_); e != Error::kNone) return e;
  if (::unlinkat(dir_fd_, name_.c_str(), 0) != 0) return error_from_errno(errno);
  name_.clear();
  return Error::kNone;
}

bool PosixFile::lock_in_flight() {
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) return false;
  return name_.empty() || check_named(dir_fd_, name_) == Error::kNone;
}

bool PosixFile::in_flight_in(int dir_fd) const {
  struct stat mine, theirs;
  return role_ == FileRole::kTemp && !published_ && fd_ >= 0 && dir_fd_ >= 0 &&
         ::fstat(dir_fd_, &mine) == 0 && ::fstat(dir_fd, &theirs) == 0 && same_inode(mine, theirs);
}

Error PosixFile::link_unnamed(const std::string& name) {
  std::string proc = "/proc/self/fd/" + std::to_string(fd_);
  if (::linkat(AT_FDCWD, proc.c_str(), dir_fd_, name.c_str(), AT_SYMLINK_FOLLOW) != 0)
    return error_from_errno(errno);
  name_ = name;
  return Error::kNone;
}

Error PosixFile::publish(const std::string& name, bool replace) {
  Error e = Error::kNone;
  if (name_.empty() && !replace) {
    e = link_unnamed(name);  // a link never replaces: EEXIST
  } else {
    if (name_.empty()) {
      // A replace is a rename, which needs a name to rename from.
      std::string prefix = std::string(kPartialPrefix) + "P";
      int attempts = 16;
      do {
        e = link_unnamed(fresh_name(prefix));
      } while (e == Error::kExists && --attempts > 0);
    }
    if (e == Error::kNone) e = rename_checked(dir_fd_, name, replace);
  }
  if (e == Error::kNone) published_ = true;
  return e;
}

void PosixFile::drop_unpublished() {
  if (role_ != FileRole::kTemp || published_ || name_.empty() || dir_fd_ < 0) return;
  if (check_named(dir_fd_, name_) == Error::kNone) ::unlinkat(dir_fd_, name_.c_str(), 0);
  name_.clear();
}

Error PosixFile::close() {
  if (fd_ < 0) return Error::kIo;
  drop_unpublished();
  if (leased_) ::fcntl(fd_, F_SETLEASE, F_UNLCK);
  leased_ = false;
  int rc = ::close(fd_);
  int saved = errno;
  fd_ = -1;
  close_if_open(dir_fd_);
  return rc == 0 ? Error::kNone : error_from_errno(saved);
}

}  // namespace qv::posix
