// The fake log file: keeps the appended lines per path in memory and fails
// the paths a test marks as unwritable.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/log_file.h"

namespace qv::fake {

class FakeLogFile : public LogFile {
 public:
  bool append_line(const Text& path, std::string_view cp866_line) override;

  // --- for tests ---
  // Lines appended to `path` so far, as UTF-8.
  std::vector<std::string> lines(const std::string& path) const;
  // Appends to `path` fail from now on (or work again).
  void set_unwritable(const std::string& path, bool unwritable = true);
  // Calls of append_line so far, failed ones included.
  int attempts() const { return attempts_; }

 private:
  std::map<std::string, std::vector<std::string>> files_;  // CP866 lines
  std::set<std::string> unwritable_;
  int attempts_ = 0;
};

}  // namespace qv::fake
