// Handle-relative primitives of the Windows backend. A name inside a held
// directory is opened, looked up and renamed relative to the directory's own
// handle (the native file API takes a root directory handle for that), so
// renaming the directory's path, or any directory above it, never sends an
// operation somewhere else.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string_view>

namespace qv::win32 {

// What one relative open asks for.
struct OpenHow {
  ACCESS_MASK access;
  ULONG share;        // FILE_SHARE_* bits
  ULONG disposition;  // kOpenExisting or kCreateNew
  ULONG options;      // kDirectoryOnly, kFileOnly, kNoFollow, combined
};

// Dispositions and options of the native open.
inline constexpr ULONG kOpenExisting = 0x1;   // FILE_OPEN
inline constexpr ULONG kCreateNew = 0x2;      // FILE_CREATE
inline constexpr ULONG kDirectoryOnly = 0x1;  // FILE_DIRECTORY_FILE
inline constexpr ULONG kFileOnly = 0x40;      // FILE_NON_DIRECTORY_FILE
inline constexpr ULONG kNoFollow = 0x200000;  // FILE_OPEN_REPARSE_POINT
inline constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens `name` relative to the directory handle `root` (an empty name opens
// the directory itself again). The handle is synchronous. On failure returns
// INVALID_HANDLE_VALUE with the Windows error code in `error`. `sd`, when
// given, is the security of a created file or directory.
HANDLE open_relative(HANDLE root, std::wstring_view name, const OpenHow& how, DWORD& error,
                     PSECURITY_DESCRIPTOR sd = nullptr);

// Renames the open file `file` to `name` in the directory `root`, replacing
// an existing entry only when `replace` is set. Returns a Windows error code.
DWORD rename_relative(HANDLE file, HANDLE root, std::wstring_view name, bool replace);

// What a directory listing says about one entry.
struct EntryFacts {
  DWORD attributes = 0;  // Windows attribute bits
  uint64_t size = 0;
  FILETIME last_write{};
  uint64_t id = 0;  // the file index within its volume
};

// Looks entry `name` up in the directory `dir` through the directory's own
// listing, which shows a link as a link even where opening it would follow
// it. `name` must hold no wildcard. Returns a Windows error code.
DWORD query_entry(HANDLE dir, std::wstring_view name, EntryFacts& out);

// Reads a directory through a listing handle of its own, one entry at a time.
class DirectoryListing {
 public:
  // Opens a listing of the directory `dir`; error() tells whether it failed.
  explicit DirectoryListing(HANDLE dir);
  ~DirectoryListing();
  DirectoryListing(const DirectoryListing&) = delete;
  DirectoryListing& operator=(const DirectoryListing&) = delete;
  // Windows error code of the open (0 when the listing is open).
  DWORD error() const { return error_; }
  // The next entry ("." and ".." included); null at the end.
  const FILE_ID_BOTH_DIR_INFO* next();

 private:
  bool refill();

  static constexpr DWORD kBufferBytes = 64 * 1024;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  DWORD error_ = 0;
  std::unique_ptr<uint64_t[]> buffer_;  // 8-byte aligned, as the entries need
  const FILE_ID_BOTH_DIR_INFO* entry_ = nullptr;
  bool exhausted_ = false;
};

// Marks the open file `h` (opened with DELETE access) for deletion at close,
// clearing a read-only bit for the removal only: the bit is set again when
// the removal is refused. Returns a Windows error code.
DWORD delete_on_close(HANDLE h);

// Sets the attribute bits of the open file `h` (FILE_ATTRIBUTE_NORMAL for
// none), leaving its times alone. Returns a Windows error code.
DWORD set_handle_attributes(HANDLE h, DWORD attributes);

// Identity and attributes of an open handle. Returns a Windows error code.
DWORD handle_facts(HANDLE h, BY_HANDLE_FILE_INFORMATION& out);

}  // namespace qv::win32
