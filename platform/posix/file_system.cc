// The file system of a POSIX machine: the errno mapping, the conversions of
// names and paths, the helpers that directory handles and open files share,
// and the operator's paths (FileSystem). Names are UTF-8 on disk and CP866
// inside; '\' and '/' both separate the parts of an operator's path.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <random>

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
    case EXDEV:
      return Error::kCrossDevice;
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

namespace {

// The longest name the file systems of this machine hold, in bytes.
constexpr std::size_t kNameMax = 255;

// True for a byte that may never stand in a name the system acts on: a
// separator of either kind, a drive colon, NUL or another control byte.
bool forbidden_in_name(uint8_t b) {
  return b == '/' || b == '\\' || b == ':' || b < 0x20 || b == 0x7F;
}

// True when a CP866 name is one plain name the system may act on.
bool plain_name(std::string_view oem) {
  if (oem.empty() || oem == "." || oem == "..") return false;
  for (char c : oem)
    if (forbidden_in_name(static_cast<uint8_t>(c))) return false;
  return true;
}

}  // namespace

Error native_name(const Text& name, std::string& out) {
  out.clear();
  if (!plain_name(name.view())) return Error::kBadName;
  for (char c : name.view()) append_utf8(out, cp866_to_unicode(static_cast<uint8_t>(c)));
  return out.size() <= kNameMax ? Error::kNone : Error::kBadName;
}

