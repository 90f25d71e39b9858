// The fake platform. Paths of the fake file system: "D:\DIR\NAME" or
// "D:/DIR/NAME"; a path that does not begin with a drive letter and ':' lies
// below the root of drive C: ("." is that root). "." parts are dropped and
// ".." goes one level up (never above the root). Test set-up (add_file,
// add_dir) leaves the free space alone; writes consume it and deletions give
// it back. Sharing follows the Windows backend: a file held by an exclusive
// open can be neither opened, deleted, renamed nor replaced (kLocked); plain
// reads and files being written share deletion and renaming. A read-only
// file refuses writes, deletion and being replaced (kAccessDenied).
#include "tests/fake_platform.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/cp866.h"

namespace qv::fake {

namespace {

constexpr uint32_t kSettableAttrs = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive;

struct Node {
  std::string path;  // display path with the names as created
  bool dir = false;
  std::string data;
  uint32_t attrs = 0;
  int64_t mtime_ns = 0;
  uint64_t index = 0;
  int open_count = 0;
  bool exclusive = false;  // an open_exclusive handle holds it
  bool locked = false;     // "another program" holds it (set_locked)
};

struct Drive {
  uint64_t total = 0;
  uint64_t free = 0;
};

struct Fault {
  FsOp op;
  int remaining;
  Error error;
  bool persistent;
  std::string path_part;  // upper case, '\' separators
};

// A path taken apart: drive letter and its parts below the root.
struct Parsed {
  bool ok = false;
  char drive = 'C';
  std::vector<std::string> parts;
};

uint8_t fold(uint8_t c) {
  if (c >= 'a' && c <= 'z') return static_cast<uint8_t>(c - 'a' + 'A');
  if (c >= 0xA0 && c <= 0xAF) return static_cast<uint8_t>(c - 0x20);
  if (c >= 0xE0 && c <= 0xEF) return static_cast<uint8_t>(c - 0x50);
  return c;
}

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(fold(static_cast<uint8_t>(c)));
  return out;
}

bool is_sep(char c) {
  return c == '\\' || c == '/';
}

bool is_letter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool valid_part(std::string_view part) {
  return part.find_first_of(":*?\"<>|") == std::string_view::npos;
}

Parsed parse(std::string_view path) {
  Parsed p;
  if (path.size() >= 2 && path[1] == ':') {
    if (!is_letter(path[0])) return p;
    p.drive = static_cast<char>(fold(static_cast<uint8_t>(path[0])));
    path.remove_prefix(2);
  }
  std::size_t i = 0;
  while (i <= path.size()) {
    std::size_t j = i;
    while (j < path.size() && !is_sep(path[j])) ++j;
    std::string_view part = path.substr(i, j - i);
    if (part == "..") {
      if (!p.parts.empty()) p.parts.pop_back();
    } else if (!part.empty() && part != ".") {
      if (!valid_part(part)) return p;
      p.parts.emplace_back(part);
    }
    i = j + 1;
  }
  p.ok = true;
  return p;
}

std::string display_of(const Parsed& p) {
  std::string out{p.drive, ':'};
  for (const std::string& part : p.parts) out += "\\" + part;
  return out;
}

std::string key_of(const Parsed& p) {
  return upper(display_of(p));
}

Parsed parent_of(Parsed p) {
  if (!p.parts.empty()) p.parts.pop_back();
  return p;
}

}  // namespace

struct FakeFileSystem::State {
  mutable std::mutex m;
  std::map<char, Drive> drives;
  std::map<std::string, std::shared_ptr<Node>> nodes;  // by upper-case key
  std::vector<Fault> faults;
  std::map<FsOp, int> calls;
  std::vector<std::string> made, removed;
  uint64_t next_index = 1;

