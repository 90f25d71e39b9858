// A directory held open. Every name is one plain name looked up relative to
// the directory's descriptor, never followed through a link, so renaming or
// swapping the directory's path after it was opened changes nothing here.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/posix_internal.h"

namespace qv::posix {

namespace {

// Attempts at a fresh name before giving up (each collision is a chance of
// about one in 36^10, or a hostile pre-created name).
constexpr int kNameAttempts = 16;

bool is_listed_kind(mode_t mode) {
  return S_ISREG(mode) || S_ISDIR(mode);
}

bool starts_with(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// A second, independent descriptor of the directory for a listing (a dup
// would share the listing position with every other user of the handle).
DIR* open_listing(int dir_fd, Error& err) {
  int fd = ::openat(dir_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    err = error_from_errno(errno);
    return nullptr;
  }
  DIR* d = ::fdopendir(fd);
  if (d == nullptr) {
    err = error_from_errno(errno);
    ::close(fd);
    return nullptr;
  }
  err = Error::kNone;
  return d;
}

class PosixDirReader : public DirReader {
 public:
  explicit PosixDirReader(DIR* dir) : dir_(dir) {}
  ~PosixDirReader() override { ::closedir(dir_); }

  bool next(RawEntry& out) override {
    while (next_name(out)) {
      if (details(out)) return true;
    }
    return false;
  }

  // The kind comes from the listing itself where the file system tells it,
  // so a name the caller does not want costs no look-up of its own.
  bool next_name(RawEntry& out) override {
    while (struct dirent* ent = ::readdir(dir_)) {
      std::string_view name = ent->d_name;
      if (name == "." || name == "..") continue;
      if (ent->d_type != DT_UNKNOWN && ent->d_type != DT_REG && ent->d_type != DT_DIR) continue;
      if (!listed_name(name, out.name)) continue;
      native_.assign(name);
      looked_up_ = false;
      if (ent->d_type == DT_UNKNOWN) {
        if (!details(out)) continue;
        return true;
      }
      out.info = FileInfo{};
      out.info.attributes = ent->d_type == DT_DIR ? kAttrDirectory : kAttrArchive;
      if (name[0] == '.') out.info.attributes |= kAttrHidden;
      return true;
    }
    return false;
  }

  bool details(RawEntry& out) override {
    if (looked_up_) return true;
    struct stat st;
    if (::fstatat(::dirfd(dir_), native_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (!is_listed_kind(st.st_mode)) return false;
    out.info = info_from_stat(st, native_);
    looked_up_ = true;
    return true;
  }

 private:
  DIR* dir_;
  std::string native_;      // the native name of the entry last given
  bool looked_up_ = false;  // its details are in hand
};

// The report path of sub-directory `name` of `dir`, joined with '/'.
Text sub_path(const Text& dir, const Text& name) {
  Text out = dir;
  if (!out.empty() && out.back() != '/' && out.back() != '\\') out.append('/');
  out.append(name.view());
  return out;
}

template <class T>
std::unique_ptr<T> fail(Error& err, Error e) {
  err = e;
  return nullptr;
}

}  // namespace

PosixDir::~PosixDir() {
  ::close(fd_);
}

Error PosixDir::info(FileInfo& out) {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return error_from_errno(errno);
  out = info_from_stat(st, "");
  return Error::kNone;
}

std::unique_ptr<DirReader> PosixDir::list(Error& err) {
  DIR* d = open_listing(fd_, err);
  if (d == nullptr) return nullptr;
  return std::make_unique<PosixDirReader>(d);
}

Error PosixDir::stat(const Text& name, FileInfo& out) {
  std::string n;
  if (Error e = native_name(name, n); e != Error::kNone) return e;
  struct stat st;
  if (::fstatat(fd_, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return error_from_errno(errno);
  if (!is_listed_kind(st.st_mode)) return Error::kNotRegular;
  out = info_from_stat(st, n);
  return Error::kNone;
}

std::unique_ptr<Dir> PosixDir::open_dir(const Text& name, Error& err) {
  std::string n;
  if ((err = native_name(name, n)) != Error::kNone) return nullptr;
  int fd = ::openat(fd_, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    err = Error::kNone;
    return std::make_unique<PosixDir>(fd, sub_path(path_, name));
  }
  err = error_from_errno(errno);
  struct stat st;
  if ((errno == ELOOP || errno == ENOTDIR) &&
      ::fstatat(fd_, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
    err = S_ISREG(st.st_mode) ? Error::kNotDirectory : Error::kNotRegular;
  return nullptr;
}

Error PosixDir::make_dir(const Text& name) {
  std::string n;
  if (Error e = native_name(name, n); e != Error::kNone) return e;
  return ::mkdirat(fd_, n.c_str(), 0777) == 0 ? Error::kNone : error_from_errno(errno);
}

Error PosixDir::remove_dir(const Text& name) {
  std::string n;
  if (Error e = native_name(name, n); e != Error::kNone) return e;
  return ::unlinkat(fd_, n.c_str(), AT_REMOVEDIR) == 0 ? Error::kNone : error_from_errno(errno);
}

std::unique_ptr<Dir> PosixDir::make_hold_dir(Text& name, Error& err) {
  std::string n;
  for (int i = 0;; ++i) {
    n = fresh_name(kHoldPrefix);
    if (::mkdirat(fd_, n.c_str(), 0700) == 0) break;
    if (errno != EEXIST || i == kNameAttempts) return fail<Dir>(err, error_from_errno(errno));
  }
  int fd = ::openat(fd_, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  struct stat st;
  // Another account may have put its own directory under the fresh name
  // between the two calls: what was opened must be ours and private.
  bool ours = fd >= 0 && ::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() &&
              (st.st_mode & 077) == 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  if (!ours) {
    err = fd < 0 ? error_from_errno(errno) : Error::kChanged;
    if (fd >= 0) ::close(fd);
    ::unlinkat(fd_, n.c_str(), AT_REMOVEDIR);
    return nullptr;
  }
  name.assign(n);
  err = Error::kNone;
  return std::make_unique<PosixDir>(fd, sub_path(path_, name));
}

bool PosixDir::hold() {
  return ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
}

std::unique_ptr<PosixFile> PosixDir::open_file(const Text& name, FileRole role, Error& err) {
  std::string n;
  if ((err = native_name(name, n)) != Error::kNone) return nullptr;
  int fd = open_regular_at(fd_, n, O_RDONLY, err);
  if (fd < 0) return nullptr;
  int dir_fd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  if (dir_fd < 0) {
    err = error_from_errno(errno);
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixFile>(fd, dir_fd, n, role);
}

std::unique_ptr<File> PosixDir::open_read(const Text& name, Error& err) {
  return open_file(name, FileRole::kPlain, err);
}

std::unique_ptr<File> PosixDir::open_source(const Text& name, Error& err) {
  std::unique_ptr<PosixFile> file = open_file(name, FileRole::kSource, err);
  if (file && (err = file->take()) != Error::kNone) file.reset();
  return file;
}

std::unique_ptr<File> PosixDir::create_temp(Error& err) {
  int fd = ::openat(fd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) {
    // EOPNOTSUPP: this file system has no nameless files; EISDIR/ENOENT: an
    // old kernel that does not know the flag.
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == ENOENT || errno == EINVAL)
      return create_named_temp(err);
    return fail<File>(err, error_from_errno(errno));
  }
  int dir_fd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  if (dir_fd < 0) {
    ::close(fd);
    return fail<File>(err, error_from_errno(errno));
  }
  auto file = std::make_unique<PosixFile>(fd, dir_fd, "", FileRole::kTemp);
  // Held from the start: a replacing publish gives it a kPartialPrefix name
  // for a moment, which no other run may take for a leftover.
  if (!file->lock_in_flight()) return fail<File>(err, Error::kLocked);
  err = Error::kNone;
  return file;
}

std::unique_ptr<File> PosixDir::create_named_temp(Error& err) {
  for (int i = 0; i < kNameAttempts; ++i) {
    std::string n = fresh_name(std::string(kPartialPrefix) + "P");
    int fd = ::openat(fd_, n.c_str(), O_CREAT | O_EXCL | O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return fail<File>(err, error_from_errno(errno));
    int dir_fd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (dir_fd < 0) {
      int saved = errno;
      ::unlinkat(fd_, n.c_str(), 0);
      ::close(fd);
      return fail<File>(err, error_from_errno(saved));
    }
    auto file = std::make_unique<PosixFile>(fd, dir_fd, n, FileRole::kTemp);
    // Another run clearing leftovers may have taken the new name first.
    if (file->lock_in_flight()) {
      err = Error::kNone;
      return file;
    }
  }
  return fail<File>(err, Error::kExists);
}

Error PosixDir::publish(File& file, const Text& name, bool replace) {
  std::string n;
  if (Error e = native_name(name, n); e != Error::kNone) return e;
  auto* temp = dynamic_cast<PosixFile*>(&file);
  if (temp == nullptr || !temp->in_flight_in(fd_)) return Error::kIo;
  return temp->publish(n, replace);
}

Error PosixDir::rename(const Text& name, Dir& to, const Text& to_name) {
  std::string from, dest;
  if (Error e = native_name(name, from); e != Error::kNone) return e;
  if (Error e = native_name(to_name, dest); e != Error::kNone) return e;
  int to_fd = dir_fd_of(to);
  if (to_fd < 0) return Error::kIo;
  return rename_entry(fd_, from, to_fd, dest, false);
}

Error PosixDir::sync() {
  return ::fsync(fd_) == 0 ? Error::kNone : error_from_errno(errno);
}

void PosixDir::remove_leftovers() {
  Error err;
  DIR* d = open_listing(fd_, err);
  if (d == nullptr) return;
  std::string prefix = std::string(kPartialPrefix) + "P";
  while (struct dirent* ent = ::readdir(d))
    if (starts_with(ent->d_name, prefix)) remove_if_leftover(ent->d_name);
  ::closedir(d);
}

void PosixDir::remove_if_leftover(const std::string& name) {
  Error err;
  int fd = open_regular_at(fd_, name, O_RDONLY, err);
  if (fd < 0) return;
  struct stat held, now;
  // A free lock means no transfer has it open; the name must still be the
  // file locked when it goes.
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 &&
      ::fstatat(fd_, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && same_inode(held, now))
    ::unlinkat(fd_, name.c_str(), 0);
  ::close(fd);
}

}  // namespace qv::posix
