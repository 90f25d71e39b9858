// Appending to the log on POSIX: one open(O_APPEND), write and close per
// line, so that a rotation that moves the file away is followed at once.
#include "platform/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/cp866.h"
#include "platform/posix/posix_internal.h"

namespace qv::posix {
namespace {

// Writes all of `data`; false on an error or when nothing more is taken.
bool write_all(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Opens the log for appending. A link as the last part of the path is never
// followed, and anything but a regular file (a FIFO, a device) is refused
// without waiting on it.
int open_for_append(const std::string& native) {
  int fd =
      ::open(native.c_str(),
             O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

class PosixLogFile : public LogFile {
 public:
  bool append_line(const Text& path, std::string_view cp866_line) override {
    std::string native;
    if (!native_path(path, native)) return false;
    int fd = open_for_append(native);
    if (fd < 0) return false;
    // One write of the whole line, so that lines of two writers never mix.
    // A control byte is written as its glyph: it never breaks a line in two.
    std::string line = cp866_to_glyphs_utf8(cp866_line);
    line += '\n';
    bool written = write_all(fd, line);
    bool closed = ::close(fd) == 0;
    return written && closed;
  }
};

}  // namespace
}  // namespace qv::posix

namespace qv {

std::unique_ptr<LogFile> make_real_log_file() {
  return std::make_unique<posix::PosixLogFile>();
}

}  // namespace qv