  // Counts the call and answers the fault it meets, if any (kNone: no fault).
  Error hit(FsOp op, std::string_view path, std::string_view path2 = {}) {
    ++calls[op];
    std::string p1 = upper(path), p2 = upper(path2);
    for (std::size_t i = 0; i < faults.size(); ++i) {
      Fault& f = faults[i];
      if (f.op != op) continue;
      bool in_path = p1.find(f.path_part) != std::string::npos ||
                     (!path2.empty() && p2.find(f.path_part) != std::string::npos);
      if (!in_path || --f.remaining > 0) continue;
      Error e = f.error;
      if (!f.persistent) faults.erase(faults.begin() + static_cast<std::ptrdiff_t>(i));
      return e;
    }
    return Error::kNone;
  }

  std::shared_ptr<Node> find(const Parsed& p) const {
    auto it = nodes.find(key_of(p));
    return it == nodes.end() ? nullptr : it->second;
  }

  bool drive_known(char d) const { return drives.count(d) != 0; }

  // kNone when the parent of p is an existing directory (or the root).
  Error parent_ready(const Parsed& p) const {
    if (!drive_known(p.drive)) return Error::kNotFound;
    if (p.parts.size() <= 1) return Error::kNone;
    auto parent = find(parent_of(p));
    if (!parent) return Error::kNotFound;
    return parent->dir ? Error::kNone : Error::kNotDirectory;
  }

  std::shared_ptr<Node> add_node(const Parsed& p, bool dir) {
    auto n = std::make_shared<Node>();
    n->path = display_of(p);
    n->dir = dir;
    n->attrs = dir ? kAttrDirectory : kAttrArchive;
    n->index = next_index++;
    nodes[key_of(p)] = n;
    return n;
  }

  // Creates the missing directories above and at p (set-up only).
  void add_dirs(const Parsed& p) {
    Parsed level{true, p.drive, {}};
    for (const std::string& part : p.parts) {
      level.parts.push_back(part);
      if (!find(level)) add_node(level, true);
    }
  }

  void give_back(char drive, uint64_t bytes) {
    auto it = drives.find(drive);
    if (it == drives.end()) return;
    it->second.free = std::min(it->second.total, it->second.free + bytes);
  }

  // Nodes strictly below a directory key.
  std::vector<std::string> keys_below(const std::string& key) const {
    std::vector<std::string> out;
    std::string prefix = key + "\\";
    for (auto it = nodes.lower_bound(prefix); it != nodes.end(); ++it) {
      if (it->first.compare(0, prefix.size(), prefix) != 0) break;
      out.push_back(it->first);
    }
    return out;
  }
};

namespace {

using State = FakeFileSystem::State;

class FakeFile : public File {
 public:
  enum class Mode { kRead, kExclusive, kWrite };
  FakeFile(std::shared_ptr<State> s, std::shared_ptr<Node> n, Mode mode)
      : s_(std::move(s)), n_(std::move(n)), mode_(mode) {}
  ~FakeFile() override {
    std::lock_guard<std::mutex> g(s_->m);
    release();
  }

  int64_t read(void* buf, int64_t n) override {
    std::lock_guard<std::mutex> g(s_->m);
    if (s_->hit(FsOp::kRead, n_->path) != Error::kNone) return -1;
    if (closed_ || mode_ == Mode::kWrite || n < 0) return -1;
    uint64_t size = n_->data.size();
    uint64_t count = pos_ >= size ? 0 : std::min<uint64_t>(size - pos_, static_cast<uint64_t>(n));
    std::copy_n(n_->data.data() + pos_, count, static_cast<char*>(buf));
    pos_ += count;
    return static_cast<int64_t>(count);
  }

  int64_t write(const void* buf, int64_t n) override {
    std::lock_guard<std::mutex> g(s_->m);
    bool fault = s_->hit(FsOp::kWrite, n_->path) != Error::kNone;
    if (closed_ || mode_ != Mode::kWrite || n <= 0) return 0;
    auto drive = s_->drives.find(n_->path[0]);
    if (drive == s_->drives.end()) return 0;
    uint64_t want = static_cast<uint64_t>(fault ? n / 2 : n);
    uint64_t end = pos_ + want;
    uint64_t growth = end > n_->data.size() ? end - n_->data.size() : 0;
    if (growth > drive->second.free) {
      want -= growth - drive->second.free;
      growth = drive->second.free;
    }
    drive->second.free -= growth;
    if (pos_ + want > n_->data.size()) n_->data.resize(pos_ + want);
    std::copy_n(static_cast<const char*>(buf), want, n_->data.begin() + static_cast<int64_t>(pos_));
    pos_ += want;
    return static_cast<int64_t>(want);
  }

