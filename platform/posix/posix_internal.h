// Shared pieces of the POSIX backend: the one errno mapping, the path and
// name conversions at the file-system boundary, the pieces the directory
// handles and open files share, and the process-wide stop flag.
#pragma once

#include <sys/stat.h>

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

#include "platform/console_device.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace qv::posix {

// The one place where errno values become the portable error space.
Error error_from_errno(int err);

// A system path (CP866, '\' or '/' separators) as the OS wants it: UTF-8 with
// '/' only, trailing separators dropped (but "/" kept). False when the path is
// empty or holds a NUL byte.
bool native_path(const Text& path, std::string& out);

// A name inside a directory (CP866) as the OS wants it (UTF-8). kBadName for
// "", ".", "..", a name holding '/', '\', ':', NUL or a control byte, or one
// longer than the file system's 255 bytes.
Error native_name(const Text& name, std::string& out);

// The CP866 form of a name read from a directory, or false when the name is
// not one the system may act on (native_name would refuse it, or CP866 lacks
// one of its characters).
bool listed_name(std::string_view native, Text& out);

// The CP866 text of a name the system gave: '?' for each character CP866
// lacks and for each byte that is not UTF-8.
std::string shown_text(std::string_view native);
// The shown text of a directory the system named (the program's own, the
// start directory); records it with its native name when CP866 cannot hold
// the name whole.
std::string record_system_dir(std::string_view native);
// A path that begins with the shown text of a recorded directory, as the OS
// wants it: that directory's native name, then the rest as native_path()
// makes it. False when the path begins with no recorded directory.
bool native_path_of_recorded(const Text& path, std::string& out);

// The attribute bits, sizes, times and identity of a stat record; `name`
// decides "hidden".
FileInfo info_from_stat(const struct stat& st, std::string_view name);

