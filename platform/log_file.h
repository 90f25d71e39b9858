// The log file: lines appended to a file named by the operator. Each line is
// appended on its own (opened, written, closed), so that the file may be
// moved away or removed at any moment and the next line starts a new one.
#pragma once

#include <memory>
#include <string_view>

#include "platform/text.h"

namespace qv {

class LogFile {
 public:
  virtual ~LogFile() = default;
  // Appends one line (CP866 text, no line end) and the system's line end to
  // the regular file at `path`, created when missing; UTF-8 on POSIX, CP866
  // on Windows. False when the file could not be opened, written or closed.
  virtual bool append_line(const Text& path, std::string_view cp866_line) = 0;
};

// The log file of the system the program runs on.
std::unique_ptr<LogFile> make_real_log_file();

}  // namespace qv