  Error flush() override {
    std::lock_guard<std::mutex> g(s_->m);
    Error e = s_->hit(FsOp::kFlush, n_->path);
    if (e != Error::kNone) return e;
    return closed_ ? Error::kIo : Error::kNone;
  }

  Error info(FileInfo& out) override {
    std::lock_guard<std::mutex> g(s_->m);
    if (closed_) return Error::kIo;
    out = FileInfo{n_->attrs, n_->data.size(), n_->mtime_ns, static_cast<uint64_t>(n_->path[0]),
                   n_->index};
    return Error::kNone;
  }

  Error close() override {
    std::lock_guard<std::mutex> g(s_->m);
    if (closed_) return Error::kIo;
    Error e = s_->hit(FsOp::kClose, n_->path);
    release();
    return e;
  }

 private:
  void release() {
    if (closed_) return;
    closed_ = true;
    --n_->open_count;
    if (mode_ == Mode::kExclusive) n_->exclusive = false;
  }

  std::shared_ptr<State> s_;
  std::shared_ptr<Node> n_;
  Mode mode_;
  uint64_t pos_ = 0;
  bool closed_ = false;
};

class FakeDirReader : public DirReader {
 public:
  explicit FakeDirReader(std::vector<RawEntry> entries) : entries_(std::move(entries)) {}
  bool next(RawEntry& out) override {
    if (at_ >= entries_.size()) return false;
    out = entries_[at_++];
    return true;
  }

 private:
  std::vector<RawEntry> entries_;
  std::size_t at_ = 0;
};

FileInfo info_of(const Node& n) {
  return FileInfo{n.attrs, n.dir ? 0 : n.data.size(), n.mtime_ns, static_cast<uint64_t>(n.path[0]),
                  n.index};
}

std::string last_part(const std::string& path) {
  return path.substr(path.find_last_of('\\') + 1);
}

}  // namespace

// --- set-up and inspection ---

FakeFileSystem::FakeFileSystem() : s_(std::make_shared<State>()) {
  add_drive('C', 1ull << 30, 512ull << 20);
}

FakeFileSystem::~FakeFileSystem() = default;

void FakeFileSystem::add_drive(char letter, uint64_t total, uint64_t free) {
  std::lock_guard<std::mutex> g(s_->m);
  s_->drives[static_cast<char>(fold(static_cast<uint8_t>(letter)))] = Drive{total, free};
}

void FakeFileSystem::remove_drive(char letter) {
  std::lock_guard<std::mutex> g(s_->m);
  char d = static_cast<char>(fold(static_cast<uint8_t>(letter)));
  s_->drives.erase(d);
  for (const std::string& key : s_->keys_below(std::string{d, ':'})) s_->nodes.erase(key);
}

void FakeFileSystem::set_free(char letter, uint64_t free) {
  std::lock_guard<std::mutex> g(s_->m);
  auto it = s_->drives.find(static_cast<char>(fold(static_cast<uint8_t>(letter))));
  if (it != s_->drives.end()) it->second.free = free;
}

void FakeFileSystem::add_file(const std::string& path, const std::string& content,
                              uint32_t attributes, int64_t mtime_ns) {
  std::lock_guard<std::mutex> g(s_->m);
  Parsed p = parse(path);
  if (!p.ok || p.parts.empty()) return;
  s_->add_dirs(parent_of(p));
  auto n = s_->add_node(p, false);
  n->data = content;
  n->attrs = attributes & ~static_cast<uint32_t>(kAttrDirectory);
  n->mtime_ns = mtime_ns;
}

void FakeFileSystem::add_dir(const std::string& path) {
  std::lock_guard<std::mutex> g(s_->m);
  Parsed p = parse(path);
  if (p.ok) s_->add_dirs(p);
}

