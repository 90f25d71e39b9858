// The walk of an operator's path: one component at a time through O_PATH
// handles opened without following links, so that each link on the way is
// seen, judged by its owner, and followed (its target walked the same way)
// only when root or the account running the program made it.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <deque>

#include "platform/posix/posix_internal.h"

namespace qv::posix {

Resolved::~Resolved() {
  if (parent >= 0) ::close(parent);
  if (target >= 0) ::close(target);
}

namespace {

// The most links one walk follows, as the kernel's own limit.
constexpr int kMaxLinks = 40;

// Puts the components of `path` in front of `todo`, in order.
void push_front_components(std::deque<std::string>& todo, const std::string& path) {
  std::deque<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.emplace_back(path, start, end - start);
    start = end + 1;
  }
  todo.insert(todo.begin(), parts.begin(), parts.end());
}

// True when a link owned by `uid` may be followed.
bool trusted_owner(uid_t uid) {
  return uid == 0 || uid == ::geteuid();
}

int open_start(bool absolute) {
  return ::open(absolute ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
}

// The walk's state: the directory reached so far and what is left to walk.
class Walk {
 public:
  explicit Walk(const std::string& native) : absolute_(!native.empty() && native[0] == '/') {
    push_front_components(todo_, native);
  }
  ~Walk() {
    if (cur_ >= 0) ::close(cur_);
  }

  Error run(Resolved& out) {
    cur_ = open_start(absolute_);
    if (cur_ < 0) return error_from_errno(errno);
    while (!todo_.empty()) {
      std::string comp = std::move(todo_.front());
      todo_.pop_front();
      if (comp == "." && !todo_.empty()) continue;
      Error e = step(comp, out);
      if (e != Error::kNone || out.parent >= 0) return e;
    }
    // Nothing named at all ("/", "." or a link to it): the directory itself.
    return finish(".", ::openat(cur_, ".", O_PATH | O_CLOEXEC), out);
  }

 private:
  // Walks one component: enters a directory, follows a link, or ends the
  // walk at the last component (out.parent set).
  Error step(const std::string& comp, Resolved& out) {
    int next = ::openat(cur_, comp.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) {
      if (errno == ENOENT && todo_.empty()) return finish(comp, -1, out);
      return error_from_errno(errno);
    }
    struct stat st;
    if (::fstat(next, &st) != 0) {
      int saved = errno;
      ::close(next);
      return error_from_errno(saved);
    }
    if (S_ISLNK(st.st_mode)) {
      Error e = follow(next, st);
      ::close(next);
      return e;
    }
    if (todo_.empty() && comp != "..") return finish(comp, next, out, &st);
    if (!S_ISDIR(st.st_mode)) {
      ::close(next);
      return Error::kNotDirectory;
    }
    ::close(cur_);
    cur_ = next;
    return Error::kNone;
  }

  // A link: its target is walked next, from "/" when it is absolute.
  Error follow(int link, const struct stat& st) {
    if (!trusted_owner(st.st_uid)) return Error::kUnsafeLink;
    if (++links_ > kMaxLinks) return error_from_errno(ELOOP);
    char buf[4096];
    ssize_t n = ::readlinkat(link, "", buf, sizeof buf);
    if (n < 0) return error_from_errno(errno);
    if (n == 0 || n == static_cast<ssize_t>(sizeof buf)) return Error::kNotFound;
    std::string target(buf, static_cast<std::size_t>(n));
    if (target[0] == '/') {
      ::close(cur_);
      cur_ = open_start(true);
      if (cur_ < 0) return error_from_errno(errno);
    }
    push_front_components(todo_, target);
    if (todo_.empty()) todo_.push_back(".");  // a link to "/"
    return Error::kNone;
  }

  // Ends the walk at `last` inside the directory reached; `target` (owned,
  // -1 when nothing has that name) is its O_PATH handle, `st` its status
  // when known.
  Error finish(const std::string& last, int target, Resolved& out,
               const struct stat* st = nullptr) {
    out.parent = cur_;
    cur_ = -1;
    out.last = last;
    out.target = target;
    if (target < 0 || st) {
      if (st) out.st = *st;
      return Error::kNone;
    }
    return ::fstat(target, &out.st) == 0 ? Error::kNone : error_from_errno(errno);
  }

  bool absolute_;
  std::deque<std::string> todo_;
  int cur_ = -1;
  int links_ = 0;
};

}  // namespace

Error resolve_operator_path(const std::string& native, Resolved& out) {
  return Walk(native).run(out);
}

}  // namespace qv::posix
