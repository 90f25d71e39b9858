// Named locks on POSIX: flock on a file in a directory that only the running
// account can write, so that no other user can create, replace or hold a lock,
// and a crashed instance never leaves one held (the kernel drops the flock).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/posix/system_posix.h"

namespace qv::posix {

namespace {

using Deadline = std::chrono::steady_clock::time_point;

// How long a wait for a lock held by another process sleeps between tries.
constexpr std::chrono::milliseconds kRetryStep{2};

// True for a directory of the running account that no one else may enter,
// read or write (a lock file inside can then be held by no one else, even
// through a read-only descriptor).
bool private_directory(int fd) {
  struct stat st;
  return ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

// The directory at `path`, never through a link at its end, when it is
// private as above; -1 otherwise.
int open_private_directory(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0 && !private_directory(fd)) {
    ::close(fd);
    fd = -1;
  }
  return fd;
}

// The lock file inside the lock directory: created 0600, and only taken when
// it is a regular file of the running account.
int open_lock_file(int dir_fd, const char* name) {
  const std::string file = lock_file_name(name);
  int fd =
      ::openat(dir_fd, file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  struct stat st;
  if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())) {
    ::close(fd);
    fd = -1;
  }
  return fd;
}

std::string temp_directory() {
  const char* tmp = ::getenv("TMPDIR");
  return (tmp != nullptr && tmp[0] == '/') ? tmp : "/tmp";
}

// Calls try_once until it succeeds or the deadline has passed, sleeping a
// little between tries. (A polled wait: ThreadSanitizer cannot follow the
// timed waits of the standard mutexes.)
template <typename Try>
bool retry_until(Deadline deadline, Try try_once) {
  for (;;) {
    if (try_once()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kRetryStep);
  }
}

// flock on the lock file plus a mutex, because the same lock object is taken
// from two threads of this process. Without a lock file (no private directory
// could be had) only the threads of this process exclude each other.
class FlockLock : public NamedLock {
 public:
  explicit FlockLock(int fd) : fd_(fd) {}
  ~FlockLock() override {
    if (fd_ >= 0) ::close(fd_);
  }
  FlockLock(const FlockLock&) = delete;
  FlockLock& operator=(const FlockLock&) = delete;

  bool lock_within(int64_t timeout_ms) override {
    const Deadline deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    if (!retry_until(deadline, [this] { return mutex_.try_lock(); })) return false;
    if (fd_ < 0 || retry_until(deadline, [this] { return try_flock(); })) return true;
    mutex_.unlock();
    return false;
  }

  void unlock() override {
    if (fd_ >= 0) ::flock(fd_, LOCK_UN);
    mutex_.unlock();
  }

 private:
  // True once the flock is held. A failure other than "held elsewhere"
  // counts as held: the thread mutex is then the only exclusion.
  bool try_flock() {
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
    return errno != EWOULDBLOCK && errno != EINTR;
  }

  int fd_;
  std::mutex mutex_;
};

}  // namespace

std::string lock_file_name(const char* name) {
  std::string file = "quorvane-";
  for (const char* p = name; *p != '\0'; ++p) {
    char c = *p;
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    file += plain || c == '_' || c == '-' ? c : '_';
  }
  return file + ".lock";
}

int open_lock_directory(const char* runtime_dir, const std::string& temp_dir) {
  if (runtime_dir != nullptr && runtime_dir[0] == '/') {
    int fd = open_private_directory(runtime_dir);
    if (fd >= 0) return fd;
  }
  const std::string own = temp_dir + "/quorvane-" + std::to_string(::geteuid());
  ::mkdir(own.c_str(), 0700);  // an existing one is checked below like a new one
  return open_private_directory(own);
}

std::unique_ptr<NamedLock> PosixProcess::named_lock(const char* name) {
  int dir = open_lock_directory(::getenv("XDG_RUNTIME_DIR"), temp_directory());
  int fd = dir >= 0 ? open_lock_file(dir, name) : -1;
  if (dir >= 0) ::close(dir);
  return std::make_unique<FlockLock>(fd);
}

}  // namespace qv::posix