bool FakeFileSystem::exists(const std::string& path) const {
  std::lock_guard<std::mutex> g(s_->m);
  Parsed p = parse(path);
  return p.ok && s_->find(p) != nullptr;
}

bool FakeFileSystem::is_dir(const std::string& path) const {
  std::lock_guard<std::mutex> g(s_->m);
  Parsed p = parse(path);
  auto n = p.ok ? s_->find(p) : nullptr;
  return n && n->dir;
}

std::string FakeFileSystem::content(const std::string& path) const {
  std::lock_guard<std::mutex> g(s_->m);
  Parsed p = parse(path);
  auto n = p.ok ? s_->find(p) : nullptr;
  return n ? n->data : std::string();
}

uint32_t FakeFileSystem::attributes(const std::string& path) const {
  std::lock_guard<std::mutex> g(s_->m);
  Parsed p = parse(path);
  auto n = p.ok ? s_->find(p) : nullptr;
  return n ? n->attrs : 0;
}

int64_t FakeFileSystem::mtime(const std::string& path) const {
  std::lock_guard<std::mutex> g(s_->m);
  Parsed p = parse(path);
  auto n = p.ok ? s_->find(p) : nullptr;
  return n ? n->mtime_ns : 0;
}

std::vector<std::string> FakeFileSystem::list(const std::string& dir) const {
  std::lock_guard<std::mutex> g(s_->m);
  Parsed p = parse(dir);
  std::vector<std::string> out;
  if (!p.ok) return out;
  for (const std::string& key : s_->keys_below(key_of(p))) out.push_back(s_->nodes[key]->path);
  std::sort(out.begin(), out.end());
  return out;
}

void FakeFileSystem::set_locked(const std::string& path, bool locked) {
  std::lock_guard<std::mutex> g(s_->m);
  Parsed p = parse(path);
  auto n = p.ok ? s_->find(p) : nullptr;
  if (n) n->locked = locked;
}

void FakeFileSystem::fail(FsOp op, int nth, Error error, bool persistent,
                          const std::string& path_part) {
  std::lock_guard<std::mutex> g(s_->m);
  std::string part = upper(path_part);
  std::replace(part.begin(), part.end(), '/', '\\');
  s_->faults.push_back(Fault{op, std::max(nth, 1), error, persistent, part});
}

void FakeFileSystem::clear_faults() {
  std::lock_guard<std::mutex> g(s_->m);
  s_->faults.clear();
}

int FakeFileSystem::calls(FsOp op) const {
  std::lock_guard<std::mutex> g(s_->m);
  auto it = s_->calls.find(op);
  return it == s_->calls.end() ? 0 : it->second;
}

std::vector<std::string> FakeFileSystem::directories_made() const {
  std::lock_guard<std::mutex> g(s_->m);
  return s_->made;
}

std::vector<std::string> FakeFileSystem::files_removed() const {
  std::lock_guard<std::mutex> g(s_->m);
  return s_->removed;
}

// --- FileSystem ---

namespace {

// The path as faults see it: normalised when it parses, else as given.
std::string shown(const Parsed& p, const Text& raw) {
  return p.ok ? display_of(p) : raw.str();
}

}  // namespace

std::unique_ptr<DirReader> FakeFileSystem::open_dir(const Text& dir, Error& err) {
  std::lock_guard<std::mutex> g(s_->m);
  Parsed p = parse(dir);
  err = s_->hit(FsOp::kOpenDir, shown(p, dir));
  if (err != Error::kNone) return nullptr;
  if (!p.ok) err = Error::kBadName;
  if (err == Error::kNone && !s_->drive_known(p.drive)) err = Error::kNotFound;
  if (err == Error::kNone && !p.parts.empty()) {
    auto n = s_->find(p);
    err = !n ? Error::kNotFound : (n->dir ? Error::kNone : Error::kNotDirectory);
  }
  if (err != Error::kNone) return nullptr;
  std::string key = key_of(p);
  std::vector<RawEntry> entries;
  for (const std::string& k : s_->keys_below(key)) {
    if (k.find('\\', key.size() + 1) != std::string::npos) continue;  // deeper level
    const Node& n = *s_->nodes[k];
    entries.push_back(RawEntry{Text(last_part(n.path)), info_of(n)});
  }
  return std::make_unique<FakeDirReader>(std::move(entries));
}

