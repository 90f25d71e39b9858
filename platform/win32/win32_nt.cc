#include "platform/win32/win32_nt.h"

#include <winternl.h>

#include <cstddef>
#include <cstring>

namespace qv::win32 {

namespace {

using NtCreateFileFn = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                    PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtSetInformationFileFn = LONG(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);
using NtQueryDirectoryFileFn = LONG(NTAPI*)(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID,
                                            ULONG, ULONG, BOOLEAN, PUNICODE_STRING, BOOLEAN);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(LONG);

// Information classes of the native calls.
constexpr ULONG kFileRenameInformation = 10;
constexpr ULONG kFileIdBothDirectoryInformation = 37;

// The native entry points, looked up once in the library every process has
// loaded (so the program needs no import library for it).
struct Ntdll {
  NtCreateFileFn create_file = nullptr;
  NtSetInformationFileFn set_information = nullptr;
  NtQueryDirectoryFileFn query_directory = nullptr;
  RtlNtStatusToDosErrorFn status_to_error = nullptr;
};

template <class Fn>
Fn lookup(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const Ntdll& ntdll() {
  static const Ntdll n = [] {
    Ntdll out;
    HMODULE m = GetModuleHandleW(L"ntdll.dll");
    if (m == nullptr) return out;
    out.create_file = lookup<NtCreateFileFn>(m, "NtCreateFile");
    out.set_information = lookup<NtSetInformationFileFn>(m, "NtSetInformationFile");
    out.query_directory = lookup<NtQueryDirectoryFileFn>(m, "NtQueryDirectoryFile");
    out.status_to_error = lookup<RtlNtStatusToDosErrorFn>(m, "RtlNtStatusToDosError");
    return out;
  }();
  return n;
}

DWORD error_of_status(LONG status) {
  if (status >= 0) return ERROR_SUCCESS;
  if (ntdll().status_to_error == nullptr) return ERROR_GEN_FAILURE;
  return ntdll().status_to_error(status);
}

// A counted string over `name` (names inside a directory are short).
UNICODE_STRING counted(std::wstring_view name) {
  UNICODE_STRING us;
  us.Buffer = const_cast<PWSTR>(name.data());
  us.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  us.MaximumLength = us.Length;
  return us;
}

constexpr std::size_t kMaxNameChars = 32767;

}  // namespace

HANDLE open_relative(HANDLE root, std::wstring_view name, const OpenHow& how, DWORD& error,
                     PSECURITY_DESCRIPTOR sd) {
  error = ERROR_SUCCESS;
  if (ntdll().create_file == nullptr) {
    error = ERROR_CALL_NOT_IMPLEMENTED;
    return INVALID_HANDLE_VALUE;
  }
  if (name.size() > kMaxNameChars) {
    error = ERROR_FILENAME_EXCED_RANGE;
    return INVALID_HANDLE_VALUE;
  }
  if (root == INVALID_HANDLE_VALUE) {  // a directory let go of: it is gone
    error = ERROR_PATH_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  UNICODE_STRING us = counted(name);
  OBJECT_ATTRIBUTES oa;
  InitializeObjectAttributes(&oa, &us, OBJ_CASE_INSENSITIVE, root, sd);
  IO_STATUS_BLOCK io;
  HANDLE h = nullptr;
  LONG status = ntdll().create_file(&h, how.access | SYNCHRONIZE, &oa, &io, nullptr,
                                    FILE_ATTRIBUTE_NORMAL, how.share, how.disposition,
                                    how.options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (status < 0) {
    error = error_of_status(status);
    return INVALID_HANDLE_VALUE;
  }
  return h;
}

DWORD rename_relative(HANDLE file, HANDLE root, std::wstring_view name, bool replace) {
  if (ntdll().set_information == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  // The layout of FILE_RENAME_INFORMATION: the name follows the header.
  struct Header {
    BOOLEAN replace_if_exists;
    HANDLE root_directory;
    ULONG name_bytes;
    WCHAR name[1];
  };
  if (name.empty() || name.size() > 255) return ERROR_INVALID_NAME;
  if (root == INVALID_HANDLE_VALUE) return ERROR_PATH_NOT_FOUND;
  alignas(Header) unsigned char buffer[sizeof(Header) + 256 * sizeof(WCHAR)] = {};
  auto* info = reinterpret_cast<Header*>(buffer);
  info->replace_if_exists = replace ? TRUE : FALSE;
  info->root_directory = root;
  info->name_bytes = static_cast<ULONG>(name.size() * sizeof(WCHAR));
  std::memcpy(info->name, name.data(), info->name_bytes);
  IO_STATUS_BLOCK io;
  // Never shorter than the structure itself, which some systems insist on.
  ULONG length = static_cast<ULONG>(offsetof(Header, name) + info->name_bytes);
  if (length < sizeof(Header)) length = sizeof(Header);
  return error_of_status(ntdll().set_information(file, &io, info, length, kFileRenameInformation));
}

DWORD query_entry(HANDLE dir, std::wstring_view name, EntryFacts& out) {
  if (ntdll().query_directory == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  if (name.empty() || name.find_first_of(L"*?<>\"") != std::wstring_view::npos)
    return ERROR_INVALID_NAME;
  DWORD error = ERROR_SUCCESS;
  // A listing handle of its own: the name given to the first query of a
  // handle stays its filter for good.
  HANDLE h = open_relative(dir, L"",
                           {FILE_LIST_DIRECTORY, kShareAll, kOpenExisting, kDirectoryOnly}, error);
  if (h == INVALID_HANDLE_VALUE) return error;
  alignas(8) unsigned char buffer[sizeof(FILE_ID_BOTH_DIR_INFO) + 512 * sizeof(WCHAR)];
  UNICODE_STRING mask = counted(name);
  IO_STATUS_BLOCK io;
  LONG status = ntdll().query_directory(h, nullptr, nullptr, nullptr, &io, buffer, sizeof buffer,
                                        kFileIdBothDirectoryInformation, TRUE, &mask, TRUE);
  CloseHandle(h);
  if (status < 0) {
    error = error_of_status(status);
    return error == ERROR_NO_MORE_FILES ? ERROR_FILE_NOT_FOUND : error;
  }
  const auto* e = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer);
  out.attributes = e->FileAttributes;
  out.size = static_cast<uint64_t>(e->EndOfFile.QuadPart);
  out.last_write.dwLowDateTime = e->LastWriteTime.LowPart;
  out.last_write.dwHighDateTime = static_cast<DWORD>(e->LastWriteTime.HighPart);
  out.id = static_cast<uint64_t>(e->FileId.QuadPart);
  return ERROR_SUCCESS;
}

DirectoryListing::DirectoryListing(HANDLE dir) {
  handle_ = open_relative(dir, L"", {FILE_LIST_DIRECTORY, kShareAll, kOpenExisting, kDirectoryOnly},
                          error_);
  if (handle_ != INVALID_HANDLE_VALUE) buffer_ = std::make_unique<uint64_t[]>(kBufferBytes / 8);
}

DirectoryListing::~DirectoryListing() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

bool DirectoryListing::refill() {
  if (exhausted_ || handle_ == INVALID_HANDLE_VALUE) return false;
  if (!GetFileInformationByHandleEx(handle_, FileIdBothDirectoryInfo, buffer_.get(),
                                    kBufferBytes)) {
    exhausted_ = true;  // the end, or a failure that ends the listing alike
    return false;
  }
  entry_ = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer_.get());
  return true;
}

const FILE_ID_BOTH_DIR_INFO* DirectoryListing::next() {
  if (entry_ != nullptr && entry_->NextEntryOffset != 0) {
    entry_ = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(
        reinterpret_cast<const unsigned char*>(entry_) + entry_->NextEntryOffset);
    return entry_;
  }
  entry_ = nullptr;
  return refill() ? entry_ : nullptr;
}

DWORD set_handle_attributes(HANDLE h, DWORD attributes) {
  FILE_BASIC_INFO basic = {};  // zero times: left as they are
  basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
  return SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic) ? ERROR_SUCCESS
                                                                            : GetLastError();
}

DWORD delete_on_close(HANDLE h) {
  FILE_BASIC_INFO basic;
  if (!GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)) return GetLastError();
  DWORD attributes = basic.FileAttributes;
  bool read_only = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (read_only) {
    DWORD e = set_handle_attributes(h, attributes & ~FILE_ATTRIBUTE_READONLY);
    if (e != ERROR_SUCCESS) return e;
  }
  FILE_DISPOSITION_INFO disposition = {TRUE};
  if (SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition))
    return ERROR_SUCCESS;
  DWORD e = GetLastError();
  if (read_only) set_handle_attributes(h, attributes);
  return e;
}

DWORD handle_facts(HANDLE h, BY_HANDLE_FILE_INFORMATION& out) {
  return GetFileInformationByHandle(h, &out) ? ERROR_SUCCESS : GetLastError();
}

}  // namespace qv::win32
