// The file system of Windows, through the wide-character and native APIs.
// Names are CP866 inside and UTF-16 at the system calls; operator paths are
// walked from their root (win32_operator_path.h), everything else is done
// through held directories and open files (win32_file_system.h).
#include "platform/win32/win32_file_system.h"

#include <windows.h>

#include <memory>
#include <string>

#include "platform/backend.h"
#include "platform/win32/win32_operator_path.h"
#include "platform/win32/win32_util.h"

namespace qv {

namespace {

using win32::kDirAccess;
using win32::kDirectoryOnly;
using win32::kDirShare;
using win32::kFileOnly;
using win32::kOpenExisting;
using win32::kShareAll;

class Win32FileSystem : public FileSystem {
 public:
  std::unique_ptr<Dir> open_dir(const Text& path, Error& err) override {
    HANDLE h = win32::open_operator_path(
        path, {kDirAccess, kDirShare, kOpenExisting, kDirectoryOnly}, err);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    return win32::dir_of_handle(h, path);
  }

  Error stat(const Text& path, FileInfo& out) override {
    Error err = Error::kNone;
    HANDLE h =
        win32::open_operator_path(path, {FILE_READ_ATTRIBUTES, kShareAll, kOpenExisting, 0}, err);
    if (h == INVALID_HANDLE_VALUE) return err;
    err = GetFileType(h) == FILE_TYPE_DISK ? win32::info_of_handle(h, out) : Error::kNotRegular;
    CloseHandle(h);
    return err;
  }

  std::unique_ptr<File> open_read(const Text& path, Error& err) override {
    HANDLE h =
        win32::open_operator_path(path, {GENERIC_READ, kShareAll, kOpenExisting, kFileOnly}, err);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    if (GetFileType(h) != FILE_TYPE_DISK) {
      CloseHandle(h);
      err = Error::kNotRegular;
      return nullptr;
    }
    return std::make_unique<win32::Win32File>(h, false);
  }

  DriveSpace drive_space(const Text& path) override {
    DriveSpace out;
    std::wstring root = win32::drive_root_of(path);
    if (root.empty()) {
      out.status = DriveSpace::kIncorrectName;
      return out;
    }
    ULARGE_INTEGER avail, total, free_all;
    if (!GetDiskFreeSpaceExW(root.c_str(), &avail, &total, &free_all)) {
      out.status = DriveSpace::kNotExist;
      return out;
    }
    out.status = DriveSpace::kOk;
    out.total = total.QuadPart;
    out.free = avail.QuadPart;
    return out;
  }
};

}  // namespace

std::unique_ptr<FileSystem> make_real_file_system() {
  return std::make_unique<Win32FileSystem>();
}

}  // namespace qv
