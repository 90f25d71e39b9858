// The fake platform. The file system is a tree of nodes, one root per drive;
// a handle holds its node, so it keeps working after its path was renamed,
// and a node cut from the tree stays readable through its open handles.
//
// Sharing follows the strictest backend: a file taken as a source keeps every
// other opener out (kLocked) and cannot be replaced; a hold keeps other
// holders out, not a removal. A File knows the file under the directory and
// name it was opened, moved or published under, as a real handle does: when
// another program renames it elsewhere, the File finds its name gone.
#include "tests/fake_platform.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>

#include "platform/cp866.h"
#include "platform/dir_search.h"

namespace qv::fake {

namespace {

constexpr uint32_t kSettableAttrs = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive;
// Time stamp of a fresh file: newer than every default stamp of the set-up.
constexpr int64_t kFreshStamp = 1'800'000'000'000'000'000;

struct Node {
  std::string name;  // as created; "C:" for a drive root
  std::weak_ptr<Node> parent;
  std::map<std::string, std::shared_ptr<Node>> children;  // by key() of the name
  bool dir = false, root = false, taken = false;          // taken: open as a source
  char drive = 'C';
  std::string data;
  uint32_t attrs = kAttrArchive, mode = 0644;
  int64_t mtime_ns = 0;
  uint64_t index = 0;
  int opens = 0, asks = 0;       // open handles; times another program asked to open it
  const void* holder = nullptr;  // the Dir that holds this directory
};
using NodeP = std::shared_ptr<Node>;

struct Fault {
  FsOp op;
  int countdown;
  Error error;
  bool persistent;
  std::string path_part;         // as key() gives it
  std::function<void()> action;  // set: run it instead of failing
};

uint8_t fold(uint8_t c) {
  if (c >= 'a' && c <= 'z') return static_cast<uint8_t>(c - 'a' + 'A');
  if (c >= 0xA0 && c <= 0xAF) return static_cast<uint8_t>(c - 0x20);
  if (c >= 0xE0 && c <= 0xEF) return static_cast<uint8_t>(c - 0x50);
  return c;
}

// Upper case with '\' separators: how names and paths are compared.
std::string key(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = c == '/' ? '\\' : static_cast<char>(fold(static_cast<uint8_t>(c)));
  return out;
}

// One plain name inside a directory: never a path, never "." or "..".
bool plain_name(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         std::none_of(name.begin(), name.end(), [](char c) {
           return std::string_view(":*?\"<>|\\/").find(c) != std::string_view::npos ||
                  static_cast<uint8_t>(c) < 0x20;
         });
}

std::string path_of(const Node& n) {
  NodeP p = n.parent.lock();
  return p ? path_of(*p) + "\\" + n.name : n.name;
}

// True while the node hangs in the tree of a drive.
bool alive(NodeP n) {
  while (n && !n->root) n = n->parent.lock();
  return n != nullptr;
}

NodeP child(const Node& dir, std::string_view name) {
  auto it = dir.children.find(key(name));
  return it == dir.children.end() ? nullptr : it->second;
}

void detach(const NodeP& n) {
  if (NodeP p = n->parent.lock()) p->children.erase(key(n->name));
  n->parent.reset();
}

void attach(const NodeP& n, const NodeP& dir, std::string_view name) {
  detach(n);
  n->name = name;
  n->parent = dir;
  dir->children[key(name)] = n;
}

FileInfo info_of(const NodeP& n) {
  return FileInfo{n->attrs, n->data.size(),     n->mtime_ns, n->mtime_ns,
                  n->mode,  uint64_t(n->drive), n->index};
}

void collect(const Node& dir, std::vector<std::string>& out) {
  for (const auto& [k, n] : dir.children) {
    out.push_back(path_of(*n));
    collect(*n, out);
  }
}

}  // namespace

struct FakeFileSystem::State {
  std::map<char, NodeP> roots;
  std::map<char, DriveSpace> space;
  std::vector<Fault> faults;
  std::map<FsOp, int> calls;
  uint64_t next_index = 1, next_name = 1;

  // Counts the call, runs the actions due now and answers the fault it
  // meets (kNone: none).
  Error hit(FsOp op, std::string_view path) {
    ++calls[op];
    Error result = Error::kNone;
    std::vector<std::function<void()>> actions;
    for (auto f = faults.begin(); f != faults.end();) {
      if (f->op != op || key(path).find(f->path_part) == std::string::npos || --f->countdown > 0) {
        ++f;
        continue;
      }
      if (f->action) actions.push_back(f->action);
      if (!f->action && result == Error::kNone) result = f->error;
      f = f->persistent ? f + 1 : faults.erase(f);
    }
    for (auto& action : actions) action();
    return result;
  }

