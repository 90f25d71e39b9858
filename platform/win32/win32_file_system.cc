// The file system of Windows, through the wide-character API. Names are
// CP866 inside and UTF-16 at the system calls.
#include <windows.h>

#include <memory>
#include <string>

#include "platform/backend.h"
#include "platform/win32/win32_util.h"

namespace qv {

namespace {

using win32::last_error;
using win32::widen_path;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Fills the identity of an open handle: volume serial number and file index.
bool fill_identity(HANDLE h, FileInfo& out) {
  BY_HANDLE_FILE_INFORMATION bh;
  if (!GetFileInformationByHandle(h, &bh)) return false;
  out.device = bh.dwVolumeSerialNumber;
  out.index = (static_cast<uint64_t>(bh.nFileIndexHigh) << 32) | bh.nFileIndexLow;
  return true;
}

// Size, times and attributes of an open handle.
Error info_of_handle(HANDLE h, FileInfo& out) {
  BY_HANDLE_FILE_INFORMATION bh;
  if (!GetFileInformationByHandle(h, &bh)) return last_error();
  out.attributes = win32::dos_attributes(bh.dwFileAttributes);
  bool dir = (bh.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  out.size = dir ? 0 : (static_cast<uint64_t>(bh.nFileSizeHigh) << 32) | bh.nFileSizeLow;
  out.mtime_ns = win32::filetime_to_ns(bh.ftLastWriteTime);
  out.device = bh.dwVolumeSerialNumber;
  out.index = (static_cast<uint64_t>(bh.nFileIndexHigh) << 32) | bh.nFileIndexLow;
  return Error::kNone;
}

// The identity of a name, through a handle that asks for no data access (so
// it is granted even while another program holds the file exclusively).
void fill_identity_of_name(const std::wstring& path, FileInfo& out) {
  HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  fill_identity(h, out);
  CloseHandle(h);
}

// A refused open of a directory says "access denied"; tell it apart.
Error refine_open_error(const std::wstring& path, Error err) {
  if (err != Error::kAccessDenied) return err;
  DWORD a = GetFileAttributesW(path.c_str());
  if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) return Error::kIsDirectory;
  return err;
}

class Win32File : public File {
 public:
  explicit Win32File(HANDLE h) : h_(h) {}
  ~Win32File() override { close(); }

  int64_t read(void* buf, int64_t n) override {
    if (h_ == INVALID_HANDLE_VALUE || n < 0) return -1;
    DWORD want = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
    DWORD got = 0;
    if (!ReadFile(h_, buf, want, &got, nullptr)) return -1;
    return got;
  }

  int64_t write(const void* buf, int64_t n) override {
    if (h_ == INVALID_HANDLE_VALUE || n < 0) return -1;
    const char* p = static_cast<const char*>(buf);
    int64_t done = 0;
    while (done < n) {
      int64_t left = n - done;
      DWORD want = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
      DWORD put = 0;
      if (!WriteFile(h_, p + done, want, &put, nullptr) || put == 0) break;
      done += put;
    }
    return done;
  }

  Error flush() override {
    if (h_ == INVALID_HANDLE_VALUE) return Error::kIo;
    return FlushFileBuffers(h_) ? Error::kNone : last_error();
  }

  Error info(FileInfo& out) override {
    if (h_ == INVALID_HANDLE_VALUE) return Error::kIo;
    return info_of_handle(h_, out);
  }

  Error close() override {
    if (h_ == INVALID_HANDLE_VALUE) return Error::kIo;
    bool ok = CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
    return ok ? Error::kNone : last_error();
  }

 private:
  HANDLE h_;
};

// Opens a handle and keeps it only when it names a regular file on a disk:
// links, junctions, directories and devices (CON, NUL, ...) are refused.
std::unique_ptr<File> open_regular(const Text& path, DWORD access, DWORD share, DWORD creation,
                                   Error& err) {
  std::wstring w = widen_path(path);
  HANDLE h = CreateFileW(w.c_str(), access, share, nullptr, creation,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    err = refine_open_error(w, last_error());
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION bh;
  bool on_disk = GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &bh);
  if (!on_disk || win32::is_irregular(bh.dwFileAttributes)) {
    CloseHandle(h);
    err = Error::kNotRegular;
    return nullptr;
  }
  err = Error::kNone;
  return std::make_unique<Win32File>(h);
}

class Win32DirReader : public DirReader {
 public:
  Win32DirReader(HANDLE find, const WIN32_FIND_DATAW& first, std::wstring dir)
      : find_(find), data_(first), dir_(std::move(dir)), pending_(find != INVALID_HANDLE_VALUE) {}
  ~Win32DirReader() override {
    if (find_ != INVALID_HANDLE_VALUE) FindClose(find_);
  }

