// The file-system interface. Paths are Text (CP866); '\' and '/' are both
// separators. Backends: platform/posix, platform/win32, and the fake in tests/.
//
// Only the primitives are virtual. The directory search with wildcards and the
// attribute-mask rule, and "create a directory with its parents", are written
// once above them (platform/dir_search.h), so backends cannot disagree.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
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

// What the file system says about one name.
struct FileInfo {
  uint32_t attributes = 0;  // Attr bits
  uint64_t size = 0;        // bytes (0 for directories)
  int64_t mtime_ns = 0;     // last-write time, nanoseconds since 1970-01-01 UTC
  uint64_t device = 0;      // with `index`, tells whether two names are one file
  uint64_t index = 0;       // inode / file index
  int64_t ctime_ns = 0;     // change time (POSIX), as mtime_ns; 0 where the system has none
};

// One name of a directory listing (no "." or "..").
struct RawEntry {
  Text name;  // name with extension, no directory, CP866
  FileInfo info;
};

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
  // Flushes written data to the disk.
  virtual Error flush() = 0;
  // Size and times of the open file.
  virtual Error info(FileInfo& out) = 0;
  // Closes the file; further calls fail. Returns the close error, if any.
  virtual Error close() = 0;
};

// Result of a drive query for a target path.
struct DriveSpace {
  enum Status { kOk, kIncorrectName, kNotExist } status = kNotExist;
  uint64_t total = 0;  // bytes
  uint64_t free = 0;   // bytes available to this program
};

// Reads the entries of one directory, one by one.
class DirReader {
 public:
  virtual ~DirReader() = default;
  // Next entry; false when there are no more.
  virtual bool next(RawEntry& out) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Lists a directory. Null (and err set) when it cannot be opened.
  // Only regular files and directories are yielded; links, FIFOs, sockets
  // and devices are left out. Names that CP866 cannot hold are left out.
  virtual std::unique_ptr<DirReader> open_dir(const Text& dir, Error& err) = 0;
  // Information about a name, without following a final symbolic link.
  // kNotRegular for links, FIFOs, sockets and devices.
  virtual Error stat(const Text& path, FileInfo& out) = 0;
  // Opens an existing regular file for reading only, no sharing restriction.
  virtual std::unique_ptr<File> open_read(const Text& path, Error& err) = 0;
  // Opens an existing regular file for reading, exclusively: fails with
  // kLocked when another program holds it open (and is refused later writers).
  virtual std::unique_ptr<File> open_exclusive(const Text& path, Error& err) = 0;
  // Creates a new regular file for writing; fails with kExists if the name is
  // taken (never follows or replaces anything).
  virtual std::unique_ptr<File> create_new(const Text& path, Error& err) = 0;
  // Deletes a file (not a directory).
  virtual Error remove(const Text& path) = 0;
  // Renames a file within one directory tree; replaces an existing target
  // atomically when `replace` is true, else fails with kExists.
  virtual Error rename(const Text& from, const Text& to, bool replace) = 0;
  // Sets the attribute bits read-only, hidden, system, archive (the others
  // are ignored). On POSIX, read-only maps to the owner's write bit.
  virtual Error set_attributes(const Text& path, uint32_t attributes) = 0;
  // Carries permission bits (POSIX) or attributes (Windows) of one file to
  // another: what "give the target the source's attributes" means here.
  virtual Error copy_attributes(const Text& from, const Text& to) = 0;
  // Sets the last-write time exactly (at the file system's resolution).
  virtual Error set_mtime(const Text& path, int64_t mtime_ns) = 0;
  // Creates one directory (its parent must exist).
  virtual Error make_dir(const Text& path) = 0;
  // Total and free space of the drive that holds (or would hold) path.
  virtual DriveSpace drive_space(const Text& path) = 0;
};

}  // namespace qv