  NodeP make(const NodeP& dir, std::string_view name, bool is_dir) {
    auto n = std::make_shared<Node>();
    n->dir = is_dir;
    n->attrs = is_dir ? kAttrDirectory : kAttrArchive;
    n->mode = is_dir ? 0755 : 0644;
    n->drive = dir->drive;
    n->index = next_index++;
    attach(n, dir, name);
    return n;
  }

  // The node at an operator's path ("." parts dropped, ".." refused), or why
  // there is none; with `create`, missing directories are made (set-up only).
  NodeP resolve(std::string_view path, Error& err, bool create = false) {
    char drive = 'C';
    if (path.size() >= 2 && path[1] == ':') {
      drive = static_cast<char>(fold(static_cast<uint8_t>(path[0])));
      path.remove_prefix(2);
    }
    NodeP n = roots.count(drive) != 0 ? roots[drive] : nullptr;
    err = n ? Error::kNone : Error::kNotFound;
    for (std::size_t i = 0, j = 0; n && i <= path.size(); i = j + 1) {
      j = std::min(path.find_first_of("\\/", i), path.size());
      const std::string_view part = path.substr(i, j - i);
      if (part.empty() || part == ".") continue;
      NodeP next = n->dir ? child(*n, part) : nullptr;
      if (!next && create && n->dir && plain_name(part)) next = make(n, part, true);
      err = !plain_name(part) ? Error::kBadName
            : !n->dir         ? Error::kNotDirectory
            : next            ? Error::kNone
                              : Error::kNotFound;
      n = err == Error::kNone ? next : nullptr;
    }
    return n;
  }

  NodeP at(std::string_view path) {
    Error err = Error::kNone;
    return resolve(path, err);
  }

  // A fresh name with `prefix` that `dir` does not hold.
  std::string fresh_name(const Node& dir, std::string_view prefix) {
    std::string name;
    do {
      name = std::string(prefix) + std::to_string(next_name++);
    } while (child(dir, name));
    return name;
  }

  // Renames `src` to `name` in `to`, replacing a file there when `replace`.
  Error rename(const NodeP& src, const NodeP& to, std::string_view name, bool replace) {
    NodeP dst = plain_name(name) && alive(to) ? child(*to, name) : nullptr;
    if (!plain_name(name)) return Error::kBadName;
    if (!alive(to)) return Error::kNotFound;
    if (to->drive != src->drive) return Error::kCrossDevice;
    if (dst && dst != src) {
      if (!replace) return Error::kExists;
      if (dst->dir || dst->taken) return dst->dir ? Error::kIsDirectory : Error::kLocked;
      detach(dst);
    }
    attach(src, to, name);
    return Error::kNone;
  }

  // Entry `name` of `dir`, or why there is none.
  NodeP entry(const NodeP& dir, std::string_view name, Error& err) const {
    NodeP n = plain_name(name) && alive(dir) ? child(*dir, name) : nullptr;
    err = n ? Error::kNone : plain_name(name) ? Error::kNotFound : Error::kBadName;
    return n;
  }
};

namespace {

using State = FakeFileSystem::State;

class FakeFile : public File {
 public:
  // A file opened to read, to take as a source, or made in flight (`temp`).
  FakeFile(std::shared_ptr<State> s, NodeP n, bool source, bool temp)
      : s_(std::move(s)), n_(std::move(n)), source_(source), temp_(temp), asks_(n_->asks) {
    ++n_->opens;
    n_->taken = n_->taken || source;
    mark_placed(!temp);
  }
  ~FakeFile() override { close(); }

  int64_t read(void* buf, int64_t n) override {
    if (s_->hit(FsOp::kRead, path_of(*n_)) != Error::kNone || closed_ || temp_) return -1;
    uint64_t count = std::min<uint64_t>(n_->data.size() - std::min(pos_, n_->data.size()), n);
    std::copy_n(n_->data.data() + pos_, count, static_cast<char*>(buf));
    pos_ += count;
    return static_cast<int64_t>(count);
  }

  int64_t write(const void* buf, int64_t n) override {
    const bool fault = s_->hit(FsOp::kWrite, path_of(*n_)) != Error::kNone;
    if (closed_ || !temp_) return 0;
    const uint64_t count = static_cast<uint64_t>(fault ? n / 2 : n);
    n_->data.resize(std::max(n_->data.size(), pos_ + count));
    std::copy_n(static_cast<const char*>(buf), count, n_->data.begin() + pos_);
    pos_ += count;
    return static_cast<int64_t>(count);
  }

