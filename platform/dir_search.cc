#include "platform/dir_search.h"

#include <vector>

namespace qv {

namespace {

// Mask tokens after the wildcard translation of the Windows file system.
enum class Tok : uint8_t {
  kLiteral,  // one character, compared case-insensitively
  kStar,     // any run of characters
  kDosStar,  // any run of characters that does not take the name's last dot
  kDosQm,    // one character, or none at a dot or at the end of the name
  kDosDot,   // a dot, or nothing at the end of the name
};

struct MaskTok {
  Tok tok;
  uint8_t ch;
};

// Upper case of a Latin or CP866 Cyrillic letter, ё (0xF1) included; other
// bytes unchanged.
uint8_t fold(uint8_t c) {
  if (c >= 'a' && c <= 'z') return static_cast<uint8_t>(c - 'a' + 'A');
  if (c >= 0xA0 && c <= 0xAF) return static_cast<uint8_t>(c - 0x20);
  if (c >= 0xE0 && c <= 0xEF) return static_cast<uint8_t>(c - 0x50);
  if (c == 0xF1) return 0xF0;  // ё to Ё
  return c;
}

// Translates a mask as the Windows directory search does: every '?' may
// stop early at a dot or the end, a '.' before a wildcard or at the end may
// stand for the end of the name, and a '*' before a '.' stops at the last dot.
std::vector<MaskTok> translate_mask(std::string_view mask) {
  std::vector<MaskTok> out;
  for (std::size_t i = 0; i < mask.size(); ++i) {
    char c = mask[i];
    char next = i + 1 < mask.size() ? mask[i + 1] : '\0';
    uint8_t u = static_cast<uint8_t>(c);
    if (c == '?') {
      out.push_back({Tok::kDosQm, 0});
    } else if (c == '*') {
      out.push_back({next == '.' ? Tok::kDosStar : Tok::kStar, 0});
    } else if (c == '.' && (next == '?' || next == '*' || next == '\0')) {
      out.push_back({Tok::kDosDot, 0});
    } else {
      out.push_back({Tok::kLiteral, fold(u)});
    }
  }
  return out;
}

struct Matcher {
  const std::vector<MaskTok>& m;
  std::string_view name;
  std::size_t last_dot;  // npos when the name has no dot

  bool at(std::size_t mi, std::size_t ni) const {
    if (mi == m.size()) return ni == name.size();
    const MaskTok& t = m[mi];
    bool more = ni < name.size();
    switch (t.tok) {
      case Tok::kLiteral:
        return more && fold(static_cast<uint8_t>(name[ni])) == t.ch && at(mi + 1, ni + 1);
      case Tok::kStar:
        for (std::size_t k = ni; k <= name.size(); ++k)
          if (at(mi + 1, k)) return true;
        return false;
      case Tok::kDosStar:
        for (std::size_t k = ni; k <= name.size(); ++k) {
          if (at(mi + 1, k)) return true;
          if (k == last_dot) return false;  // may not swallow the last dot
        }
        return false;
      case Tok::kDosQm:
        if (!more || name[ni] == '.') return at(mi + 1, ni);
        return at(mi + 1, ni + 1);
      case Tok::kDosDot:
        if (!more) return at(mi + 1, ni);
        return name[ni] == '.' && at(mi + 1, ni + 1);
    }
    return false;
  }
};

bool has_wildcards(std::string_view s) {
  return s.find_first_of("*?") != std::string_view::npos;
}

bool is_dot_name(std::string_view name) {
  return name == "." || name == "..";
}

// Length of the root part of a path that is never created: "D:", "D:\", "/".
std::size_t root_length(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':') {
    return path.size() >= 3 && is_separator(path[2]) ? 3 : 2;
  }
  return !path.empty() && is_separator(path[0]) ? 1 : 0;
}

// One level of a path: where its name starts and ends.
struct Level {
  std::size_t start, end;
};

// The named levels of a path below its root ("" and separator runs skipped).
std::vector<Level> levels_of(std::string_view p, std::size_t root) {
  std::vector<Level> out;
  std::size_t start = root;
  for (std::size_t i = root; i <= p.size(); ++i) {
    if (i < p.size() && !is_separator(p[i])) continue;
    if (i > start) out.push_back({start, i});
    start = i + 1;
  }
  return out;
}

// Looks up an exact name in `dir` as the search's only entry.
bool look_up_exact(Dir& dir, const Text& name, uint32_t attr_mask, RawEntry& entry) {
  if (is_partial_name(name) || is_dot_name(name)) return false;
  entry.name = name;
  return dir.stat(name, entry.info) == Error::kNone &&
         attributes_admitted(entry.info.attributes, attr_mask);
}

}  // namespace

bool is_partial_name(std::string_view name) {
  return name.substr(0, kPartialPrefix.size()) == kPartialPrefix;
}

struct WildcardMask::Tokens {
  std::vector<MaskTok> list;
};

WildcardMask::WildcardMask(std::string_view mask)
    : tokens_(std::make_unique<Tokens>(Tokens{translate_mask(mask)})) {}
WildcardMask::~WildcardMask() = default;
WildcardMask::WildcardMask(WildcardMask&&) noexcept = default;
WildcardMask& WildcardMask::operator=(WildcardMask&&) noexcept = default;

