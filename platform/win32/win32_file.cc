#include <windows.h>

#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_util.h"

namespace qv::win32 {

namespace {

// The most one read or write call moves.
constexpr int64_t kMaxCall = 0x40000000;

}  // namespace

uint64_t index_of(const BY_HANDLE_FILE_INFORMATION& bh) {
  return (static_cast<uint64_t>(bh.nFileIndexHigh) << 32) | bh.nFileIndexLow;
}

Error info_of_handle(HANDLE h, FileInfo& out) {
  BY_HANDLE_FILE_INFORMATION bh;
  if (!GetFileInformationByHandle(h, &bh)) return last_error();
  out = FileInfo{};
  out.attributes = dos_attributes(bh.dwFileAttributes);
  bool dir = (bh.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  out.size = dir ? 0 : (static_cast<uint64_t>(bh.nFileSizeHigh) << 32) | bh.nFileSizeLow;
  out.mtime_ns = filetime_to_ns(bh.ftLastWriteTime);
  out.device = bh.dwVolumeSerialNumber;
  out.index = index_of(bh);
  return Error::kNone;
}

Win32File::Win32File(HANDLE h, bool source) : h_(h), source_(source) {
  if (source_) info(at_open_);
}

int64_t Win32File::read(void* buf, int64_t n) {
  if (h_ == INVALID_HANDLE_VALUE || n < 0) return -1;
  DWORD want = static_cast<DWORD>(n > kMaxCall ? kMaxCall : n);
  DWORD got = 0;
  if (!ReadFile(h_, buf, want, &got, nullptr)) return -1;
  return got;
}

int64_t Win32File::write(const void* buf, int64_t n) {
  if (h_ == INVALID_HANDLE_VALUE || n < 0) return -1;
  const char* p = static_cast<const char*>(buf);
  int64_t done = 0;
  while (done < n) {
    int64_t left = n - done;
    DWORD want = static_cast<DWORD>(left > kMaxCall ? kMaxCall : left);
    DWORD put = 0;
    if (!WriteFile(h_, p + done, want, &put, nullptr) || put == 0) break;
    done += put;
  }
  return done;
}

Error Win32File::rewind() {
  LARGE_INTEGER zero = {};
  return SetFilePointerEx(h_, zero, nullptr, FILE_BEGIN) ? Error::kNone : last_error();
}

Error Win32File::flush() {
  return FlushFileBuffers(h_) ? Error::kNone : last_error();
}

Error Win32File::set_attributes(const FileInfo& like) {
  return error_from_win32(set_handle_attributes(h_, settable_attributes(like.attributes)));
}

Error Win32File::set_mtime(int64_t mtime_ns) {
  FILETIME ft = ns_to_filetime(mtime_ns);
  return SetFileTime(h_, nullptr, nullptr, &ft) ? Error::kNone : last_error();
}

bool Win32File::held() {
  if (!source_) return true;
  // Share mode 0 keeps every other program out; only a change made around
  // the system's sharing rules is left to notice.
  FileInfo now;
  return info(now) == Error::kNone && now.size == at_open_.size &&
         now.mtime_ns == at_open_.mtime_ns;
}

Error Win32File::remove() {
  return error_from_win32(delete_on_close(h_));
}

Error Win32File::close() {
  if (h_ == INVALID_HANDLE_VALUE) return Error::kIo;
  if (in_flight_) delete_on_close(h_);
  bool ok = CloseHandle(h_);
  h_ = INVALID_HANDLE_VALUE;
  return ok ? Error::kNone : last_error();
}

}  // namespace qv::win32