  Error rewind() override {
    pos_ = 0;
    return closed_ ? Error::kIo : Error::kNone;
  }

  Error flush() override { return check(FsOp::kFlush); }
  Error flush_file_system() override { return check(FsOp::kCommit); }

  Error info(FileInfo& out) override {
    out = info_of(n_);
    return closed_ ? Error::kIo : Error::kNone;
  }

  Error set_attributes(const FileInfo& like) override {
    if (closed_) return Error::kIo;
    n_->attrs = like.attributes & kSettableAttrs;
    n_->mode = like.mode & 0777;
    return Error::kNone;
  }

  Error set_mtime(int64_t mtime_ns) override {
    Error e = check(FsOp::kSetMtime);
    if (e == Error::kNone) n_->mtime_ns = mtime_ns;
    return e;
  }

  bool held() override {
    if (s_->hit(FsOp::kHeld, path_of(*n_)) != Error::kNone) return false;
    return !source_ || (!closed_ && alive(n_) && n_->asks == asks_);
  }

  Error move_to(Dir& to, const Text& name, bool replace) override;

  Error remove() override {
    Error e = check(FsOp::kRemove);
    if (e == Error::kNone) e = still_named();
    if (e == Error::kNone) detach(n_);
    return e;
  }

  Error close() override {
    if (closed_) return Error::kIo;
    closed_ = true;
    --n_->opens;
    n_->taken = n_->taken && !source_;
    if (!published_) detach(n_);  // a file in flight dropped unpublished leaves no name
    return Error::kNone;
  }

  const NodeP& node() const { return n_; }
  bool in_flight() const { return !closed_ && !published_ && alive(n_); }
  // The place the file is known under from now on: where it was opened, or
  // where this system put it (a real handle knows no other).
  void mark_placed(bool published) {
    dir_ = n_->parent.lock();
    name_ = n_->name;
    published_ = published;
  }

 private:
  // kNone when the name the file is known under still names it: kNotFound
  // when the name is free, kChanged when another file has it.
  Error still_named() const {
    NodeP now = dir_ && alive(dir_) ? child(*dir_, name_) : nullptr;
    return now == n_ ? Error::kNone : now ? Error::kChanged : Error::kNotFound;
  }
  // Counts the call and meets its fault; a closed file fails.
  Error check(FsOp op) {
    Error e = s_->hit(op, path_of(*n_));
    return e == Error::kNone && closed_ ? Error::kIo : e;
  }

  std::shared_ptr<State> s_;
  NodeP n_, dir_;  // dir_: where the file is known, under name_
  std::string name_;
  bool source_, temp_, published_ = true, closed_ = false;
  int asks_;  // n_->asks when it was opened
  uint64_t pos_ = 0;
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
  FakeDir(std::shared_ptr<State> s, NodeP n, const Text& path)
      : s_(std::move(s)), n_(std::move(n)), path_(path) {}
  ~FakeDir() override {
    if (n_->holder == this) n_->holder = nullptr;
  }

  const Text& path() const override { return path_; }

  Error info(FileInfo& out) override {
    out = info_of(n_);
    return alive(n_) ? Error::kNone : Error::kNotFound;
  }

  std::unique_ptr<DirReader> list(Error& err) override {
    if ((err = check(FsOp::kList)) != Error::kNone) return nullptr;
    std::vector<RawEntry> entries;
    for (const auto& [k, n] : n_->children) entries.push_back(RawEntry{Text(n->name), info_of(n)});
    return std::make_unique<FakeDirReader>(std::move(entries));
  }

  Error stat(const Text& name, FileInfo& out) override {
    Error e = Error::kNone;
    if (NodeP n = s_->entry(n_, name, e)) out = info_of(n);
    return e;
  }

  std::unique_ptr<Dir> open_dir(const Text& name, Error& err) override {
    NodeP n = s_->entry(n_, name, err);
    if (n && !n->dir) err = Error::kNotDirectory;
    if (err != Error::kNone) return nullptr;
    return std::make_unique<FakeDir>(s_, n, join_path(path_, name.view()));
  }

  Error make_dir(const Text& name) override {
    Error e = s_->hit(FsOp::kMakeDir, below(name));
    if (e == Error::kNone && s_->entry(n_, name, e)) return Error::kExists;
    if (e != Error::kNotFound || !alive(n_)) return e;
    s_->make(n_, name.view(), true);
    return Error::kNone;
  }