Error FakeFileSystem::stat(const Text& path, FileInfo& out) {
  std::lock_guard<std::mutex> g(s_->m);
  Parsed p = parse(path);
  Error e = s_->hit(FsOp::kStat, shown(p, path));
  if (e != Error::kNone) return e;
  if (!p.ok) return Error::kBadName;
  if (!s_->drive_known(p.drive)) return Error::kNotFound;
  if (p.parts.empty()) {
    out = FileInfo{kAttrDirectory, 0, 0, static_cast<uint64_t>(p.drive), 0};
    return Error::kNone;
  }
  auto n = s_->find(p);
  if (!n)
    return s_->parent_ready(p) == Error::kNotDirectory ? Error::kNotDirectory : Error::kNotFound;
  out = info_of(*n);
  return Error::kNone;
}

namespace {

// Finds an existing regular file to open, or says why there is none.
std::shared_ptr<Node> file_to_open(State& s, const Parsed& p, Error& err) {
  if (!p.ok) {
    err = Error::kBadName;
    return nullptr;
  }
  auto n = s.drive_known(p.drive) && !p.parts.empty() ? s.find(p) : nullptr;
  if (!n) {
    err = p.parts.empty() && s.drive_known(p.drive) ? Error::kIsDirectory : Error::kNotFound;
  } else if (n->dir) {
    err = Error::kIsDirectory;
    n = nullptr;
  }
  return n;
}

}  // namespace

std::unique_ptr<File> FakeFileSystem::open_read(const Text& path, Error& err) {
  std::lock_guard<std::mutex> g(s_->m);
  Parsed p = parse(path);
  err = s_->hit(FsOp::kOpenRead, shown(p, path));
  if (err != Error::kNone) return nullptr;
  auto n = file_to_open(*s_, p, err);
  if (!n) return nullptr;
  if (n->exclusive) {
    err = Error::kLocked;
    return nullptr;
  }
  ++n->open_count;
  return std::make_unique<FakeFile>(s_, n, FakeFile::Mode::kRead);
}

std::unique_ptr<File> FakeFileSystem::open_exclusive(const Text& path, Error& err) {
  std::lock_guard<std::mutex> g(s_->m);
  Parsed p = parse(path);
  err = s_->hit(FsOp::kOpenExclusive, shown(p, path));
  if (err != Error::kNone) return nullptr;
  auto n = file_to_open(*s_, p, err);
  if (!n) return nullptr;
  if (n->locked || n->open_count > 0) {
    err = Error::kLocked;
    return nullptr;
  }
  ++n->open_count;
  n->exclusive = true;
  return std::make_unique<FakeFile>(s_, n, FakeFile::Mode::kExclusive);
}

std::unique_ptr<File> FakeFileSystem::create_new(const Text& path, Error& err) {
  std::lock_guard<std::mutex> g(s_->m);
  Parsed p = parse(path);
  err = s_->hit(FsOp::kCreate, shown(p, path));
  if (err != Error::kNone) return nullptr;
  if (!p.ok || p.parts.empty()) err = p.ok ? Error::kExists : Error::kBadName;
  if (err == Error::kNone) err = s_->parent_ready(p);
  if (err == Error::kNone && s_->find(p)) err = Error::kExists;
  if (err != Error::kNone) return nullptr;
  auto n = s_->add_node(p, false);
  // A fresh file is "newer" than every default time stamp of the set-up.
  n->mtime_ns = 1'800'000'000'000'000'000 + static_cast<int64_t>(n->index);
  ++n->open_count;
  return std::make_unique<FakeFile>(s_, n, FakeFile::Mode::kWrite);
}

