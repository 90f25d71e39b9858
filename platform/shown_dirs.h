// The program's own directory and the start directory come from the system,
// which may give them names that CP866 cannot hold whole (`/home/josé`,
// `D:\日本`). Every text of the system shows such a character as '?', so a
// path built on that text would name another directory, or none. A backend
// therefore records the text it showed for such a directory beside the
// directory's native name, and turns a path that begins with that text back
// into the native name on its way to the system.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qv {

// Recorded directories: shown CP866 text -> native name (bytes on POSIX,
// UTF-16 on Windows). Thread-safe; entries are never removed.
template <typename Native>
class ShownDirs {
 public:
  // Records a directory by its shown text and its native name.
  void add(std::string shown, Native native) {
    std::lock_guard<std::mutex> hold(mutex_);
    for (const auto& [text, name] : dirs_)
      if (text == shown) return;  // the first record of a text stays
    dirs_.emplace_back(std::move(shown), std::move(native));
  }

  // The native name of the longest recorded directory that `path` begins
  // with as whole levels (the path ends there or goes on with a separator;
  // '\' and '/' count alike), and the length of its shown text.
  bool find(std::string_view path, Native& native, std::size_t& shown_length) const {
    std::lock_guard<std::mutex> hold(mutex_);
    shown_length = 0;
    for (const auto& [text, name] : dirs_) {
      if (text.size() <= shown_length || !begins_with_levels(path, text)) continue;
      native = name;
      shown_length = text.size();
    }
    return shown_length > 0;
  }

 private:
  static bool separator(char c) { return c == '\\' || c == '/'; }

  static bool begins_with_levels(std::string_view path, std::string_view dir) {
    if (dir.empty() || path.size() < dir.size()) return false;
    for (std::size_t i = 0; i < dir.size(); ++i) {
      if (path[i] != dir[i] && !(separator(path[i]) && separator(dir[i]))) return false;
    }
    return path.size() == dir.size() || separator(path[dir.size()]) || separator(dir.back());
  }

  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, Native>> dirs_;
};

}  // namespace qv
