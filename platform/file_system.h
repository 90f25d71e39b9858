// The file-system interface. Paths are Text (CP866); '\' and '/' are both
// separators in a path the operator wrote. Backends: platform/posix,
// platform/win32, and the fake in tests/.
//
// Two levels:
// - FileSystem resolves the operator's own paths (settings, INCLUDE files,
//   the task script, input and output directories). A symbolic link (a
//   reparse point on Windows) on the way is followed only when it is owned by
//   root / the administrators or by the account running the program; any
//   other link makes the call fail with kUnsafeLink.
// - Dir is a directory held open. Everything the engine does to user files
//   is done through a Dir or an open File: a name inside a Dir is always one
//   plain name (a name holding '\', '/', ':' or a control character is
//   refused with kBadName and never taken as a path), nothing below a Dir is
//   reached through a link, and once a Dir is open, renaming or swapping its
//   path changes nothing for it.
//
// Only the primitives are virtual. The directory search with wildcards and the
// attribute-mask rule, and "create a directory with its parents", are written
// once above them (platform/dir_search.h), so backends cannot disagree.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/text.h"

namespace qv {

// DOS attribute bits, as the settings and searches use them.
enum Attr : uint32_t {
  kAttrReadOnly = 1,
  kAttrHidden = 2,
  kAttrSystem = 4,
  kAttrVolume = 8,
  kAttrDirectory = 16,
  kAttrArchive = 32,
};

// Names of everything the system itself keeps in a user's directory while a
// transfer is under way begin with this prefix: files in flight, and the
// private directories that hold a taken source (kHoldPrefix). No search ever
// yields them, so a leftover of a crash never counts as data.
inline constexpr std::string_view kPartialPrefix = ".~qv";
inline constexpr std::string_view kHoldPrefix = ".~qvT";

// What the file system says about one name or one open file.
struct FileInfo {
  uint32_t attributes = 0;  // Attr bits
  uint64_t size = 0;        // bytes (0 for directories)
  int64_t mtime_ns = 0;     // last-write time, nanoseconds since 1970-01-01 UTC
  int64_t ctime_ns = 0;     // change time (POSIX; 0 where the system has none)
  uint32_t mode = 0;        // permission bits (POSIX st_mode & 07777; 0 on Windows)
  uint64_t device = 0;      // with `index`, tells whether two names are one file
  uint64_t index = 0;       // inode / file index
  bool same_file(const FileInfo& o) const { return device == o.device && index == o.index; }
};

// One name of a directory listing (no "." or "..").
struct RawEntry {
  Text name;  // name with extension, no directory, CP866
  FileInfo info;
};

class Dir;

// An open file. Closed by close() or by the destructor.
class File {
 public:
  virtual ~File() = default;
  // Reads up to n bytes; returns the count (0 at end of file) or -1 on error.
  virtual int64_t read(void* buf, int64_t n) = 0;
  // Writes up to n bytes; returns the count written (short on error/disk full).
  virtual int64_t write(const void* buf, int64_t n) = 0;
  // What copy_to answers where the system cannot copy between the two files.
  static constexpr int64_t kNoSystemCopy = -2;
  // Copies up to n bytes from this file's position to `to` at its position
  // inside the system, without a trip through the program's memory. Returns
  // the count copied (0 at the end of this file), -1 on an error, or
  // kNoSystemCopy when this platform or this pair of files cannot do it.
  virtual int64_t copy_to(File& to, int64_t n) {
    (void)to, (void)n;
    return kNoSystemCopy;
  }
  // Moves the read position back to the start of the file.
  virtual Error rewind() = 0;
  // Flushes written data to the disk.
  virtual Error flush() = 0;
  // Starts writing the written data to the disk without waiting for it, so
  // that the flushes of several files that follow overlap (a hint only).
  virtual void start_flush() {}
  // Waits until the written data is on the disk; what names and sizes it may
  // wait for flush_file_system(). A write error shows here. By default, and
  // wherever one commit cannot serve many files, the whole flush().
  virtual Error flush_data() { return flush(); }
  // Makes everything written on this file's file system durable, metadata
  // included: after flush_data() of several files on one file system, one
  // call completes all their flushes. Nothing left to do by default.
  virtual Error flush_file_system() { return Error::kNone; }
  // Size, times, attributes and identity of the open file.
  virtual Error info(FileInfo& out) = 0;
  // Gives the open file the attributes of `like` (POSIX: its permission bits
  // `like.mode & 0777`, through the open file; Windows: read-only, hidden,
  // system, archive). Never acts through a name.
  virtual Error set_attributes(const FileInfo& like) = 0;
  // Sets the last-write time of the open file exactly (at the file system's
  // resolution), through the open file.
  virtual Error set_mtime(int64_t mtime_ns) = 0;
  // For a file opened by Dir::open_source: true while no other program has
  // opened it, or asked to open it, since it was taken, and its size and
  // last-write time are those seen when it was opened (POSIX: the lease is
  // intact; without a lease, no other process holds it open where /proc shows
  // it and size, mtime and ctime are unchanged). True for every other file.
  virtual bool held() = 0;
  // Renames this open file (opened through a Dir, or published by one) to
  // `name` in `to`: kExists when that name is taken and `replace` is false,
  // else an existing file is replaced atomically; kCrossDevice when `to` lies
  // on another file system. The entry renamed is this very file: when its
  // name no longer names it (another file was renamed over it), nothing is
  // left moved and the call fails with kChanged. From then on the file is
  // known under its new place. Windows: through the handle (FileRenameInfo).
  virtual Error move_to(Dir& to, const Text& name, bool replace) = 0;
  // Deletes this open file from the directory it is known in, only when the
  // name there still names this very file (else kChanged). Windows: through
  // the handle (FileDispositionInfo; gone at close).
  virtual Error remove() = 0;
  // Closes the file (releasing its lease or exclusive hold); further calls
  // fail. Returns the close error, if any.
  virtual Error close() = 0;
};

// Reads the entries of one directory, one by one.
class DirReader {
 public:
  virtual ~DirReader() = default;
  // Next entry; false when there are no more. Only regular files and
  // directories are yielded; links, FIFOs, sockets, devices, names that CP866
  // cannot hold and names holding '\', ':' or a control character are left out.
  virtual bool next(RawEntry& out) = 0;
  // Next entry like next(), where only its name and attributes need be
  // known yet: the rest of out.info may wait for details(). A listing that
  // learns everything at once (the default) gives the whole entry.
  virtual bool next_name(RawEntry& out) { return next(out); }
  // Completes out.info of the entry next_name() gave last; false when it has
  // gone meanwhile or is no longer a regular file or directory.
  virtual bool details(RawEntry& out) {
    (void)out;
    return true;
  }
};

// A directory held open. Names are single plain names inside it.
class Dir {
 public:
  virtual ~Dir() = default;
  // The path this directory was opened under (for reports only; never used
  // to reach it again).
  virtual const Text& path() const = 0;
  // Device and index of the directory itself.
  virtual Error info(FileInfo& out) = 0;
  // Lists the directory from its start.
  virtual std::unique_ptr<DirReader> list(Error& err) = 0;
  // Information about entry `name`, without following a link; kNotRegular
  // for links, FIFOs, sockets and devices.
  virtual Error stat(const Text& name, FileInfo& out) = 0;
  // Opens sub-directory `name`; a link there is never followed (kNotRegular).
  virtual std::unique_ptr<Dir> open_dir(const Text& name, Error& err) = 0;
  // Creates sub-directory `name` (kExists when the name is taken).
  virtual Error make_dir(const Text& name) = 0;
  // Removes the empty sub-directory `name`.
  virtual Error remove_dir(const Text& name) = 0;
  // Creates, opens and holds (hold()) a new sub-directory with a fresh name
  // that begins with kHoldPrefix, which only the running account may enter:
  // the place where a taken source waits. Its name is stored in `name`.
  virtual std::unique_ptr<Dir> make_hold_dir(Text& name, Error& err) = 0;
  // Holds this directory against every other process asking the same: false
  // when another live process holds it. Released when this Dir is destroyed
  // or the process ends in any way (a crash never leaves it held).
  virtual bool hold() = 0;
  // Opens regular file `name` for reading, with no sharing restriction.
  virtual std::unique_ptr<File> open_read(const Text& name, Error& err) = 0;
  // Opens regular file `name` to take it as a source: for reading,
  // exclusively. Fails with kLocked when another program holds it open; while
  // it stays open, later openers are kept out (POSIX: a write lease, or the
  // best check available without one; Windows: share mode 0 with DELETE
  // access, so that move_to and remove work through the handle).
  virtual std::unique_ptr<File> open_source(const Text& name, Error& err) = 0;
  // Creates a file in flight in this directory, for writing: with no name
  // where the system allows it, else under a fresh name with kPartialPrefix.
  // It gets its final name with publish(); closed unpublished, it is deleted.
  virtual std::unique_ptr<File> create_temp(Error& err) = 0;
  // Gives the file in flight `file` (made by create_temp of this directory,
  // complete and flushed) the name `name`: kExists when the name is taken and
  // `replace` is false; with `replace`, an existing file is replaced
  // atomically. Afterwards `file` is known under that name (File::remove).
  virtual Error publish(File& file, const Text& name, bool replace) = 0;
  // Renames entry `name` to `to_name` in `to`, never replacing (kExists);
  // kCrossDevice when `to` lies on another file system. For the system's own
  // entries (putting back what a crashed run had taken).
  virtual Error rename(const Text& name, Dir& to, const Text& to_name) = 0;
  // Flushes the directory's entries to the disk.
  virtual Error sync() = 0;
  // Removes files in flight that crashed runs left in this directory and that
  // no running transfer holds.
  virtual void remove_leftovers() = 0;
};

// Result of a drive query for a target path.
struct DriveSpace {
  enum Status { kOk, kIncorrectName, kNotExist } status = kNotExist;
  uint64_t total = 0;  // bytes
  uint64_t free = 0;   // bytes available to this program
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Opens an operator's directory path (links as the header says).
  virtual std::unique_ptr<Dir> open_dir(const Text& path, Error& err) = 0;
  // Information about an operator's path: a final link the operator may
  // follow is followed; other links fail with kUnsafeLink. kNotRegular for
  // FIFOs, sockets and devices.
  virtual Error stat(const Text& path, FileInfo& out) = 0;
  // Opens an operator's regular file for reading (settings, INCLUDE, script).
  virtual std::unique_ptr<File> open_read(const Text& path, Error& err) = 0;
  // Total and free space of the drive that holds (or would hold) path.
  virtual DriveSpace drive_space(const Text& path) = 0;
};

}  // namespace qv