  bool next(RawEntry& out) override {
    while (pending_) {
      bool taken = take(data_, out);
      pending_ = FindNextFileW(find_, &data_) != 0;
      if (taken) return true;
    }
    return false;
  }

 private:
  // Turns a found entry into a RawEntry; false for entries never yielded.
  bool take(const WIN32_FIND_DATAW& d, RawEntry& out) {
    std::wstring_view name(d.cFileName);
    if (name == L"." || name == L".." || win32::is_irregular(d.dwFileAttributes)) return false;
    std::string oem;
    if (!win32::narrow_to_cp866(name, oem) || oem.size() > Text::kMax) return false;
    out.name.assign(oem);
    out.info = FileInfo{};
    out.info.attributes = win32::dos_attributes(d.dwFileAttributes);
    bool dir = (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    out.info.size = dir ? 0 : (static_cast<uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
    out.info.mtime_ns = win32::filetime_to_ns(d.ftLastWriteTime);
    fill_identity_of_name(dir_ + std::wstring(name), out.info);
    return true;
  }

  HANDLE find_;
  WIN32_FIND_DATAW data_;
  std::wstring dir_;  // with a trailing separator (or empty)
  bool pending_;
};

// The directory as a prefix of its entries' names: ends in a separator.
std::wstring directory_prefix(const Text& dir) {
  std::wstring w = widen_path(dir);
  if (!w.empty() && w.back() != L'\\' && w.back() != L':') w += L'\\';
  return w;
}

class Win32FileSystem : public FileSystem {
 public:
  std::unique_ptr<DirReader> open_dir(const Text& dir, Error& err) override {
    std::wstring prefix = directory_prefix(dir);
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW((prefix + L"*").c_str(), &data);
    err = Error::kNone;
    if (h == INVALID_HANDLE_VALUE) {
      // An empty drive root has not even "." and lists nothing.
      if (GetLastError() == ERROR_FILE_NOT_FOUND)
        return std::make_unique<Win32DirReader>(h, data, prefix);
      err = last_error();
      return nullptr;
    }
    return std::make_unique<Win32DirReader>(h, data, prefix);
  }

  Error stat(const Text& path, FileInfo& out) override {
    std::wstring w = widen_path(path);
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExW(w.c_str(), GetFileExInfoStandard, &d)) return last_error();
    if (win32::is_irregular(d.dwFileAttributes)) return Error::kNotRegular;
    out = FileInfo{};
    out.attributes = win32::dos_attributes(d.dwFileAttributes);
    bool dir = (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    out.size = dir ? 0 : (static_cast<uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
    out.mtime_ns = win32::filetime_to_ns(d.ftLastWriteTime);
    fill_identity_of_name(w, out);
    return Error::kNone;
  }

  std::unique_ptr<File> open_read(const Text& path, Error& err) override {
    return open_regular(path, GENERIC_READ, kShareAll, OPEN_EXISTING, err);
  }

  std::unique_ptr<File> open_exclusive(const Text& path, Error& err) override {
    return open_regular(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, err);
  }

  std::unique_ptr<File> create_new(const Text& path, Error& err) override {
    // Readers may look in; the finished file may be renamed while still open.
    return open_regular(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                        CREATE_NEW, err);
  }

  Error remove(const Text& path) override {
    std::wstring w = widen_path(path);
    if (DeleteFileW(w.c_str())) return Error::kNone;
    return refine_open_error(w, last_error());
  }

  Error rename(const Text& from, const Text& to, bool replace) override {
    DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (MoveFileExW(widen_path(from).c_str(), widen_path(to).c_str(), flags)) return Error::kNone;
    return last_error();
  }

  Error set_attributes(const Text& path, uint32_t attributes) override {
    DWORD a = win32::settable_attributes(attributes);
    return SetFileAttributesW(widen_path(path).c_str(), a) ? Error::kNone : last_error();
  }

  Error copy_attributes(const Text& from, const Text& to) override {
    DWORD a = GetFileAttributesW(widen_path(from).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return last_error();
    return set_attributes(to, win32::dos_attributes(a));
  }

  Error set_mtime(const Text& path, int64_t mtime_ns) override {
    FILETIME ft = win32::ns_to_filetime(mtime_ns);
    HANDLE h = CreateFileW(widen_path(path).c_str(), FILE_WRITE_ATTRIBUTES, kShareAll, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return last_error();
    bool ok = SetFileTime(h, nullptr, nullptr, &ft);
    Error err = ok ? Error::kNone : last_error();
    CloseHandle(h);
    return err;
  }

  Error make_dir(const Text& path) override {
    return CreateDirectoryW(widen_path(path).c_str(), nullptr) ? Error::kNone : last_error();
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
