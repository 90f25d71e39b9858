// The file system of a POSIX machine. Names are UTF-8 on disk and CP866
// inside; '\' and '/' both separate. Links, FIFOs, sockets and devices are
// never yielded, opened or followed.
//
// Exclusive open: the file is opened and a write lease is taken. The kernel
// refuses the lease while another process holds the file open (kLocked), and
// later openers wait until the lease is released. Where no lease can be had
// (not the owner, leases disabled) the file records its size and mtime at
// open; a read that reaches the end checks them again and fails if the file
// changed meanwhile, and File::info lets the caller compare as well.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

#include "platform/backend.h"
#include "platform/cp866.h"
#include "platform/posix/posix_internal.h"

namespace qv::posix {

Error error_from_errno(int err) {
  switch (err) {
    case 0:
      return Error::kNone;
    case ENOENT:
      return Error::kNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return Error::kAccessDenied;
    case EAGAIN:
    case EBUSY:
    case ETXTBSY:
      return Error::kLocked;
    case EEXIST:
    case ENOTEMPTY:
      return Error::kExists;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return Error::kNoSpace;
    case ENOTDIR:
      return Error::kNotDirectory;
    case EISDIR:
      return Error::kIsDirectory;
    case ENAMETOOLONG:
    case EILSEQ:
      return Error::kBadName;
    case ELOOP:
    case ENXIO:
    case ENODEV:
      return Error::kNotRegular;
    default:
      return Error::kIo;
  }
}

bool native_path(const Text& path, std::string& out) {
  out.clear();
  if (path.empty() || path.view().find('\0') != std::string_view::npos) return false;
  if (native_path_of_recorded(path, out)) return true;
  for (char ch : path.view()) {
    if (ch == '\\') ch = '/';
    append_utf8(out, cp866_to_unicode(static_cast<uint8_t>(ch)));
  }
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return true;
}

FileInfo info_from_stat(const struct stat& st, std::string_view name) {
  FileInfo info;
  if (S_ISDIR(st.st_mode)) {
    info.attributes = kAttrDirectory;
  } else {
    info.attributes = kAttrArchive;
    info.size = static_cast<uint64_t>(st.st_size);
  }
  if ((st.st_mode & S_IWUSR) == 0) info.attributes |= kAttrReadOnly;
  if (!name.empty() && name[0] == '.') info.attributes |= kAttrHidden;
  info.mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
  info.device = static_cast<uint64_t>(st.st_dev);
  info.index = static_cast<uint64_t>(st.st_ino);
  return info;
}

namespace {

bool is_ascii_letter(char c) {
  return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}

bool is_listed_kind(mode_t mode) {
  return S_ISREG(mode) || S_ISDIR(mode);
}

// The last component of a native path.
std::string_view base_name(std::string_view native) {
  std::size_t slash = native.rfind('/');
  return slash == std::string_view::npos ? native : native.substr(slash + 1);
}

// The directory part of a native path ("." when there is none).
std::string parent_of(const std::string& native) {
  std::size_t slash = native.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : native.substr(0, slash);
}

// Flushes a directory so that a rename within it survives a crash.
void sync_directory(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Opens a regular file without following a final link and without
// blocking on a FIFO; anything but a regular file is refused.
int open_regular(const std::string& native, int flags, Error& err) {
  int fd = ::open(native.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    err = error_from_errno(errno);
    return -1;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    err = S_ISDIR(st.st_mode) ? Error::kIsDirectory : Error::kNotRegular;
    ::close(fd);
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  err = Error::kNone;
  return fd;
}

class PosixFile : public File {
 public:
  PosixFile(int fd, std::string name, bool leased)
      : fd_(fd), name_(std::move(name)), leased_(leased) {
    FileInfo at_open;
    if (info(at_open) == Error::kNone) opened_ = at_open;
  }
  ~PosixFile() override { close(); }

  // Unleased exclusive opens verify at the end that the file did not change.
  void watch_stability() { watch_ = true; }

  int64_t read(void* buf, int64_t n) override {
    if (fd_ < 0) return -1;
    ssize_t got;
    do {
      got = ::read(fd_, buf, static_cast<size_t>(n));
    } while (got < 0 && errno == EINTR);
    if (got == 0 && watch_ && changed_since_open()) return -1;
    return got;
  }

  int64_t write(const void* buf, int64_t n) override {
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

  int64_t copy_to(File& to, int64_t n) override {
    auto* target = dynamic_cast<PosixFile*>(&to);
    if (fd_ < 0 || !target || target->fd_ < 0) return kNoSystemCopy;
    ssize_t got;
    do {
      got = ::copy_file_range(fd_, nullptr, target->fd_, nullptr, static_cast<size_t>(n), 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
      // Not between these files (other file systems, an old kernel): the
      // caller copies through its buffer instead.
      if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)
        return kNoSystemCopy;
      return -1;
    }
    if (got == 0 && watch_ && changed_since_open()) return -1;
    return got;
  }

  Error flush() override {
    if (fd_ < 0) return Error::kIo;
    return ::fsync(fd_) == 0 ? Error::kNone : error_from_errno(errno);
  }

  Error info(FileInfo& out) override {
    struct stat st;
    if (fd_ < 0) return Error::kIo;
    if (::fstat(fd_, &st) != 0) return error_from_errno(errno);
    out = info_from_stat(st, name_);
    return Error::kNone;
  }

  Error close() override {
    if (fd_ < 0) return Error::kIo;
    if (leased_) ::fcntl(fd_, F_SETLEASE, F_UNLCK);
    int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0 ? Error::kNone : error_from_errno(errno);
  }

 private:
  bool changed_since_open() {
    FileInfo now;
    if (info(now) != Error::kNone) return true;
    return now.size != opened_.size || now.mtime_ns != opened_.mtime_ns;
  }

  int fd_;
  std::string name_;
  bool leased_;
  bool watch_ = false;
  FileInfo opened_;
};

class PosixDirReader : public DirReader {
 public:
  explicit PosixDirReader(DIR* dir) : dir_(dir) {}
  ~PosixDirReader() override { ::closedir(dir_); }

  bool next(RawEntry& out) override {
    while (struct dirent* ent = ::readdir(dir_)) {
      std::string_view name = ent->d_name;
      if (name == "." || name == "..") continue;
      std::string oem;
      if (!utf8_to_cp866(name, oem) || oem.size() > Text::kMax) continue;
      struct stat st;
      if (::fstatat(::dirfd(dir_), ent->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (!is_listed_kind(st.st_mode)) continue;
      out.name.assign(oem);
      out.info = info_from_stat(st, name);
      return true;
    }
    return false;
  }

 private:
  DIR* dir_;
};

class PosixFileSystem : public FileSystem {
 public:
  PosixFileSystem() { ignore_lease_breaks(); }

  std::unique_ptr<DirReader> open_dir(const Text& dir, Error& err) override {
    std::string native;
    if (!native_path(dir, native)) return fail<DirReader>(err, Error::kNotFound);
    int fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return fail<DirReader>(err, why_not_a_directory(native, errno));
    DIR* d = ::fdopendir(fd);
    if (d == nullptr) {
      err = error_from_errno(errno);
      ::close(fd);
      return nullptr;
    }
    err = Error::kNone;
    return std::make_unique<PosixDirReader>(d);
  }

  Error stat(const Text& path, FileInfo& out) override {
    std::string native;
    if (!native_path(path, native)) return Error::kNotFound;
    struct stat st;
    if (::lstat(native.c_str(), &st) != 0) return error_from_errno(errno);
    if (!is_listed_kind(st.st_mode)) return Error::kNotRegular;
    out = info_from_stat(st, base_name(native));
    return Error::kNone;
  }

  std::unique_ptr<File> open_read(const Text& path, Error& err) override {
    std::string native;
    if (!native_path(path, native)) return fail<File>(err, Error::kNotFound);
    int fd = open_regular(native, O_RDONLY, err);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixFile>(fd, std::string(base_name(native)), false);
  }

  std::unique_ptr<File> open_exclusive(const Text& path, Error& err) override {
    std::string native;
    if (!native_path(path, native)) return fail<File>(err, Error::kNotFound);
    int fd = open_regular(native, O_RDWR, err);
    if (fd < 0 && err == Error::kAccessDenied) fd = open_regular(native, O_RDONLY, err);
    if (fd < 0) return nullptr;
    bool leased = ::fcntl(fd, F_SETLEASE, F_WRLCK) == 0;
    int lease_errno = errno;
    if (!leased && lease_errno != EACCES && lease_errno != EINVAL) {
      ::close(fd);
      return fail<File>(err, Error::kLocked);
    }
    auto file = std::make_unique<PosixFile>(fd, std::string(base_name(native)), leased);
    if (!leased) file->watch_stability();
    return file;
  }

  std::unique_ptr<File> create_new(const Text& path, Error& err) override {
    std::string native;
    if (!native_path(path, native)) return fail<File>(err, Error::kNotFound);
    int fd = ::open(native.c_str(), O_CREAT | O_EXCL | O_NOFOLLOW | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) return fail<File>(err, error_from_errno(errno));
    err = Error::kNone;
    return std::make_unique<PosixFile>(fd, std::string(base_name(native)), false);
  }

  Error remove(const Text& path) override {
    std::string native;
    if (!native_path(path, native)) return Error::kNotFound;
    return ::unlink(native.c_str()) == 0 ? Error::kNone : error_from_errno(errno);
  }

  Error rename(const Text& from, const Text& to, bool replace) override {
    std::string src, dst;
    if (!native_path(from, src) || !native_path(to, dst)) return Error::kNotFound;
    Error e = replace ? rename_replacing(src, dst) : rename_keeping(src, dst);
    if (e != Error::kNone) return e;
    sync_directory(parent_of(dst));
    if (parent_of(src) != parent_of(dst)) sync_directory(parent_of(src));
    return Error::kNone;
  }

  Error set_attributes(const Text& path, uint32_t attributes) override {
    std::string native;
    struct stat st;
    Error e = lstat_listed(path, native, st);
    if (e != Error::kNone) return e;
    mode_t mode = st.st_mode & 07777;
    mode = (attributes & kAttrReadOnly) ? (mode & ~S_IWUSR) : (mode | S_IWUSR);
    return change_mode(native, mode);
  }

  Error copy_attributes(const Text& from, const Text& to) override {
    std::string src, dst;
    struct stat st_src, st_dst;
    Error e = lstat_listed(from, src, st_src);
    if (e == Error::kNone) e = lstat_listed(to, dst, st_dst);
    if (e != Error::kNone) return e;
    return change_mode(dst, st_src.st_mode & 0777);
  }

  Error set_mtime(const Text& path, int64_t mtime_ns) override {
    std::string native;
    if (!native_path(path, native)) return Error::kNotFound;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(mtime_ns / 1'000'000'000);
    times[1].tv_nsec = static_cast<long>(mtime_ns % 1'000'000'000);
    if (times[1].tv_nsec < 0) times[1].tv_sec -= 1, times[1].tv_nsec += 1'000'000'000;
    if (::utimensat(AT_FDCWD, native.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
      return error_from_errno(errno);
    return Error::kNone;
  }

  Error make_dir(const Text& path) override {
    std::string native;
    if (!native_path(path, native)) return Error::kNotFound;
    return ::mkdir(native.c_str(), 0777) == 0 ? Error::kNone : error_from_errno(errno);
  }

  DriveSpace drive_space(const Text& path) override;

 private:
  template <class T>
  static std::unique_ptr<T> fail(Error& err, Error e) {
    err = e;
    return nullptr;
  }

  // A lease break is signalled with SIGIO, which would end the program.
  static void ignore_lease_breaks() {
    struct sigaction old {};
    if (::sigaction(SIGIO, nullptr, &old) == 0 && old.sa_handler == SIG_DFL)
      ::signal(SIGIO, SIG_IGN);
  }

  // A link to a directory fails to open as "not a directory"; name it.
  static Error why_not_a_directory(const std::string& native, int open_errno) {
    struct stat st;
    if (open_errno == ENOTDIR && ::lstat(native.c_str(), &st) == 0 && !is_listed_kind(st.st_mode))
      return Error::kNotRegular;
    return error_from_errno(open_errno);
  }

  static Error lstat_listed(const Text& path, std::string& native, struct stat& st) {
    if (!native_path(path, native)) return Error::kNotFound;
    if (::lstat(native.c_str(), &st) != 0) return error_from_errno(errno);
    return is_listed_kind(st.st_mode) ? Error::kNone : Error::kNotRegular;
  }

  static Error change_mode(const std::string& native, mode_t mode) {
    if (::fchmodat(AT_FDCWD, native.c_str(), mode, AT_SYMLINK_NOFOLLOW) != 0)
      return error_from_errno(errno);
    return Error::kNone;
  }

  static Error rename_replacing(const std::string& src, const std::string& dst) {
    return ::rename(src.c_str(), dst.c_str()) == 0 ? Error::kNone : error_from_errno(errno);
  }

  // Renames without ever replacing; where the file system lacks the
  // no-replace flag, a hard link (which fails on an existing name) and an
  // unlink of the old name do the same.
  static Error rename_keeping(const std::string& src, const std::string& dst) {
    if (::renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) == 0)
      return Error::kNone;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return error_from_errno(errno);
    if (::link(src.c_str(), dst.c_str()) != 0) return error_from_errno(errno);
    if (::unlink(src.c_str()) != 0) {
      int saved = errno;
      ::unlink(dst.c_str());
      return error_from_errno(saved);
    }
    return Error::kNone;
  }
};

// Statistics of the file system holding `native`, or of its nearest
// existing ancestor when the path does not exist yet.
bool statvfs_nearest(std::string native, struct statvfs& vfs) {
  for (;;) {
    if (::statvfs(native.c_str(), &vfs) == 0) return true;
    if (errno != ENOENT && errno != ENOTDIR) return false;
    if (native == "/") return false;
    native = parent_of(native);
  }
}

DriveSpace PosixFileSystem::drive_space(const Text& path) {
  DriveSpace space;
  std::string native;
  if (!native_path(path, native)) {
    space.status = DriveSpace::kIncorrectName;
  } else if (native[0] == '/') {
    struct statvfs vfs;
    if (statvfs_nearest(native, vfs)) {
      space.status = DriveSpace::kOk;
      space.free = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
      space.total = static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize;
    }
  } else if (native.size() >= 2 && native[1] == ':' && is_ascii_letter(native[0])) {
    space.status = DriveSpace::kNotExist;
  } else {
    space.status = DriveSpace::kIncorrectName;
  }
  return space;
}

}  // namespace
}  // namespace qv::posix

namespace qv {

std::unique_ptr<FileSystem> make_real_file_system() {
  return std::make_unique<posix::PosixFileSystem>();
}

}  // namespace qv