bool listed_name(std::string_view native, Text& out) {
  std::string oem;
  if (!utf8_to_cp866(native, oem) || oem.size() > Text::kMax || !plain_name(oem)) return false;
  out.assign(oem);
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
  info.ctime_ns = static_cast<int64_t>(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
  info.mode = static_cast<uint32_t>(st.st_mode & 07777);
  info.device = static_cast<uint64_t>(st.st_dev);
  info.index = static_cast<uint64_t>(st.st_ino);
  return info;
}

std::string fresh_name(std::string_view prefix) {
  static std::atomic<uint64_t> counter{std::random_device()() * 0x9E3779B97F4A7C15ull};
  // splitmix64 of the counter and the process id: distinct within a process,
  // and across processes (forked ones too) with overwhelming likelihood.
  uint64_t z = counter.fetch_add(0x9E3779B97F4A7C15ull) ^ (static_cast<uint64_t>(::getpid()) << 32);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string out(prefix);
  for (int i = 0; i < 10; ++i, z /= 36) out += kDigits[z % 36];
  return out;
}

Error rename_entry(int dir_from, const std::string& from, int dir_to, const std::string& to,
                   bool replace) {
  if (replace) {
    return ::renameat(dir_from, from.c_str(), dir_to, to.c_str()) == 0 ? Error::kNone
                                                                       : error_from_errno(errno);
  }
  if (::renameat2(dir_from, from.c_str(), dir_to, to.c_str(), RENAME_NOREPLACE) == 0)
    return Error::kNone;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return error_from_errno(errno);
  // No no-replace flag here: a hard link fails on an existing name.
  if (::linkat(dir_from, from.c_str(), dir_to, to.c_str(), 0) != 0) return error_from_errno(errno);
  if (::unlinkat(dir_from, from.c_str(), 0) != 0) {
    int saved = errno;
    ::unlinkat(dir_to, to.c_str(), 0);
    return error_from_errno(saved);
  }
  return Error::kNone;
}

int open_regular_at(int dir_fd, const std::string& name, int flags, Error& err) {
  // Refuse what is no regular file before opening it: opening a device can
  // act on it.
  struct stat before;
  if (::fstatat(dir_fd, name.c_str(), &before, AT_SYMLINK_NOFOLLOW) != 0) {
    err = error_from_errno(errno);
    return -1;
  }
  if (!S_ISREG(before.st_mode)) {
    err = S_ISDIR(before.st_mode) ? Error::kIsDirectory : Error::kNotRegular;
    return -1;
  }
  int fd = ::openat(dir_fd, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
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

namespace {

// True when one of the descriptors of process directory `pid` is the file.
bool process_holds(int proc_fd, const char* pid, dev_t dev, ino_t ino) {
  std::string fd_dir = std::string(pid) + "/fd";
  int fds = ::openat(proc_fd, fd_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fds < 0) return false;  // gone, or not ours to inspect
  DIR* d = ::fdopendir(fds);
  if (d == nullptr) {
    ::close(fds);
    return false;
  }
  bool holds = false;
  while (struct dirent* ent = ::readdir(d)) {
    struct stat st;
    if (ent->d_name[0] == '.') continue;
    if (::fstatat(fds, ent->d_name, &st, 0) == 0 && st.st_dev == dev && st.st_ino == ino) {
      holds = true;
      break;
    }
  }
  ::closedir(d);
  return holds;
}

bool is_pid_name(const char* name) {
  if (*name == '\0') return false;
  for (; *name; ++name)
    if (*name < '0' || *name > '9') return false;
  return true;
}

}  // namespace

bool open_elsewhere(dev_t dev, ino_t ino) {
  int proc_fd = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (proc_fd < 0) return false;
  DIR* d = ::fdopendir(proc_fd);
  if (d == nullptr) {
    ::close(proc_fd);
    return false;
  }
  std::string self = std::to_string(::getpid());
  bool found = false;
  while (struct dirent* ent = ::readdir(d)) {
    if (!is_pid_name(ent->d_name) || self == ent->d_name) continue;
    if (process_holds(proc_fd, ent->d_name, dev, ino)) {
      found = true;
      break;
    }
  }
  ::closedir(d);
  return found;
}

namespace {

bool is_ascii_letter(char c) {
  return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}

bool is_listed_kind(mode_t mode) {
  return S_ISREG(mode) || S_ISDIR(mode);
}

// The directory part of a native path ("." when there is none).
std::string parent_of(const std::string& native) {
  std::size_t slash = native.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : native.substr(0, slash);
}

template <class T>
std::unique_ptr<T> fail(Error& err, Error e) {
  err = e;
  return nullptr;
}

class PosixFileSystem : public FileSystem {
 public:
  PosixFileSystem() { ignore_lease_breaks(); }

  std::unique_ptr<Dir> open_dir(const Text& path, Error& err) override {
    Resolved at;
    err = resolve(path, at);
    if (err != Error::kNone) return nullptr;
    if (!S_ISDIR(at.st.st_mode)) return fail<Dir>(err, Error::kNotDirectory);
    int fd = ::openat(at.target, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return fail<Dir>(err, error_from_errno(errno));
    return std::make_unique<PosixDir>(fd, path);
  }

  Error stat(const Text& path, FileInfo& out) override {
    Resolved at;
    Error e = resolve(path, at);
    if (e != Error::kNone) return e;
    if (!is_listed_kind(at.st.st_mode)) return Error::kNotRegular;
    out = info_from_stat(at.st, at.last == "." || at.last == ".." ? "" : at.last);
    return Error::kNone;
  }

  std::unique_ptr<File> open_read(const Text& path, Error& err) override {
    Resolved at;
    err = resolve(path, at);
    if (err != Error::kNone) return nullptr;
    int fd = open_regular_at(at.parent, at.last, O_RDONLY, err);
    if (fd < 0) return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !same_inode(st, at.st)) {
      ::close(fd);
      return fail<File>(err, Error::kChanged);
    }
    int dir_fd = ::fcntl(at.parent, F_DUPFD_CLOEXEC, 0);
    return std::make_unique<PosixFile>(fd, dir_fd, at.last, FileRole::kPlain);
  }

  DriveSpace drive_space(const Text& path) override;

 private:
  // Resolves an operator's path to something that exists (kNotFound else).
  static Error resolve(const Text& path, Resolved& at) {
    std::string native;
    if (!native_path(path, native)) return Error::kNotFound;
    Error e = resolve_operator_path(native, at);
    if (e == Error::kNone && at.target < 0) e = Error::kNotFound;
    return e;
  }

  // A lease break is signalled with SIGIO, which would end the program.
  static void ignore_lease_breaks() {
    struct sigaction old {};
    if (::sigaction(SIGIO, nullptr, &old) == 0 && old.sa_handler == SIG_DFL)
      ::signal(SIGIO, SIG_IGN);
  }
};

// Statistics of the file system holding `native`, or of its nearest
// existing ancestor when the path does not exist yet. Only sizes are read
// here, so links may be followed.
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
