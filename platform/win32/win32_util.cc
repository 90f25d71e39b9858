#include "platform/win32/win32_util.h"

#include <cstdint>

#include "platform/cp866.h"
#include "platform/shown_dirs.h"

namespace qv::win32 {

namespace {

// Seconds between 1601-01-01 and 1970-01-01, in 100 ns units.
constexpr int64_t kEpochDelta100ns = 116'444'736'000'000'000;

bool is_separator(char c) {
  return c == '\\' || c == '/';
}

ShownDirs<std::wstring>& recorded_dirs() {
  static ShownDirs<std::wstring> dirs;
  return dirs;
}

// UTF-16 to CP866, whole, with '?' for every character CP866 lacks.
std::string shown_text(std::wstring_view wide) {
  std::string out;
  for (wchar_t c : wide) {
    int b = (c >= 0xD800 && c <= 0xDFFF) ? -1 : unicode_to_cp866(static_cast<char32_t>(c));
    out += b < 0 ? '?' : static_cast<char>(b);
  }
  return out;
}

}  // namespace

std::wstring widen(std::string_view cp866) {
  std::wstring out;
  out.reserve(cp866.size());
  for (char c : cp866) out += static_cast<wchar_t>(cp866_to_unicode(static_cast<uint8_t>(c)));
  return out;
}

std::wstring widen_path(std::string_view cp866) {
  std::wstring out;
  std::size_t shown_length = 0;
  if (recorded_dirs().find(cp866, out, shown_length)) cp866.remove_prefix(shown_length);
  out += widen(cp866);
  for (wchar_t& c : out)
    if (c == L'/') c = L'\\';
  return out;
}

bool narrow_to_cp866(std::wstring_view wide, std::string& out) {
  out.clear();
  bool ok = true;
  for (wchar_t c : wide) {
    // A surrogate half never maps: CP866 lies wholly in the basic plane.
    int b = (c >= 0xD800 && c <= 0xDFFF) ? -1 : unicode_to_cp866(static_cast<char32_t>(c));
    if (b < 0) {
      ok = false;
      continue;
    }
    out += static_cast<char>(b);
  }
  return ok;
}

Text narrow_lossy(std::wstring_view wide) {
  return Text(shown_text(wide));
}

std::string record_system_dir(std::wstring_view native) {
  std::string shown = shown_text(native);
  std::string exact;
  if (!narrow_to_cp866(native, exact)) recorded_dirs().add(shown, std::wstring(native));
  return shown;
}

std::string to_windows_1251(std::wstring_view wide) {
  if (wide.empty()) return {};
  int n = WideCharToMultiByte(1251, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                              nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(1251, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

Error error_from_win32(DWORD code) {
  switch (code) {
    case ERROR_SUCCESS:
      return Error::kNone;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_UNIT:
    case ERROR_NO_MORE_FILES:
    case ERROR_DELETE_PENDING:
      return Error::kNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_PRIVILEGE_NOT_HELD:
      return Error::kAccessDenied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return Error::kLocked;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
    case ERROR_DIR_NOT_EMPTY:
      return Error::kExists;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case 1295:  // the disk quota is exceeded
      return Error::kNoSpace;
    case ERROR_DIRECTORY:
      return Error::kNotDirectory;
    case ERROR_NOT_SAME_DEVICE:
      return Error::kCrossDevice;
    case ERROR_CANT_ACCESS_FILE:
    case ERROR_CANT_RESOLVE_FILENAME:
    case ERROR_NOT_A_REPARSE_POINT:
      return Error::kNotRegular;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_INVALID_PARAMETER:
      return Error::kBadName;
    default:
      return Error::kIo;
  }
}

int64_t filetime_to_ns(const FILETIME& ft) {
  int64_t ticks =
      static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
  // Nanoseconds since 1970 in 64 bits reach from 1677 to 2262; beyond that
  // a stamp is held at the nearest end instead of wrapping round.
  constexpr int64_t kMaxTicks = INT64_MAX / 100;
  int64_t since_1970 = ticks - kEpochDelta100ns;
  if (since_1970 > kMaxTicks) return INT64_MAX;
  if (since_1970 < -kMaxTicks) return INT64_MIN;
  return since_1970 * 100;
}

FILETIME ns_to_filetime(int64_t ns) {
  // Floor division, so a time before 1970 keeps its 100 ns step downwards.
  int64_t ticks = ns / 100;
  if (ns % 100 < 0) --ticks;
  uint64_t ft = static_cast<uint64_t>(ticks + kEpochDelta100ns);  // never below 1601
  FILETIME out;
  out.dwLowDateTime = static_cast<DWORD>(ft & 0xFFFFFFFFu);
  out.dwHighDateTime = static_cast<DWORD>(ft >> 32);
  return out;
}

uint32_t dos_attributes(DWORD win_attributes) {
  return win_attributes &
         (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory | kAttrArchive);
}

DWORD settable_attributes(uint32_t dos) {
  DWORD a = dos & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
  return a == 0 ? FILE_ATTRIBUTE_NORMAL : a;
}

bool is_irregular(DWORD win_attributes) {
  return (win_attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0;
}

std::wstring drive_root_of(std::string_view p) {
  if (p.size() >= 2 && p[1] == ':') {
    char letter = p[0];
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    if (letter < 'A' || letter > 'Z') return {};
    return std::wstring(1, static_cast<wchar_t>(letter)) + L":\\";
  }
  if (p.size() < 2 || !is_separator(p[0]) || !is_separator(p[1])) return {};
  std::size_t server_end = 2;
  while (server_end < p.size() && !is_separator(p[server_end])) ++server_end;
  std::size_t share_end = server_end + 1;
  while (share_end < p.size() && !is_separator(p[share_end])) ++share_end;
  bool has_server = server_end > 2;
  bool has_share = server_end < p.size() && share_end > server_end + 1;
  if (!has_server || !has_share) return {};
  return widen_path(p.substr(0, share_end)) + L"\\";
}

}  // namespace qv::win32
