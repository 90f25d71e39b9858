// The pieces of the Windows file system that its files share: open files,
// held directories and the facts of a handle.
//
// A Dir is its path (for reports) and a directory handle shared for reading
// and writing but not for deletion, so nobody can rename or delete the
// directory, or swap it for a junction, while it is held. Every name inside
// it is opened, renamed and removed relative to that handle. A taken source
// is opened with share mode 0 and DELETE access: nobody else opens, renames
// or deletes it, and it is moved and removed through its own handle.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "platform/file_system.h"
#include "platform/win32/win32_nt.h"

namespace qv::win32 {

// What a Dir's own handle asks for: enough to list and look up, and sharing
// that keeps renames and deletions of the directory out.
inline constexpr ACCESS_MASK kDirAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
inline constexpr ULONG kDirShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

// The file index of a handle's facts.
uint64_t index_of(const BY_HANDLE_FILE_INFORMATION& bh);

// Size, times, attributes and identity of an open handle.
Error info_of_handle(HANDLE h, FileInfo& out);

// A Dir over the directory handle `h` (opened with kDirAccess and kDirShare),
// reported as `path`; it owns the handle.
std::unique_ptr<Dir> dir_of_handle(HANDLE h, Text path);

// Renames the open file `file` (opened with DELETE access) to `name` in
// `to`, through its handle.
Error rename_into(HANDLE file, Dir& to, const Text& name, bool replace);

class Win32File : public File {
 public:
  // `source`: a taken file, whose size and time held() compares.
  Win32File(HANDLE h, bool source);
  ~Win32File() override { close(); }

  HANDLE handle() const { return h_; }
  // Marks a file in flight made by create_temp: closed before it was
  // published, it is deleted, so a dropped transfer leaves no name behind.
  void set_in_flight(bool in_flight) { in_flight_ = in_flight; }

  int64_t read(void* buf, int64_t n) override;
  int64_t write(const void* buf, int64_t n) override;
  Error rewind() override;
  Error flush() override;
  Error info(FileInfo& out) override { return info_of_handle(h_, out); }
  Error set_attributes(const FileInfo& like) override;
  Error set_mtime(int64_t mtime_ns) override;
  bool held() override;
  Error move_to(Dir& to, const Text& name, bool replace) override {
    return rename_into(h_, to, name, replace);
  }
  Error remove() override;
  Error close() override;

 private:
  HANDLE h_;
  bool source_;
  bool in_flight_ = false;
  FileInfo at_open_;
};

}  // namespace qv::win32
