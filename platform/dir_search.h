// What is written once above the file-system primitives, so that the fake and
// the real backends cannot disagree: the directory search with wildcards and
// the attribute-mask rule, "create a directory with its parents", and the
// path helpers.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace qv {

// True for the names of the system's own entries in flight (kPartialPrefix).
bool is_partial_name(std::string_view name);

// True when `name` matches the wildcard `mask` ('*' and '?'), compared
// case-insensitively for Latin and CP866 Cyrillic letters, with the Windows
// rules: "*.*" also matches a name with no dot, and so does "*.".
bool wildcard_match(std::string_view mask, std::string_view name);

// A wildcard mask read once, for matching many names against it.
class WildcardMask {
 public:
  explicit WildcardMask(std::string_view mask);
  ~WildcardMask();
  WildcardMask(WildcardMask&&) noexcept;
  WildcardMask& operator=(WildcardMask&&) noexcept;
  // True when `name` matches the mask, by the rules of wildcard_match().
  bool matches(std::string_view name) const;

 private:
  struct Tokens;
  std::unique_ptr<Tokens> tokens_;
};

// The attribute rule of a search: an entry is admitted when each of its bits
// hidden, system, volume, directory, archive is also set in the mask;
// read-only never excludes; bits 8..15 of the mask name bits the entry must have.
bool attributes_admitted(uint32_t entry_attributes, uint32_t mask);

// '\' and '/' both separate the parts of a path.
inline bool is_separator(char c) {
  return c == '\\' || c == '/';
}
// The separator that joins onto `path`: '/' when the path holds a '/' and
// no '\' (a POSIX path), otherwise '\'.
char separator_for(std::string_view path);
// `dir` and `name` joined with one separator (none added after a separator
// or a drive colon, nothing added to an empty dir): `separator`, or the one
// separator_for(dir) gives.
Text join_path(const Text& dir, std::string_view name, char separator);
Text join_path(const Text& dir, std::string_view name);

// Index of the last '\', '/' or ':' in a path, or npos.
std::size_t last_separator(std::string_view path);
// The part after the last separator (the file name with its extension).
Text file_name_of(std::string_view path);
// The part before and including the last separator ("" when there is none).
Text directory_of(std::string_view path);

// Hears the entries a search passes over because its mask does not match them.
class SearchObserver {
 public:
  virtual ~SearchObserver() = default;
  // An entry of the listed directory (no "." or "..", no file in flight)
  // that the mask did not match; only its name and attributes are known
  // (not its size or times), and they are not yet held against the search's.
  virtual void passed_over(const RawEntry& entry) = 0;
};

// A directory search for a name or a mask. A mask without wildcards is
// looked up by exact name (as the file system stores names); one with
// wildcards lists the directory and matches.
class DirSearch {
 public:
  // Searches the open directory `dir` (which must outlive the search).
  DirSearch(Dir& dir, const Text& mask, uint32_t attr_mask, SearchObserver* observer = nullptr);
  // pattern = an operator's directory path followed by a name or a mask; the
  // search opens the directory itself.
  DirSearch(FileSystem& fs, const Text& pattern, uint32_t attr_mask);
  // True while the search stands on an entry.
  bool found() const { return found_; }
  // The current entry (valid while found()).
  const RawEntry& entry() const { return entry_; }
  // Moves to the next admitted entry.
  void next();
  // Ends the search; found() becomes false.
  void close();
  // Names of the system's own entries in flight (kPartialPrefix) that the
  // listing passed over so far: where a crashed run's hold directories lie.
  const std::vector<Text>& in_flight() const { return in_flight_; }

 private:
  std::unique_ptr<Dir> owned_;  // the directory of the pattern form
  Dir* dir_ = nullptr;
  std::vector<Text> in_flight_;
  Text mask_;
  WildcardMask matcher_;
  uint32_t attr_mask_;
  SearchObserver* observer_ = nullptr;
  std::unique_ptr<DirReader> reader_;
  RawEntry entry_;
  bool found_ = false;
};

// Opens directory `path`, first creating it and every missing parent from
// the deepest existing one down, each level made and entered relative to its
// parent's handle (never through a link). Null, err set, when a level cannot
// be made or opened.
std::unique_ptr<Dir> make_directories(FileSystem& fs, const Text& path, Error& err);

}  // namespace qv