  Error remove_dir(const Text& name) override {
    Error e = Error::kNone;
    NodeP n = s_->entry(n_, name, e);
    if (n && (!n->dir || !n->children.empty()))
      return n->dir ? Error::kExists : Error::kNotDirectory;
    if (n) detach(n);
    return e;
  }

  std::unique_ptr<Dir> make_hold_dir(Text& name, Error& err) override {
    if ((err = check(FsOp::kMakeHoldDir)) != Error::kNone) return nullptr;
    name = Text(s_->fresh_name(*n_, kHoldPrefix));
    NodeP n = s_->make(n_, name.view(), true);
    n->mode = 0700;  // only the running account enters it
    auto dir = std::make_unique<FakeDir>(s_, n, join_path(path_, name.view()));
    dir->hold();
    return dir;
  }

  bool hold() override {
    if (!alive(n_) || (n_->holder && n_->holder != this)) return false;
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
    if ((err = check(FsOp::kCreateTemp)) != Error::kNone) return nullptr;
    NodeP n = s_->make(n_, s_->fresh_name(*n_, std::string(kPartialPrefix) + "P"), false);
    n->mtime_ns = kFreshStamp + static_cast<int64_t>(n->index);
    return std::make_unique<FakeFile>(s_, n, false, true);
  }

  Error publish(File& file, const Text& name, bool replace) override {
    Error e = s_->hit(FsOp::kPublish, below(name));
    auto* temp = dynamic_cast<FakeFile*>(&file);
    if (e != Error::kNone) return e;
    if (!temp || !temp->in_flight() || temp->node()->parent.lock() != n_) return Error::kIo;
    e = s_->rename(temp->node(), n_, name.view(), replace);
    if (e == Error::kNone) temp->mark_placed(true);
    return e;
  }

  Error rename(const Text& name, Dir& to, const Text& to_name) override {
    Error e = Error::kNone;
    NodeP n = plain_name(to_name.view()) ? s_->entry(n_, name, e) : nullptr;
    if (!n) return plain_name(to_name.view()) ? e : Error::kBadName;
    if (n->taken) return Error::kLocked;
    return s_->rename(n, dynamic_cast<FakeDir&>(to).n_, to_name.view(), false);
  }

  Error sync() override { return check(FsOp::kSync); }

  void remove_leftovers() override {
    std::vector<NodeP> gone;
    for (const auto& [k, n] : n_->children) {
      bool hold = n->name.rfind(kHoldPrefix, 0) == 0;
      if (!n->dir && !hold && is_partial_name(n->name) && n->opens == 0) gone.push_back(n);
    }
    for (const NodeP& n : gone) detach(n);
  }

  // The path of entry `name` (what faults are matched against).
  std::string below(const Text& name) const { return path_of(*n_) + "\\" + name.str(); }
  const NodeP& node() const { return n_; }

 private:
  // Counts the call and meets its fault; a directory removed meanwhile fails.
  Error check(FsOp op) {
    Error e = s_->hit(op, path_of(*n_));
    return e == Error::kNone && !alive(n_) ? Error::kNotFound : e;
  }

  std::unique_ptr<File> open_file(FsOp op, const Text& name, Error& err) {
    err = s_->hit(op, below(name));
    NodeP n = err == Error::kNone ? s_->entry(n_, name, err) : nullptr;
    const bool source = op == FsOp::kOpenSource;
    if (n && n->dir) err = Error::kIsDirectory;
    if (n && (n->taken || (source && n->opens > 0))) err = Error::kLocked;
    if (err != Error::kNone) return nullptr;
    return std::make_unique<FakeFile>(s_, n, source, false);
  }

