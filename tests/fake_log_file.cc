#include "tests/fake_log_file.h"

#include "platform/cp866.h"

namespace qv::fake {

bool FakeLogFile::append_line(const Text& path, std::string_view cp866_line) {
  ++attempts_;
  if (unwritable_.count(path.str()) != 0) return false;
  files_[path.str()].emplace_back(cp866_line);
  return true;
}

std::vector<std::string> FakeLogFile::lines(const std::string& path) const {
  std::vector<std::string> out;
  auto it = files_.find(path);
  if (it == files_.end()) return out;
  for (const std::string& line : it->second) out.push_back(cp866_to_utf8(line));
  return out;
}

void FakeLogFile::set_unwritable(const std::string& path, bool unwritable) {
  if (unwritable) {
    unwritable_.insert(path);
  } else {
    unwritable_.erase(path);
  }
}

}  // namespace qv::fake
