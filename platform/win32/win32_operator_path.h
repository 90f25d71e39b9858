// The operator's own paths (settings, script, input and output directories),
// opened one component at a time from their root through directory handles.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string_view>

#include "platform/error.h"
#include "platform/text.h"
#include "platform/win32/win32_nt.h"

namespace qv::win32 {

// Opens an operator's path (CP866, '\' or '/' separators, absolute or
// relative to the current directory; "." and ".." are resolved on the text
// first, as the system resolves them) from its root down, the last component as
// `final_spec` asks. A link or junction on the way is followed only when a
// trusted account made it: it is owned by one (its target is then walked the
// same way, at most 40 links deep) or, where the system follows it on its own
// and its owner cannot be seen, the directory that holds it lets only trusted
// accounts change its entries. Any other link fails with kUnsafeLink.
// Returns the handle, or INVALID_HANDLE_VALUE with `err` set.
HANDLE open_operator_path(const Text& path, const OpenHow& final_spec, Error& err);

// Length of the root of a full path: "X:\", "\\server\share\",
// "\\?\X:\", "\\?\UNC\server\share\", "\\?\Volume{...}\"; 0 when the path
// has none of these roots (a device path "\\.\..." included).
std::size_t root_length(std::wstring_view full);

}  // namespace qv::win32