  std::shared_ptr<State> s_;
  NodeP n_;
  Text path_;
};

Error FakeFile::move_to(Dir& to, const Text& name, bool replace) {
  auto& dest = dynamic_cast<FakeDir&>(to);
  Error e = s_->hit(FsOp::kMoveTo, dest.below(name));
  if (e == Error::kNone && closed_) e = Error::kIo;
  if (e == Error::kNone) e = still_named();
  if (e == Error::kNone) e = s_->rename(n_, dest.node(), name.view(), replace);
  if (e == Error::kNone) mark_placed(true);
  return e;
}

}  // namespace

// --- set-up and inspection ---

FakeFileSystem::FakeFileSystem() : s_(std::make_shared<State>()) {
  add_drive('C', 1ull << 30, 512ull << 20);
}

FakeFileSystem::~FakeFileSystem() = default;

void FakeFileSystem::add_drive(char letter, uint64_t total, uint64_t free) {
  auto root = std::make_shared<Node>();
  root->drive = static_cast<char>(fold(static_cast<uint8_t>(letter)));
  root->name = std::string{root->drive, ':'};
  root->dir = root->root = true;
  root->attrs = kAttrDirectory;
  root->index = s_->next_index++;
  s_->roots[root->drive] = root;
  s_->space[root->drive] = DriveSpace{DriveSpace::kOk, total, free};
}

void FakeFileSystem::set_free(char letter, uint64_t free) {
  s_->space[static_cast<char>(fold(static_cast<uint8_t>(letter)))].free = free;
}

void FakeFileSystem::add_file(const std::string& path, const std::string& content,
                              uint32_t attributes, int64_t mtime_ns) {
  Error err = Error::kNone;
  NodeP dir = s_->resolve(directory_of(path).view(), err, true);
  const Text name = file_name_of(path);
  if (!dir || !plain_name(name.view())) return;
  if (NodeP old = child(*dir, name.view())) detach(old);
  NodeP n = s_->make(dir, name.view(), false);
  n->data = content;
  n->attrs = attributes & ~static_cast<uint32_t>(kAttrDirectory);
  n->mode = (attributes & kAttrReadOnly) ? 0444 : 0644;
  n->mtime_ns = mtime_ns;
}

void FakeFileSystem::add_dir(const std::string& path) {
  Error err = Error::kNone;
  s_->resolve(path, err, true);
}

bool FakeFileSystem::exists(const std::string& path) const {
  return s_->at(path) != nullptr;
}

std::string FakeFileSystem::content(const std::string& path) const {
  NodeP n = s_->at(path);
  return n ? n->data : std::string();
}

uint32_t FakeFileSystem::attributes(const std::string& path) const {
  NodeP n = s_->at(path);
  return n ? n->attrs : 0;
}

int64_t FakeFileSystem::mtime(const std::string& path) const {
  NodeP n = s_->at(path);
  return n ? n->mtime_ns : 0;
}

std::vector<std::string> FakeFileSystem::list(const std::string& dir) const {
  std::vector<std::string> out;
  if (NodeP n = s_->at(dir)) collect(*n, out);
  std::sort(out.begin(), out.end());
  return out;
}

void FakeFileSystem::set_locked(const std::string& path, bool locked) {
  std::erase_if(s_->faults, [&](const Fault& f) {
    return f.op == FsOp::kOpenSource && f.persistent && f.path_part == key(path);
  });
  if (locked) fail(FsOp::kOpenSource, 1, Error::kLocked, true, path);
}

void FakeFileSystem::touch_by_other(const std::string& path) {
  if (NodeP n = s_->at(path)) ++n->asks;
}

void FakeFileSystem::move_by_other(const std::string& from, const std::string& to) {
  NodeP src = s_->at(from), dir = s_->at(directory_of(to).view());
  const Text name = file_name_of(to);
  NodeP dst = dir ? child(*dir, name.view()) : nullptr;
  if (!src || !dir || dst == src || (dst && dst->dir)) return;
  if (dst) detach(dst);  // as on a system without mandatory sharing: an open file is no obstacle
  attach(src, dir, name.view());
}

void FakeFileSystem::fail(FsOp op, int nth, Error error, bool persistent,
                          const std::string& path_part) {
  s_->faults.push_back(Fault{op, std::max(nth, 1), error, persistent, key(path_part), nullptr});
}

void FakeFileSystem::at_call(FsOp op, int nth, std::function<void()> action,
                             const std::string& path_part) {
  fail(op, nth, Error::kNone, false, path_part);
  s_->faults.back().action = std::move(action);
}

void FakeFileSystem::clear_faults() {
  s_->faults.clear();
}

int FakeFileSystem::calls(FsOp op) const {
  return s_->calls[op];
}

// --- FileSystem ---

std::unique_ptr<Dir> FakeFileSystem::open_dir(const Text& path, Error& err) {
  NodeP n = s_->resolve(path.view(), err);
  if (n && !n->dir) err = Error::kNotDirectory;
  if (err != Error::kNone) return nullptr;
  return std::make_unique<FakeDir>(s_, n, path);
}

Error FakeFileSystem::stat(const Text& path, FileInfo& out) {
  Error e = Error::kNone;
  if (NodeP n = s_->resolve(path.view(), e)) out = info_of(n);
  return e;
}

std::unique_ptr<File> FakeFileSystem::open_read(const Text& path, Error& err) {
  err = s_->hit(FsOp::kOpenRead, path.view());
  NodeP n = err == Error::kNone ? s_->resolve(path.view(), err) : nullptr;
  if (n && n->dir) err = Error::kIsDirectory;
  if (n && n->taken) err = Error::kLocked;
  if (err != Error::kNone) return nullptr;
  return std::make_unique<FakeFile>(s_, n, false, false);
}

DriveSpace FakeFileSystem::drive_space(const Text& path) {
  std::string_view v = path.view();
  if (v.size() < 2 || v[1] != ':' || !std::isalpha(static_cast<uint8_t>(v[0]))) {
    return DriveSpace{DriveSpace::kIncorrectName};
  }
  auto it = s_->space.find(static_cast<char>(fold(static_cast<uint8_t>(v[0]))));
  return it == s_->space.end() ? DriveSpace{} : it->second;
}

// --- FakeConsole ---

void FakeConsole::present(const CellGrid& cells) {
  std::lock_guard<std::mutex> g(m_);
  std::copy(&cells[0][0], &cells[0][0] + kScreenRows * kScreenCols, &grid_[0][0]);
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
  if (key_countdown_ <= 0) return key_countdown_ == 0;
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
  for (const Cell& c : grid_[y - 1]) append_utf8(out, cp866_glyph(c.ch));
  return out;
}

Cell FakeConsole::cell(int x, int y) const {
  std::lock_guard<std::mutex> g(m_);
  return grid_[y - 1][x - 1];
}

// --- FakeClock ---

namespace {

int64_t to_ms(const LocalTime& t) {
  using namespace std::chrono;
  const sys_days day = year{t.year} / t.month / t.day;
  const int64_t secs = (int64_t{t.hour} * 60 + t.minute) * 60 + t.second;
  return (day.time_since_epoch().count() * 86'400 + secs) * 1000 + t.hundredths * 10;
}

LocalTime from_ms(int64_t ms) {
  using namespace std::chrono;
  const sys_days day = floor<days>(sys_time<milliseconds>(milliseconds(ms)));
  const year_month_day date(day);
  const int64_t rest = ms - day.time_since_epoch().count() * 86'400'000;
  LocalTime t;
  t.year = static_cast<int>(date.year());
  t.month = static_cast<int>(static_cast<unsigned>(date.month()));
  t.day = static_cast<int>(static_cast<unsigned>(date.day()));
  t.weekday = static_cast<int>(weekday(day).c_encoding());
  t.hour = static_cast<int32_t>(rest / 3'600'000);
  t.minute = static_cast<int32_t>(rest / 60'000 % 60);
  t.second = static_cast<int32_t>(rest / 1000 % 60);
  t.hundredths = static_cast<int32_t>(rest % 1000 / 10);
  return t;
}

}  // namespace

FakeClock::FakeClock() {
  LocalTime t;
  t.year = 2026, t.month = 12, t.day = 5, t.hour = 14, t.minute = 7, t.second = 9;
  base_ms_ = to_ms(t);
}

LocalTime FakeClock::local_time() {
  return from_ms(base_ms_ + now_ms_);
}

int64_t FakeClock::now_ns() {
  return (base_ms_ + now_ms_) * 1'000'000;
}

void FakeClock::sleep_ms(int64_t ms) {
  if (ms <= 0) return;
  now_ms_ += ms;
  slept_ += ms;
}

void FakeClock::set(const LocalTime& t) {
  base_ms_ = to_ms(t) - now_ms_;
}

// --- FakeEnvironment, FakeProcess, FakeLogFile ---

std::optional<std::string> FakeEnvironment::get(const char* name) {
  auto it = vars.find(name);
  if (it == vars.end()) return std::nullopt;
  return it->second;
}

bool FakeProcess::run_command(const Text& command_line) {
  commands.push_back(command_line.str());
  if (on_run) on_run();
  return true;
}

namespace {

// A named lock: one recursive mutex per name for the whole test binary, as a
// named system mutex is shared by every instance. A wait for it takes real
// time (polled: ThreadSanitizer cannot follow a timed wait). A lock dropped
// while held is released, as Windows abandons a mutex.
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

bool FakeLogFile::append_line(const Text& path, std::string_view cp866_line) {
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
  unwritable_.erase(path);
  if (unwritable) unwritable_.insert(path);
}

}  // namespace qv::fake