bool WildcardMask::matches(std::string_view name) const {
  Matcher matcher{tokens_->list, name, name.rfind('.')};
  return matcher.at(0, 0);
}

bool wildcard_match(std::string_view mask, std::string_view name) {
  return WildcardMask(mask).matches(name);
}

bool attributes_admitted(uint32_t entry_attributes, uint32_t mask) {
  constexpr uint32_t kExcluding =
      kAttrHidden | kAttrSystem | kAttrVolume | kAttrDirectory | kAttrArchive;
  if (entry_attributes & kExcluding & ~mask) return false;
  uint32_t required = (mask >> 8) & 0xFF;
  return (entry_attributes & required) == required;
}

char separator_for(std::string_view path) {
  bool slash = path.find('/') != std::string_view::npos;
  bool backslash = path.find('\\') != std::string_view::npos;
  return slash && !backslash ? '/' : '\\';
}

Text join_path(const Text& dir, std::string_view name, char separator) {
  Text out = dir;
  if (!out.empty() && !is_separator(out.back()) && out.back() != ':') out.append(separator);
  out.append(name);
  return out;
}

Text join_path(const Text& dir, std::string_view name) {
  return join_path(dir, name, separator_for(dir.view()));
}

std::size_t last_separator(std::string_view path) {
  return path.find_last_of("\\/:");
}

Text file_name_of(std::string_view path) {
  std::size_t pos = last_separator(path);
  return pos == std::string_view::npos ? Text(path) : Text(path.substr(pos + 1));
}

Text directory_of(std::string_view path) {
  std::size_t pos = last_separator(path);
  return pos == std::string_view::npos ? Text() : Text(path.substr(0, pos + 1));
}

DirSearch::DirSearch(Dir& dir, const Text& mask, uint32_t attr_mask, SearchObserver* observer)
    : dir_(&dir), mask_(mask), matcher_(mask_.view()), attr_mask_(attr_mask), observer_(observer) {
  if (mask_.empty()) return;
  if (!has_wildcards(mask_)) {
    found_ = look_up_exact(dir, mask_, attr_mask_, entry_);
    return;
  }
  Error err = Error::kNone;
  reader_ = dir.list(err);
  next();
}

DirSearch::DirSearch(FileSystem& fs, const Text& pattern, uint32_t attr_mask)
    : mask_(file_name_of(pattern)), matcher_(mask_.view()), attr_mask_(attr_mask) {
  if (mask_.empty()) return;
  if (!has_wildcards(mask_)) {
    // An exact name of the operator's: one look-up of the path, no listing.
    if (is_partial_name(mask_) || is_dot_name(mask_)) return;
    entry_.name = mask_;
    found_ = fs.stat(pattern, entry_.info) == Error::kNone &&
             attributes_admitted(entry_.info.attributes, attr_mask_);
    return;
  }
  Text dir = directory_of(pattern);
  Error err = Error::kNone;
  owned_ = fs.open_dir(dir.empty() ? Text(".") : dir, err);
  dir_ = owned_.get();
  if (dir_ != nullptr) reader_ = dir_->list(err);
  next();
}

void DirSearch::next() {
  found_ = false;
  if (!reader_) return;
  while (reader_->next_name(entry_)) {
    std::string_view name = entry_.name.view();
    if (is_dot_name(name)) continue;
    if (is_partial_name(name)) {
      in_flight_.push_back(entry_.name);
      continue;
    }
    if (!matcher_.matches(name)) {
      if (observer_ != nullptr) observer_->passed_over(entry_);
      continue;
    }
    // The attributes of the listing decide first; the details are asked for
    // only for an entry that may be taken, and decide again.
    if (!attributes_admitted(entry_.info.attributes, attr_mask_)) continue;
    if (!reader_->details(entry_)) continue;
    if (!attributes_admitted(entry_.info.attributes, attr_mask_)) continue;
    found_ = true;
    return;
  }
  reader_.reset();
}

void DirSearch::close() {
  reader_.reset();
  found_ = false;
}

std::unique_ptr<Dir> make_directories(FileSystem& fs, const Text& path, Error& err) {
  std::string_view p = path.view();
  while (p.size() > root_length(p) && is_separator(p.back())) p.remove_suffix(1);
  err = p.empty() ? Error::kBadName : Error::kNone;
  if (p.empty()) return nullptr;
  const std::size_t root = root_length(p);
  const std::vector<Level> levels = levels_of(p, root);
  // The deepest level that opens, from the whole path upwards.
  std::size_t have = levels.size();
  std::unique_ptr<Dir> dir;
  for (;;) {
    std::size_t end = have == 0 ? root : levels[have - 1].end;
    dir = fs.open_dir(end == 0 ? Text(".") : Text(p.substr(0, end)), err);
    if (dir) break;
    if (err != Error::kNotFound || have == 0) return nullptr;
    --have;
  }
  // Each missing level made and entered through its parent's handle.
  for (std::size_t k = have; k < levels.size(); ++k) {
    Text name(p.substr(levels[k].start, levels[k].end - levels[k].start));
    if (name.view() == ".") continue;
    Error made = name.view() == ".." ? Error::kBadName : dir->make_dir(name);
    if (made != Error::kNone && made != Error::kExists) {
      err = made;
      return nullptr;
    }
    dir = dir->open_dir(name, err);
    if (!dir) return nullptr;
  }
  err = Error::kNone;
  return dir;
}

}  // namespace qv