// True when two stat records are one file.
inline bool same_inode(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A fresh name for the system's own entries: `prefix` and a short unique tail.
std::string fresh_name(std::string_view prefix);

// Renames dir_from/from to dir_to/to. With `replace` an existing target is
// replaced atomically; without it the call fails with kExists, also where the
// file system lacks the no-replace flag (a link and an unlink then).
Error rename_entry(int dir_from, const std::string& from, int dir_to, const std::string& to,
                   bool replace);

// Opens regular file `name` in `dir_fd` without following a link and without
// blocking on a FIFO or on another holder's lease; O_NONBLOCK is cleared again
// on success. Returns the descriptor, or -1 with err set.
int open_regular_at(int dir_fd, const std::string& name, int flags, Error& err);

// True when a process other than this one holds the file (dev, ino) open, as
// far as /proc shows it (only processes this account may inspect).
bool open_elsewhere(dev_t dev, ino_t ino);

// What a file of this backend is for: a plain read, a taken source (leased
// or watched), or a file in flight made by Dir::create_temp.
enum class FileRole { kPlain, kSource, kTemp };

// An open file. It keeps a duplicate of the descriptor of the directory it is
// known in and its name there, so that it is renamed and removed relative to
// that directory, and only after checking that the name still names it.
class PosixFile final : public File {
 public:
  // Owns `fd` and `dir_fd` (-1 when unknown). An empty `name` marks a file in
  // flight that has no name yet.
  PosixFile(int fd, int dir_fd, std::string name, FileRole role);
  ~PosixFile() override;

  int64_t read(void* buf, int64_t n) override;
  int64_t write(const void* buf, int64_t n) override;
  int64_t copy_to(File& to, int64_t n) override;
  Error rewind() override;
  Error flush() override;
  void start_flush() override;
  Error flush_data() override;
  Error flush_file_system() override;
  Error info(FileInfo& out) override;
  Error set_attributes(const FileInfo& like) override;
  Error set_mtime(int64_t mtime_ns) override;
  bool held() override;
  Error move_to(Dir& to, const Text& name, bool replace) override;
  Error remove() override;
  Error close() override;

  // Takes a write lease on a source; where no lease can be had, refuses a
  // file another process holds open and remembers size and times instead.
  Error take();
  // Holds a file in flight with flock, so that no other run takes it for a
  // leftover while it is open.
  bool lock_in_flight();
  // True for a file in flight not yet published whose directory is `dir_fd`'s.
  bool in_flight_in(int dir_fd) const;
  // Gives the file in flight the name `name` in its directory (Dir::publish).
  Error publish(const std::string& name, bool replace);

 private:
  // kNone when dir_fd/name names this very file (kChanged when another file
  // has that name, kNotFound when nothing has).
  Error check_named(int dir_fd, const std::string& name);
  // Renames this file from where it is known to `to_fd`/`to`, checking before
  // and after that the entry renamed is this file; moves back on a mismatch.
  Error rename_checked(int to_fd, const std::string& to, bool replace);
  // Links the nameless file in flight under `name` in its directory.
  Error link_unnamed(const std::string& name);
  // Removes the name of a file in flight that was never published.
  void drop_unpublished();
  bool unchanged_since_take();

  int fd_;
  int dir_fd_;
  std::string name_;
  FileRole role_;
  bool leased_ = false;
  bool published_ = false;
  struct stat taken_ {};
};

// A directory held open: every name is one plain name relative to its fd.
class PosixDir final : public Dir {
 public:
  PosixDir(int fd, Text path) : fd_(fd), path_(std::move(path)) {}
  ~PosixDir() override;

  const Text& path() const override { return path_; }
  Error info(FileInfo& out) override;
  std::unique_ptr<DirReader> list(Error& err) override;
  Error stat(const Text& name, FileInfo& out) override;
  std::unique_ptr<Dir> open_dir(const Text& name, Error& err) override;
  Error make_dir(const Text& name) override;
  Error remove_dir(const Text& name) override;
  std::unique_ptr<Dir> make_hold_dir(Text& name, Error& err) override;
  bool hold() override;
  std::unique_ptr<File> open_read(const Text& name, Error& err) override;
  std::unique_ptr<File> open_source(const Text& name, Error& err) override;
  std::unique_ptr<File> create_temp(Error& err) override;
  Error publish(File& file, const Text& name, bool replace) override;
  Error rename(const Text& name, Dir& to, const Text& to_name) override;
  Error sync() override;
  void remove_leftovers() override;

  int fd() const { return fd_; }
  // A file in flight under a fresh kPartialPrefix name, held with flock: what
  // create_temp makes where the file system cannot make a nameless file.
  std::unique_ptr<File> create_named_temp(Error& err);

 private:
  // A file of this directory opened for reading, as `role`.
  std::unique_ptr<PosixFile> open_file(const Text& name, FileRole role, Error& err);
  // Removes entry `name` when it is a leftover file in flight nobody holds.
  void remove_if_leftover(const std::string& name);

  int fd_;
  Text path_;
};

// The descriptor of a directory of this backend, or -1 for any other Dir.
inline int dir_fd_of(Dir& dir) {
  auto* posix_dir = dynamic_cast<PosixDir*>(&dir);
  return posix_dir ? posix_dir->fd() : -1;
}

// Where an operator's path leads, past every link it may follow: a handle
// of the directory that holds the last component and that component's name,
// and (when it exists) an O_PATH handle of the component itself.
struct Resolved {
  int parent = -1;
  std::string last;
  int target = -1;
  struct stat st {};
  Resolved() = default;
  Resolved(const Resolved&) = delete;
  Resolved& operator=(const Resolved&) = delete;
  ~Resolved();
};

// Walks an operator's native path one component at a time from "/" (or the
// current directory) through handles that never follow a link by themselves;
// a link is followed only when root or this account owns it (kUnsafeLink
// otherwise), at most 40 of them. A missing last component is no error
// (target stays -1); a missing directory on the way is.
Error resolve_operator_path(const std::string& native, Resolved& out);

// Set by SIGINT, SIGTERM and SIGHUP once the handlers are installed.
std::atomic<bool>& stop_flag();
// Installs the stop-request handlers; ignores SIGPIPE and the lease-break
// signal, which must never end the program.
void install_signal_handlers();

// Arguments after the program name: valid UTF-8 made of characters that
// Windows-1251 holds becomes Windows-1251 bytes; anything else stays as is.
std::string argument_to_1251(std::string_view utf8);

// The headless console: transcript to `out_fd`, keys from `in_fd`.
std::unique_ptr<ConsoleDevice> make_headless_console(int in_fd, int out_fd,
                                                     const std::atomic<bool>& stop);
// The terminal console (ncursesw), or null when the terminal cannot be used.
std::unique_ptr<ConsoleDevice> make_terminal_console(const std::atomic<bool>& stop);

}  // namespace qv::posix