Error FakeFileSystem::remove(const Text& path) {
  std::lock_guard<std::mutex> g(s_->m);
  Parsed p = parse(path);
  Error e = s_->hit(FsOp::kRemove, shown(p, path));
  if (e != Error::kNone) return e;
  auto n = file_to_open(*s_, p, e);
  if (!n) return e;
  if (n->attrs & kAttrReadOnly) return Error::kAccessDenied;
  if (n->exclusive) return Error::kLocked;
  s_->nodes.erase(key_of(p));
  s_->give_back(p.drive, n->data.size());
  s_->removed.push_back(n->path);
  return Error::kNone;
}

namespace {

// Why `dst` may not be replaced by a rename, or kNone.
Error replace_refused(const Node& dst, bool replace) {
  if (!replace) return Error::kExists;
  if (dst.dir) return Error::kIsDirectory;
  if (dst.attrs & kAttrReadOnly) return Error::kAccessDenied;
  return dst.exclusive ? Error::kLocked : Error::kNone;
}

// Moves a node (and, for a directory, everything below it) to a new path.
void move_node(State& s, const std::shared_ptr<Node>& src, const Parsed& to) {
  std::string old_key = upper(src->path), old_path = src->path;
  std::vector<std::string> below = s.keys_below(old_key);
  s.nodes.erase(old_key);
  src->path = display_of(to);
  s.nodes[key_of(to)] = src;
  for (const std::string& k : below) {
    auto n = s.nodes[k];
    s.nodes.erase(k);
    n->path = src->path + n->path.substr(old_path.size());
    s.nodes[upper(n->path)] = n;
  }
}

}  // namespace

Error FakeFileSystem::rename(const Text& from, const Text& to, bool replace) {
  std::lock_guard<std::mutex> g(s_->m);
  Parsed pf = parse(from), pt = parse(to);
  Error e = s_->hit(FsOp::kRename, shown(pf, from), shown(pt, to));
  if (e != Error::kNone) return e;
  if (!pf.ok || !pt.ok || pt.parts.empty()) return Error::kBadName;
  auto src = s_->drive_known(pf.drive) && !pf.parts.empty() ? s_->find(pf) : nullptr;
  if (!src) return Error::kNotFound;
  if (src->exclusive) return Error::kLocked;
  if ((e = s_->parent_ready(pt)) != Error::kNone) return e;
  if (pf.drive != pt.drive) return Error::kIo;
  std::string to_key = key_of(pt);
  if (src->dir && to_key.compare(0, upper(src->path).size() + 1, upper(src->path) + "\\") == 0)
    return Error::kAccessDenied;  // a directory into itself
  auto dst = s_->find(pt);
  if (dst && dst != src) {
    if ((e = replace_refused(*dst, replace)) != Error::kNone) return e;
    s_->nodes.erase(to_key);
    s_->give_back(pt.drive, dst->data.size());
  }
  move_node(*s_, src, pt);
  return Error::kNone;
}

Error FakeFileSystem::set_attributes(const Text& path, uint32_t attributes) {
  std::lock_guard<std::mutex> g(s_->m);
  Parsed p = parse(path);
  Error e = s_->hit(FsOp::kSetAttributes, shown(p, path));
  if (e != Error::kNone) return e;
  auto n = p.ok && s_->drive_known(p.drive) ? s_->find(p) : nullptr;
  if (!n) return p.ok ? Error::kNotFound : Error::kBadName;
  n->attrs = (n->attrs & kAttrDirectory) | (attributes & kSettableAttrs);
  return Error::kNone;
}

Error FakeFileSystem::copy_attributes(const Text& from, const Text& to) {
  std::lock_guard<std::mutex> g(s_->m);
  Parsed pf = parse(from), pt = parse(to);
  Error e = s_->hit(FsOp::kCopyAttributes, shown(pf, from), shown(pt, to));
  if (e != Error::kNone) return e;
  auto src = pf.ok && s_->drive_known(pf.drive) ? s_->find(pf) : nullptr;
  auto dst = pt.ok && s_->drive_known(pt.drive) ? s_->find(pt) : nullptr;
  if (!src || !dst) return Error::kNotFound;
  dst->attrs = (dst->attrs & kAttrDirectory) | (src->attrs & kSettableAttrs);
  return Error::kNone;
}

