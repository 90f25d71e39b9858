// The fake platform. Paths of the fake file system: "D:\DIR\NAME" or
// "D:/DIR/NAME"; a path that does not begin with a drive letter and ':' lies
// below the root of drive C: ("." is that root). "." parts are dropped and
// ".." goes one level up (never above the root). Test set-up (add_file,
// add_dir) leaves the free space alone; writes consume it and deletions give
// it back. Each drive is a file system of its own: nothing is renamed from
// one drive to another (kCrossDevice).
//
// Sharing follows the strictest backend: a file taken as a source keeps every
// other opener out (kLocked) and cannot be replaced; a file another program
// holds (set_locked) cannot be taken. A hold keeps other holders out, not a
// removal, as on every backend. A file removed or replaced while open stays
// readable through its handle. Names that are not plain names (control
// characters) are never listed.
//
// A File knows the file under the directory and name it was opened, moved
// or published under, as the interface promises: when another program renames
// it elsewhere, the File finds its name gone (kNotFound). A file in flight
// closed unpublished is gone.
#include "tests/fake_platform.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/cp866.h"
#include "platform/dir_search.h"

namespace qv::fake {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr uint32_t kSettableAttrs = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive;
constexpr std::string_view kTempPrefix = ".~qvP";
// Time stamp of a fresh file: "newer" than every default stamp of the set-up.
constexpr int64_t kFreshStamp = 1'800'000'000'000'000'000;

struct Node {
  std::string path;  // display path with the names as created; "C:" for a root
  bool dir = false;
  std::string data;
  uint32_t attrs = 0;
  uint32_t mode = 0644;
  int64_t mtime_ns = 0;
  uint64_t index = 0;
  int open_count = 0;
  bool source_held = false;      // taken by open_source
  bool locked = false;           // another program holds it open
  int other_asks = 0;            // times another program asked to open it
  bool gone = false;             // removed; open handles may still refer to it
  const void* holder = nullptr;  // the Dir that holds this directory
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
  std::string path_part;         // upper case, '\' separators
  std::function<void()> action;  // set: run it instead of failing
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

// One plain name inside a directory: never a path, never "." or "..".
bool plain_name(std::string_view name) {
  if (name.empty() || name == "." || name == ".." || !valid_part(name)) return false;
  return std::none_of(name.begin(), name.end(),
                      [](char c) { return is_sep(c) || static_cast<uint8_t>(c) < 0x20; });
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

std::string last_part(const std::string& path) {
  return path.substr(path.find_last_of('\\') + 1);
}

std::string parent_path(const std::string& path) {
  return path.substr(0, path.find_last_of('\\'));
}

FileInfo info_of(const Node& n) {
  FileInfo out;
  out.attributes = n.attrs;
  out.size = n.dir ? 0 : n.data.size();
  out.mtime_ns = n.mtime_ns;
  out.ctime_ns = n.mtime_ns;
  out.mode = n.mode;
  out.device = static_cast<uint64_t>(n.path[0]);
  out.index = n.index;
  return out;
}

}  // namespace

struct FakeFileSystem::State {
  mutable std::recursive_mutex m;
  std::map<char, Drive> drives;
  std::map<std::string, std::shared_ptr<Node>> nodes;  // by upper-case path
  std::vector<Fault> faults;
  std::map<FsOp, int> calls;
  std::vector<std::string> made;
  uint64_t next_index = 1;
  uint64_t next_name = 1;  // of the system's own names in flight

