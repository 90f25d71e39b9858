// Helpers of the Windows backend: names between CP866 and UTF-16, the one
// mapping of GetLastError() onto qv::Error, time stamps and attribute bits.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace qv::win32 {

// CP866 bytes to UTF-16; every '/' becomes '\', the separator of the system
// calls. A path that begins with a recorded directory gets its native name.
std::wstring widen_path(std::string_view cp866);

// CP866 bytes to UTF-16, unchanged otherwise (command lines, variable values).
std::wstring widen(std::string_view cp866);

// UTF-16 to CP866. False (out holds what could be mapped) when a character,
// or a surrogate pair, has no CP866 byte.
bool narrow_to_cp866(std::wstring_view wide, std::string& out);

// UTF-16 to CP866 where a lossy result is better than none: unmappable
// characters become '?'.
Text narrow_lossy(std::wstring_view wide);

// The shown text of a directory the system named (the program's own, the
// start directory), whole: as narrow_lossy, and recorded with its native
// name when CP866 cannot hold that name (platform/shown_dirs.h), so that
// widen_path() turns paths under the shown text back into it.
std::string record_system_dir(std::wstring_view native);

// UTF-16 to bytes of Windows-1251 (command-line arguments).
std::string to_windows_1251(std::wstring_view wide);

// The portable error of a Windows error code.
Error error_from_win32(DWORD code);

// The portable error of the calling thread's last Windows error.
inline Error last_error() {
  return error_from_win32(GetLastError());
}

// FILETIME (100 ns since 1601) to nanoseconds since 1970-01-01 UTC; stamps
// outside the years 1677..2262 are held at the nearest end.
int64_t filetime_to_ns(const FILETIME& ft);
// Nanoseconds since 1970 to FILETIME, cut down to its 100 ns steps.
FILETIME ns_to_filetime(int64_t ns);

// Read-only, hidden, system, directory and archive bits of Windows attributes.
uint32_t dos_attributes(DWORD win_attributes);

// Windows attributes to set for read-only, hidden, system and archive bits.
DWORD settable_attributes(uint32_t dos);

// True for entries that are never yielded: reparse points (links,
// junctions) and devices.
bool is_irregular(DWORD win_attributes);

// The root a drive query asks about: "X:\" for a path "X:...",
// "\\server\share\" for a UNC path, empty for anything else.
std::wstring drive_root_of(std::string_view cp866_path);

}  // namespace qv::win32