Error FakeFileSystem::set_mtime(const Text& path, int64_t mtime_ns) {
  std::lock_guard<std::mutex> g(s_->m);
  Parsed p = parse(path);
  Error e = s_->hit(FsOp::kSetMtime, shown(p, path));
  if (e != Error::kNone) return e;
  auto n = p.ok && s_->drive_known(p.drive) ? s_->find(p) : nullptr;
  if (!n) return p.ok ? Error::kNotFound : Error::kBadName;
  n->mtime_ns = mtime_ns;
  return Error::kNone;
}

Error FakeFileSystem::make_dir(const Text& path) {
  std::lock_guard<std::mutex> g(s_->m);
  Parsed p = parse(path);
  Error e = s_->hit(FsOp::kMakeDir, shown(p, path));
  if (e != Error::kNone) return e;
  if (!p.ok) return Error::kBadName;
  if ((e = s_->parent_ready(p)) != Error::kNone) return e;
  if (p.parts.empty() || s_->find(p)) return Error::kExists;
  s_->made.push_back(s_->add_node(p, true)->path);
  return Error::kNone;
}

DriveSpace FakeFileSystem::drive_space(const Text& path) {
  std::lock_guard<std::mutex> g(s_->m);
  DriveSpace out;
  if (s_->hit(FsOp::kDriveSpace, path.view()) != Error::kNone) return out;  // kNotExist
  std::string_view v = path.view();
  if (v.size() < 2 || v[1] != ':' || !is_letter(v[0])) {
    out.status = DriveSpace::kIncorrectName;
    return out;
  }
  auto it = s_->drives.find(static_cast<char>(fold(static_cast<uint8_t>(v[0]))));
  if (it == s_->drives.end()) return out;
  out = DriveSpace{DriveSpace::kOk, it->second.total, it->second.free};
  return out;
}

// --- FakeConsole ---

void FakeConsole::present(const CellGrid& cells) {
  std::lock_guard<std::mutex> g(m_);
  std::copy(&cells[0][0], &cells[0][0] + kScreenRows * kScreenCols, &grid_[0][0]);
  ++presents_;
}

void FakeConsole::transcript(std::string_view cp866) {
  std::lock_guard<std::mutex> g(m_);
  transcript_ += cp866_to_glyphs_utf8(cp866);
}

void FakeConsole::transcript_line_break() {
  std::lock_guard<std::mutex> g(m_);
  transcript_ += '\n';
}

bool FakeConsole::key_waiting() {
  std::lock_guard<std::mutex> g(m_);
  if (key_countdown_ < 0) return false;
  if (key_countdown_ == 0) return true;
  --key_countdown_;
  return false;
}

void FakeConsole::wait_key() {
  std::lock_guard<std::mutex> g(m_);
  ++waits_;
}

void FakeConsole::press_key(int after_checks) {
  std::lock_guard<std::mutex> g(m_);
  key_countdown_ = std::max(after_checks, 0);
}

std::string FakeConsole::transcript_utf8() const {
  std::lock_guard<std::mutex> g(m_);
  return transcript_;
}

std::string FakeConsole::row(int y) const {
  std::lock_guard<std::mutex> g(m_);
  std::string out;
  if (y < 1 || y > kScreenRows) return out;
  for (const Cell& c : grid_[y - 1]) append_utf8(out, cp866_glyph(c.ch));
  return out;
}

// Columns 1..80 and rows 1..25, as the screen is addressed.
Cell FakeConsole::cell(int x, int y) const {
  std::lock_guard<std::mutex> g(m_);
  if (x < 1 || x > kScreenCols || y < 1 || y > kScreenRows) return Cell{};
  return grid_[y - 1][x - 1];
}

// --- FakeClock ---