  // Counts the call, runs the actions due now and answers the fault it
  // meets, if any (kNone: no fault).
  Error hit(FsOp op, std::string_view path, std::string_view path2 = {}) {
    ++calls[op];
    std::string p1 = upper(path), p2 = upper(path2);
    Error result = Error::kNone;
    std::vector<std::function<void()>> actions;
    for (std::size_t i = 0; i < faults.size();) {
      Fault& f = faults[i];
      bool in_path = p1.find(f.path_part) != std::string::npos ||
                     (!p2.empty() && p2.find(f.path_part) != std::string::npos);
      if (f.op != op || !in_path || --f.remaining > 0) {
        ++i;
        continue;
      }
      if (f.action) actions.push_back(f.action);
      if (!f.action && result == Error::kNone) result = f.error;
      if (f.persistent) {
        ++i;
      } else {
        faults.erase(faults.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
    for (auto& action : actions) action();
    return result;
  }

  std::shared_ptr<Node> find_key(const std::string& key) const {
    auto it = nodes.find(key);
    return it == nodes.end() ? nullptr : it->second;
  }
  std::shared_ptr<Node> find(const Parsed& p) const { return find_key(key_of(p)); }
  std::shared_ptr<Node> child(const Node& dir, std::string_view name) const {
    return find_key(upper(dir.path + "\\" + std::string(name)));
  }

  bool drive_known(char d) const { return drives.count(d) != 0; }

  std::shared_ptr<Node> add_node(const std::string& display, bool dir) {
    auto n = std::make_shared<Node>();
    n->path = display;
    n->dir = dir;
    n->attrs = dir ? kAttrDirectory : kAttrArchive;
    n->mode = dir ? 0755 : 0644;
    n->index = next_index++;
    nodes[upper(display)] = n;
    return n;
  }

  // Creates the missing directories above and at p (set-up only).
  void add_dirs(const Parsed& p) {
    Parsed level{true, p.drive, {}};
    if (!find(level)) add_node(display_of(level), true);
    for (const std::string& part : p.parts) {
      level.parts.push_back(part);
      if (!find(level)) add_node(display_of(level), true);
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

  bool has_children(const Node& dir) const { return !keys_below(upper(dir.path)).empty(); }

  // Removes a node and everything below it; open handles keep the nodes.
  void drop(const std::shared_ptr<Node>& n) {
    std::vector<std::string> keys = keys_below(upper(n->path));
    keys.push_back(upper(n->path));
    for (const std::string& k : keys) {
      auto it = nodes.find(k);
      if (it == nodes.end()) continue;
      Node& gone = *it->second;
      gone.gone = true;
      if (!gone.dir) give_back(gone.path[0], gone.data.size());
      nodes.erase(it);
    }
  }

  // Moves a node (and, for a directory, everything below it) to a new path.
  void move(const std::shared_ptr<Node>& src, const std::string& to) {
    std::string old_key = upper(src->path), old_path = src->path;
    std::vector<std::string> below = keys_below(old_key);
    nodes.erase(old_key);
    src->path = to;
    nodes[upper(to)] = src;
    for (const std::string& k : below) {
      auto n = nodes[k];
      nodes.erase(k);
      n->path = to + n->path.substr(old_path.size());
      nodes[upper(n->path)] = n;
    }
  }

  // Entry `name` of `dir`, or why there is none.
  std::shared_ptr<Node> entry(const Node& dir, std::string_view name, Error& err) const {
    err = Error::kNone;
    if (!plain_name(name)) {
      err = Error::kBadName;
    } else if (dir.gone) {
      err = Error::kNotFound;
    } else if (auto n = child(dir, name)) {
      return n;
    } else {
      err = Error::kNotFound;
    }
    return nullptr;
  }

  // kNone when entry `name` of `dir` is `n`: kNotFound when the name is
  // free, kChanged when another file has it.
  Error names(const Node& dir, const std::string& name, const std::shared_ptr<Node>& n) const {
    auto now = dir.gone ? nullptr : child(dir, name);
    if (now == n && !n->gone) return Error::kNone;
    return now ? Error::kChanged : Error::kNotFound;
  }

  // Renames `src` to `name` in `to`, replacing a file there when `replace`.
  Error rename_node(const std::shared_ptr<Node>& src, const Node& to, std::string_view name,
                    bool replace) {
    if (!plain_name(name)) return Error::kBadName;
    if (to.gone) return Error::kNotFound;
    if (to.path[0] != src->path[0]) return Error::kCrossDevice;
    std::string dest = to.path + "\\" + std::string(name);
    if (src->dir && upper(dest + "\\").rfind(upper(src->path + "\\"), 0) == 0) {
      return Error::kAccessDenied;  // a directory into itself
    }
    auto dst = child(to, name);
    if (dst == src) return Error::kNone;
    if (dst) {
      if (!replace) return Error::kExists;
      if (dst->dir) return Error::kIsDirectory;
      if (dst->locked || dst->source_held) return Error::kLocked;
      drop(dst);
    }
    move(src, dest);
    return Error::kNone;
  }

  // A fresh name with `prefix` that `dir` does not hold.
  std::string fresh_name(const Node& dir, std::string_view prefix) {
    std::string name;
    do {
      name = std::string(prefix) + std::to_string(next_name++);
    } while (child(dir, name));
    return name;
  }
};

namespace {

using State = FakeFileSystem::State;

class FakeFile : public File {
 public:
  enum class Mode { kRead, kSource, kTemp };
  FakeFile(std::shared_ptr<State> s, std::shared_ptr<Node> n, Mode mode)
      : s_(std::move(s)), n_(std::move(n)), mode_(mode) {
    ++n_->open_count;
    if (mode_ == Mode::kSource) n_->source_held = true;
    asks_ = n_->other_asks;
    size_ = n_->data.size();
    mtime_ = n_->mtime_ns;
    remember_place();
  }
  ~FakeFile() override {
    Lock g(s_->m);
    release();
  }

  int64_t read(void* buf, int64_t n) override {
    Lock g(s_->m);
    if (s_->hit(FsOp::kRead, n_->path) != Error::kNone) return -1;
    if (closed_ || mode_ == Mode::kTemp || n < 0) return -1;
    uint64_t size = n_->data.size();
    uint64_t count = pos_ >= size ? 0 : std::min<uint64_t>(size - pos_, static_cast<uint64_t>(n));
    std::copy_n(n_->data.data() + pos_, count, static_cast<char*>(buf));
    pos_ += count;
    return static_cast<int64_t>(count);
  }

  int64_t write(const void* buf, int64_t n) override {
    Lock g(s_->m);
    bool fault = s_->hit(FsOp::kWrite, n_->path) != Error::kNone;
    if (closed_ || mode_ != Mode::kTemp || n <= 0) return 0;
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

  Error rewind() override {
    Lock g(s_->m);
    if (closed_) return Error::kIo;
    pos_ = 0;
    return Error::kNone;
  }

  Error flush() override { return simple(FsOp::kFlush); }

  Error info(FileInfo& out) override {
    Lock g(s_->m);
    if (closed_) return Error::kIo;
    out = info_of(*n_);
    return Error::kNone;
  }

  Error set_attributes(const FileInfo& like) override {
    Lock g(s_->m);
    Error e = simple(FsOp::kSetAttributes);
    if (e != Error::kNone) return e;
    n_->attrs = like.attributes & kSettableAttrs;
    n_->mode = like.mode & 0777;
    return Error::kNone;
  }

  Error set_mtime(int64_t mtime_ns) override {
    Lock g(s_->m);
    Error e = simple(FsOp::kSetMtime);
    if (e == Error::kNone) n_->mtime_ns = mtime_ns;
    return e;
  }

  bool held() override {
    Lock g(s_->m);
    if (s_->hit(FsOp::kHeld, n_->path) != Error::kNone) return false;
    if (mode_ != Mode::kSource) return true;
    return !closed_ && !n_->gone && n_->other_asks == asks_ && n_->data.size() == size_ &&
           n_->mtime_ns == mtime_;
  }

  Error move_to(Dir& to, const Text& name, bool replace) override;

  Error remove() override {
    Lock g(s_->m);
    Error e = simple(FsOp::kRemove);
    if (e == Error::kNone) e = still_named();
    if (e == Error::kNone) s_->drop(n_);
    return e;
  }

  Error close() override {
    Lock g(s_->m);
    if (closed_) return Error::kIo;
    release();
    return Error::kNone;
  }

  const std::shared_ptr<Node>& node() const { return n_; }
  // The file is known under its present name: the directory and name it was
  // opened under, or given since by this system (a real handle knows no other).
  void remember_place() {
    dir_ = s_->find_key(upper(parent_path(n_->path)));
    name_ = last_part(n_->path);
  }
  // kNone when the name the file is known under still names it.
  Error still_named() const { return dir_ ? s_->names(*dir_, name_, n_) : Error::kNotFound; }
  bool in_flight() const { return mode_ == Mode::kTemp && !closed_ && !published_; }
  void mark_published() {
    published_ = true;
    remember_place();
  }

 private:
  // Counts the call and meets its fault; a closed file fails.
  Error simple(FsOp op) {
    Lock g(s_->m);
    Error e = s_->hit(op, n_->path);
    if (e == Error::kNone && closed_) e = Error::kIo;
    return e;
  }

  void release() {
    if (closed_) return;
    closed_ = true;
    --n_->open_count;
    if (mode_ == Mode::kSource) n_->source_held = false;
    // A file in flight dropped unpublished leaves no name behind.
    if (mode_ == Mode::kTemp && !published_ && !n_->gone) s_->drop(n_);
  }

  std::shared_ptr<State> s_;
  std::shared_ptr<Node> n_;
  std::shared_ptr<Node> dir_;  // where the file is known, under name_
  std::string name_;
  Mode mode_;
  uint64_t pos_ = 0;
  bool closed_ = false;
  bool published_ = false;
  int asks_ = 0;       // other_asks when it was opened
  uint64_t size_ = 0;  // size and time stamp when it was opened
  int64_t mtime_ = 0;
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

class FakeDir : public Dir {
 public:
  FakeDir(std::shared_ptr<State> s, std::shared_ptr<Node> n, const Text& path)
      : s_(std::move(s)), n_(std::move(n)), path_(path) {}
  ~FakeDir() override {
    Lock g(s_->m);
    if (n_->holder == this) n_->holder = nullptr;
  }

  const Text& path() const override { return path_; }

  Error info(FileInfo& out) override {
    Lock g(s_->m);
    if (n_->gone) return Error::kNotFound;
    out = info_of(*n_);
    return Error::kNone;
  }

  std::unique_ptr<DirReader> list(Error& err) override {
    Lock g(s_->m);
    err = s_->hit(FsOp::kList, n_->path);
    if (err == Error::kNone && n_->gone) err = Error::kNotFound;
    if (err != Error::kNone) return nullptr;
    std::string key = upper(n_->path);
    std::vector<RawEntry> entries;
    for (const std::string& k : s_->keys_below(key)) {
      if (k.find('\\', key.size() + 1) != std::string::npos) continue;  // deeper level
      const Node& n = *s_->nodes[k];
      if (!plain_name(last_part(n.path))) continue;  // never yielded as a name to act on
      entries.push_back(RawEntry{Text(last_part(n.path)), info_of(n)});
    }
    return std::make_unique<FakeDirReader>(std::move(entries));
  }

  Error stat(const Text& name, FileInfo& out) override {
    Lock g(s_->m);
    Error e = s_->hit(FsOp::kStat, below(name));
    auto n = e == Error::kNone ? s_->entry(*n_, name, e) : nullptr;
    if (n) out = info_of(*n);
    return e;
  }

  std::unique_ptr<Dir> open_dir(const Text& name, Error& err) override {
    Lock g(s_->m);
    err = s_->hit(FsOp::kOpenDir, below(name));
    auto n = err == Error::kNone ? s_->entry(*n_, name, err) : nullptr;
    if (!n) return nullptr;
    if (!n->dir) {
      err = Error::kNotDirectory;
      return nullptr;
    }
    return std::make_unique<FakeDir>(s_, n, join_path(path_, name.view()));
  }

  Error make_dir(const Text& name) override {
    Lock g(s_->m);
    Error e = s_->hit(FsOp::kMakeDir, below(name));
    if (e != Error::kNone) return e;
    s_->entry(*n_, name, e);
    if (e == Error::kNone) return Error::kExists;
    if (e != Error::kNotFound || n_->gone) return e;
    s_->made.push_back(s_->add_node(below(name), true)->path);
    return Error::kNone;
  }

  Error remove_dir(const Text& name) override {
    Lock g(s_->m);
    Error e = s_->hit(FsOp::kRemoveDir, below(name));
    auto n = e == Error::kNone ? s_->entry(*n_, name, e) : nullptr;
    if (!n) return e;
    if (!n->dir) return Error::kNotDirectory;
    if (s_->has_children(*n)) return Error::kExists;
    s_->drop(n);
    return Error::kNone;
  }

  std::unique_ptr<Dir> make_hold_dir(Text& name, Error& err) override {
    Lock g(s_->m);
    err = s_->hit(FsOp::kMakeHoldDir, n_->path);
    if (err == Error::kNone && n_->gone) err = Error::kNotFound;
    if (err != Error::kNone) return nullptr;
    name = Text(s_->fresh_name(*n_, kHoldPrefix));
    auto n = s_->add_node(below(name), true);
    n->mode = 0700;  // only the running account enters it
    auto dir = std::make_unique<FakeDir>(s_, n, join_path(path_, name.view()));
    dir->hold();
    return dir;
  }

  bool hold() override {
    Lock g(s_->m);
    if (n_->gone || (n_->holder && n_->holder != this)) return false;
    n_->holder = this;
    return true;
  }

  std::unique_ptr<File> open_read(const Text& name, Error& err) override {
    return open_file(FsOp::kOpenRead, name, err);
  }

  std::unique_ptr<File> open_source(const Text& name, Error& err) override {
    return open_file(FsOp::kOpenSource, name, err);
  }

  std::unique_ptr<File> create_temp(Error& err) override {
    Lock g(s_->m);
    err = s_->hit(FsOp::kCreateTemp, n_->path);
    if (err == Error::kNone && n_->gone) err = Error::kNotFound;
    if (err != Error::kNone) return nullptr;
    auto n = s_->add_node(below(Text(s_->fresh_name(*n_, kTempPrefix))), false);
    n->mtime_ns = kFreshStamp + static_cast<int64_t>(n->index);
    n->mode = 0600;
    return std::make_unique<FakeFile>(s_, n, FakeFile::Mode::kTemp);
  }

  Error publish(File& file, const Text& name, bool replace) override {
    Lock g(s_->m);
    Error e = s_->hit(FsOp::kPublish, below(name));
    if (e != Error::kNone) return e;
    auto* temp = dynamic_cast<FakeFile*>(&file);
    if (!temp || !temp->in_flight() || temp->node()->gone ||
        parent_path(temp->node()->path) != n_->path) {
      return Error::kIo;  // not a file in flight of this directory
    }
    e = s_->rename_node(temp->node(), *n_, name, replace);
    if (e == Error::kNone) temp->mark_published();
    return e;
  }

  Error rename(const Text& name, Dir& to, const Text& to_name) override {
    Lock g(s_->m);
    auto* dest = dynamic_cast<FakeDir*>(&to);
    if (!dest) return Error::kIo;
    if (!plain_name(to_name.view())) return Error::kBadName;
    Error e = s_->hit(FsOp::kRename, below(name), dest->below(to_name));
    auto n = e == Error::kNone ? s_->entry(*n_, name, e) : nullptr;
    if (!n) return e;
    if (n->source_held) return Error::kLocked;
    return s_->rename_node(n, *dest->n_, to_name, false);
  }

  Error sync() override {
    Lock g(s_->m);
    Error e = s_->hit(FsOp::kSync, n_->path);
    return e == Error::kNone && n_->gone ? Error::kNotFound : e;
  }

  void remove_leftovers() override {
    Lock g(s_->m);
    std::string key = upper(n_->path);
    for (const std::string& k : s_->keys_below(key)) {
      auto n = s_->find_key(k);
      std::string name = last_part(n->path);
      if (k.find('\\', key.size() + 1) != std::string::npos || n->dir) continue;
      if (is_partial_name(name) && name.rfind(kHoldPrefix, 0) != 0 && n->open_count == 0) {
        s_->drop(n);
      }
    }
  }

  // The display path of entry `name` (what faults are matched against).
  std::string below(const Text& name) const { return n_->path + "\\" + name.str(); }
  const std::shared_ptr<Node>& node() const { return n_; }

 private:
  std::unique_ptr<File> open_file(FsOp op, const Text& name, Error& err) {
    Lock g(s_->m);
    err = s_->hit(op, below(name));
    auto n = err == Error::kNone ? s_->entry(*n_, name, err) : nullptr;
    if (!n) return nullptr;
    if (n->dir) {
      err = Error::kIsDirectory;
      return nullptr;
    }
    bool source = op == FsOp::kOpenSource;
    if (n->source_held || (source && (n->locked || n->open_count > 0))) {
      err = Error::kLocked;
      return nullptr;
    }
    return std::make_unique<FakeFile>(s_, n,
                                      source ? FakeFile::Mode::kSource : FakeFile::Mode::kRead);
  }

  std::shared_ptr<State> s_;
  std::shared_ptr<Node> n_;
  Text path_;
};

Error FakeFile::move_to(Dir& to, const Text& name, bool replace) {
  Lock g(s_->m);
  auto* dest = dynamic_cast<FakeDir*>(&to);
  if (!dest) return Error::kIo;
  Error e = s_->hit(FsOp::kMoveTo, n_->path, dest->below(name));
  if (e == Error::kNone && closed_) e = Error::kIo;
  if (e == Error::kNone) e = still_named();
  if (e == Error::kNone) e = s_->rename_node(n_, *dest->node(), name.view(), replace);
  if (e == Error::kNone) remember_place();
  return e;
}

}  // namespace

// --- set-up and inspection ---

FakeFileSystem::FakeFileSystem() : s_(std::make_shared<State>()) {
  add_drive('C', 1ull << 30, 512ull << 20);
}

FakeFileSystem::~FakeFileSystem() = default;

void FakeFileSystem::add_drive(char letter, uint64_t total, uint64_t free) {
  Lock g(s_->m);
  char d = static_cast<char>(fold(static_cast<uint8_t>(letter)));
  s_->drives[d] = Drive{total, free};
  s_->add_dirs(Parsed{true, d, {}});
}

void FakeFileSystem::set_free(char letter, uint64_t free) {
  Lock g(s_->m);
  auto it = s_->drives.find(static_cast<char>(fold(static_cast<uint8_t>(letter))));
  if (it != s_->drives.end()) it->second.free = free;
}

void FakeFileSystem::add_file(const std::string& path, const std::string& content,
                              uint32_t attributes, int64_t mtime_ns) {
  Lock g(s_->m);
  Parsed p = parse(path);
  if (!p.ok || p.parts.empty() || !s_->drive_known(p.drive)) return;
  s_->add_dirs(parent_of(p));
  if (auto old = s_->find(p)) s_->drop(old);
  auto n = s_->add_node(display_of(p), false);
  n->data = content;
  n->attrs = attributes & ~static_cast<uint32_t>(kAttrDirectory);
  n->mode = (attributes & kAttrReadOnly) ? 0444 : 0644;
  n->mtime_ns = mtime_ns;
}

void FakeFileSystem::add_dir(const std::string& path) {
  Lock g(s_->m);
  Parsed p = parse(path);
  if (p.ok && s_->drive_known(p.drive)) s_->add_dirs(p);
}

namespace {

std::shared_ptr<Node> node_at(const State& s, const std::string& path) {
  Parsed p = parse(path);
  return p.ok ? s.find(p) : nullptr;
}

}  // namespace

bool FakeFileSystem::exists(const std::string& path) const {
  Lock g(s_->m);
  return node_at(*s_, path) != nullptr;
}

bool FakeFileSystem::is_dir(const std::string& path) const {
  Lock g(s_->m);
  auto n = node_at(*s_, path);
  return n && n->dir;
}

std::string FakeFileSystem::content(const std::string& path) const {
  Lock g(s_->m);
  auto n = node_at(*s_, path);
  return n ? n->data : std::string();
}

uint32_t FakeFileSystem::attributes(const std::string& path) const {
  Lock g(s_->m);
  auto n = node_at(*s_, path);
  return n ? n->attrs : 0;
}

int64_t FakeFileSystem::mtime(const std::string& path) const {
  Lock g(s_->m);
  auto n = node_at(*s_, path);
  return n ? n->mtime_ns : 0;
}

std::vector<std::string> FakeFileSystem::list(const std::string& dir) const {
  Lock g(s_->m);
  Parsed p = parse(dir);
  std::vector<std::string> out;
  if (!p.ok) return out;
  for (const std::string& key : s_->keys_below(key_of(p))) out.push_back(s_->nodes[key]->path);
  std::sort(out.begin(), out.end());
  return out;
}

void FakeFileSystem::set_locked(const std::string& path, bool locked) {
  Lock g(s_->m);
  if (auto n = node_at(*s_, path)) n->locked = locked;
}

void FakeFileSystem::touch_by_other(const std::string& path) {
  Lock g(s_->m);
  if (auto n = node_at(*s_, path)) ++n->other_asks;
}

void FakeFileSystem::move_by_other(const std::string& from, const std::string& to) {
  Lock g(s_->m);
  Parsed pt = parse(to);
  auto src = node_at(*s_, from);
  auto parent = pt.ok && !pt.parts.empty() ? s_->find(parent_of(pt)) : nullptr;
  if (!src || !parent || !parent->dir) return;
  // As on a system without mandatory sharing: an open file is no obstacle.
  auto dst = s_->find(pt);
  if (dst == src || (dst && dst->dir)) return;
  if (dst) s_->drop(dst);
  s_->move(src, display_of(pt));
}

void FakeFileSystem::fail(FsOp op, int nth, Error error, bool persistent,
                          const std::string& path_part) {
  Lock g(s_->m);
  std::string part = upper(path_part);
  std::replace(part.begin(), part.end(), '/', '\\');
  s_->faults.push_back(Fault{op, std::max(nth, 1), error, persistent, part, nullptr});
}

void FakeFileSystem::at_call(FsOp op, int nth, std::function<void()> action,
                             const std::string& path_part) {
  fail(op, nth, Error::kNone, false, path_part);
  Lock g(s_->m);
  s_->faults.back().action = std::move(action);
}

void FakeFileSystem::clear_faults() {
  Lock g(s_->m);
  s_->faults.clear();
}

int FakeFileSystem::calls(FsOp op) const {
  Lock g(s_->m);
  auto it = s_->calls.find(op);
  return it == s_->calls.end() ? 0 : it->second;
}

std::vector<std::string> FakeFileSystem::directories_made() const {
  Lock g(s_->m);
  return s_->made;
}

// --- FileSystem ---

namespace {

// The path as faults see it: normalised when it parses, else as given.
std::string shown(const Parsed& p, const Text& raw) {
  return p.ok ? display_of(p) : raw.str();
}

// The node at an operator's path, or why there is none.
std::shared_ptr<Node> resolve(const State& s, const Parsed& p, Error& err) {
  err = Error::kNone;
  if (!p.ok) {
    err = Error::kBadName;
    return nullptr;
  }
  if (!s.drive_known(p.drive)) {
    err = Error::kNotFound;
    return nullptr;
  }
  if (auto n = s.find(p)) return n;
  auto parent = s.find(parent_of(p));
  err = parent && !parent->dir ? Error::kNotDirectory : Error::kNotFound;
  return nullptr;
}

}  // namespace

std::unique_ptr<Dir> FakeFileSystem::open_dir(const Text& path, Error& err) {
  Lock g(s_->m);
  Parsed p = parse(path);
  err = s_->hit(FsOp::kOpenDir, shown(p, path));
  auto n = err == Error::kNone ? resolve(*s_, p, err) : nullptr;
  if (!n) return nullptr;
  if (!n->dir) {
    err = Error::kNotDirectory;
    return nullptr;
  }
  return std::make_unique<FakeDir>(s_, n, path);
}

Error FakeFileSystem::stat(const Text& path, FileInfo& out) {
  Lock g(s_->m);
  Parsed p = parse(path);
  Error e = s_->hit(FsOp::kStat, shown(p, path));
  auto n = e == Error::kNone ? resolve(*s_, p, e) : nullptr;
  if (n) out = info_of(*n);
  return e;
}

std::unique_ptr<File> FakeFileSystem::open_read(const Text& path, Error& err) {
  Lock g(s_->m);
  Parsed p = parse(path);
  err = s_->hit(FsOp::kOpenRead, shown(p, path));
  auto n = err == Error::kNone ? resolve(*s_, p, err) : nullptr;
  if (!n) return nullptr;
  if (n->dir) err = Error::kIsDirectory;
  if (n->source_held) err = Error::kLocked;
  if (err != Error::kNone) return nullptr;
  return std::make_unique<FakeFile>(s_, n, FakeFile::Mode::kRead);
}

DriveSpace FakeFileSystem::drive_space(const Text& path) {
  Lock g(s_->m);
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

int64_t FakeClock::now_ns() {
  std::lock_guard<std::mutex> g(m_);
  return (to_ms(base_) + now_ms_.load()) * 1'000'000;
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