namespace {

constexpr int64_t kMsPerDay = 86'400'000;

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
int64_t days_from_civil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// Inverse of days_from_civil; also gives the weekday (0 = Sunday).
void civil_from_days(int64_t z, LocalTime& t) {
  t.weekday = static_cast<int32_t>(((z % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  t.day = static_cast<int32_t>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int32_t>(mp < 10 ? mp + 3 : mp - 9);
  t.year = static_cast<int32_t>(yoe + era * 400 + (t.month <= 2));
}

int64_t to_ms(const LocalTime& t) {
  int64_t days = days_from_civil(t.year, t.month, t.day);
  int64_t secs = (static_cast<int64_t>(t.hour) * 60 + t.minute) * 60 + t.second;
  return days * kMsPerDay + secs * 1000 + t.hundredths * 10;
}

LocalTime from_ms(int64_t ms) {
  int64_t days = ms >= 0 ? ms / kMsPerDay : -((-ms + kMsPerDay - 1) / kMsPerDay);
  int64_t rest = ms - days * kMsPerDay;
  LocalTime t;
  civil_from_days(days, t);
  t.hour = static_cast<int32_t>(rest / 3'600'000);
  t.minute = static_cast<int32_t>(rest / 60'000 % 60);
  t.second = static_cast<int32_t>(rest / 1000 % 60);
  t.hundredths = static_cast<int32_t>(rest % 1000 / 10);
  return t;
}

}  // namespace

FakeClock::FakeClock() : now_ms_(0) {
  LocalTime t;
  t.year = 2026, t.month = 12, t.day = 5;
  t.hour = 14, t.minute = 7, t.second = 9, t.hundredths = 0;
  base_ = from_ms(to_ms(t));
}

LocalTime FakeClock::local_time() {
  std::lock_guard<std::mutex> g(m_);
  return from_ms(to_ms(base_) + now_ms_.load());
}

void FakeClock::sleep_ms(int64_t ms) {
  if (ms <= 0) return;
  now_ms_.fetch_add(ms);
  slept_.fetch_add(ms);
}

// Monotonic time keeps running; only the local time jumps.
void FakeClock::set(const LocalTime& t) {
  std::lock_guard<std::mutex> g(m_);
  base_ = from_ms(to_ms(t) - now_ms_.load());
}

void FakeClock::advance_ms(int64_t ms) {
  if (ms > 0) now_ms_.fetch_add(ms);
}

// --- FakeEnvironment, FakeProcess ---

std::optional<std::string> FakeEnvironment::get(const char* name) {
  auto it = vars.find(name);
  if (it == vars.end()) return std::nullopt;
  return it->second;
}

bool FakeProcess::run_command(const Text& command_line) {
  commands.push_back(command_line.str());
  if (!can_start) return false;
  if (on_run) on_run();
  return true;
}

namespace {

// A named lock of the fake: one recursive mutex per name for the whole test
// binary, as a named system mutex is shared by every instance. A wait for it
// takes real time (at most the time-out; polled, as ThreadSanitizer cannot
// follow a timed wait). A lock that is dropped while held is released, as
// Windows abandons a mutex.
class FakeNamedLock : public NamedLock {
 public:
  explicit FakeNamedLock(std::shared_ptr<std::recursive_mutex> m) : m_(std::move(m)) {}
  ~FakeNamedLock() override {
    while (held_ > 0) unlock();
  }
  bool lock_within(int64_t timeout_ms) override {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!m_->try_lock()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ++held_;
    return true;
  }
  void unlock() override {
    if (held_ == 0) return;
    --held_;
    m_->unlock();
  }

 private:
  std::shared_ptr<std::recursive_mutex> m_;
  int held_ = 0;
};

}  // namespace

std::unique_ptr<NamedLock> FakeProcess::named_lock(const char* name) {
  static std::mutex registry_mutex;
  static std::map<std::string, std::shared_ptr<std::recursive_mutex>> registry;
  std::lock_guard<std::mutex> g(registry_mutex);
  auto& m = registry[name];
  if (!m) m = std::make_shared<std::recursive_mutex>();
  return std::make_unique<FakeNamedLock>(m);
}

}  // namespace qv::fake
