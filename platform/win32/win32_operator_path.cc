#include "platform/win32/win32_operator_path.h"

#include <winioctl.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/win32_security.h"
#include "platform/win32/win32_util.h"

namespace qv::win32 {

namespace {

constexpr int kMaxLinks = 40;

// What the open of every directory on the way asks for.
constexpr OpenHow kWalkSpec = {FILE_TRAVERSE | FILE_READ_ATTRIBUTES, kShareAll, kOpenExisting,
                               kDirectoryOnly};

bool starts_with(std::wstring_view s, std::wstring_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// Length of "\\server\share\" from `start` (the server's first character).
std::size_t unc_root_length(std::wstring_view full, std::size_t start) {
  std::size_t server_end = full.find(L'\\', start);
  if (server_end == std::wstring_view::npos || server_end == start) return 0;
  std::size_t share_end = full.find(L'\\', server_end + 1);
  if (share_end == server_end + 1) return 0;
  return share_end == std::wstring_view::npos ? full.size() : share_end + 1;
}

bool has_drive_root(std::wstring_view s) {
  return s.size() >= 3 && s[1] == L':' && s[2] == L'\\' &&
         ((s[0] >= L'A' && s[0] <= L'Z') || (s[0] >= L'a' && s[0] <= L'z'));
}

// The full form of a path, resolved against the current directory.
bool full_path(const std::wstring& path, std::wstring& out) {
  if (path.empty() || path.find(L'\0') != std::wstring::npos) return false;
  DWORD need = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (need == 0) return false;
  out.assign(need, L'\0');
  DWORD got = GetFullPathNameW(path.c_str(), need, out.data(), nullptr);
  if (got == 0 || got >= need) return false;
  out.resize(got);
  return true;
}

std::vector<std::wstring> components_of(std::wstring_view rest) {
  std::vector<std::wstring> out;
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = rest.find(L'\\', start);
    if (end == std::wstring_view::npos) end = rest.size();
    if (end > start) out.emplace_back(rest.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

// A path as the native system writes a link's target, in the form the
// path functions take.
std::wstring win32_form(std::wstring target) {
  if (!starts_with(target, L"\\??\\")) return target;
  std::wstring rest = target.substr(4);
  if (starts_with(rest, L"UNC\\")) return L"\\\\" + rest.substr(4);
  if (has_drive_root(rest)) return rest;
  return L"\\\\?\\" + rest;
}

// Where the link of the open handle `link` points. False for kinds of
// reparse points that are not links.
bool link_target(HANDLE link, std::wstring& target, bool& relative) {
  std::vector<unsigned char> buffer(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
  DWORD got = 0;
  if (!DeviceIoControl(link, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer.data(),
                       static_cast<DWORD>(buffer.size()), &got, nullptr) ||
      got < 20)
    return false;
  DWORD tag = 0, flags = 0;
  WORD offset = 0, length = 0;
  std::memcpy(&tag, buffer.data(), sizeof tag);
  std::memcpy(&offset, buffer.data() + 8, sizeof offset);  // substitute name
  std::memcpy(&length, buffer.data() + 10, sizeof length);
  std::size_t names = 0;  // where the name buffer starts
  if (tag == IO_REPARSE_TAG_MOUNT_POINT) {
    names = 16;
  } else if (tag == IO_REPARSE_TAG_SYMLINK) {
    std::memcpy(&flags, buffer.data() + 16, sizeof flags);
    names = 20;
  } else {
    return false;
  }
  if (names + offset + length > got || length % 2 != 0) return false;
  target.assign(length / 2, L'\0');
  std::memcpy(target.data(), buffer.data() + names + offset, length);
  relative = tag == IO_REPARSE_TAG_SYMLINK && (flags & 1) != 0;  // SYMLINK_FLAG_RELATIVE
  if (!relative) target = win32_form(target);
  return true;
}

// The outcome of one step of a walk: a handle, a path to walk instead (the
// target of a link), or an error.
struct Step {
  HANDLE handle = INVALID_HANDLE_VALUE;
  std::wstring redirect;
  Error err = Error::kNone;
};

Step failed(Error e) {
  Step s;
  s.err = e;
  return s;
}

// Refuses an entry whose kind is not what the open asks for.
Error kind_mismatch(DWORD attributes, const OpenHow& how) {
  bool dir = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (dir && (how.options & kFileOnly)) return Error::kIsDirectory;
  if (!dir && (how.options & kDirectoryOnly)) return Error::kNotDirectory;
  return Error::kNone;
}

Step through_link(HANDLE parent, const std::wstring& name, const OpenHow& how,
                  const std::wstring& walked);

// Opens `name` in `parent` without following a link, and checks that the
// handle holds the very entry the listing showed (`facts.id`, 0 when the
// directory could not be listed): nothing was swapped in between.
Step open_checked(HANDLE parent, const std::wstring& name, const OpenHow& how,
                  const EntryFacts& facts, const std::wstring& walked) {
  OpenHow no_follow = how;
  no_follow.options |= kNoFollow;
  DWORD code = 0;
  HANDLE h = open_relative(parent, name, no_follow, code);
  if (h == INVALID_HANDLE_VALUE) return failed(error_from_win32(code));
  BY_HANDLE_FILE_INFORMATION got;
  Error e = handle_facts(h, got) == ERROR_SUCCESS ? Error::kNone : Error::kIo;
  uint64_t id = (static_cast<uint64_t>(got.nFileIndexHigh) << 32) | got.nFileIndexLow;
  bool link = e == Error::kNone && (got.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
  if (e == Error::kNone && !link && facts.id != 0 && id != facts.id) e = Error::kChanged;
  if (e == Error::kNone && !link) e = kind_mismatch(got.dwFileAttributes, how);
  if (e != Error::kNone || link) {
    CloseHandle(h);
    // A link the listing could not show: only its own handle tells.
    if (link && facts.id == 0) return through_link(parent, name, how, walked);
    return failed(link ? Error::kChanged : e);
  }
  Step s;
  s.handle = h;
  return s;
}

// Whether the directory `parent` lets only trusted accounts change it.
bool parent_is_trusted(HANDLE parent) {
  DWORD code = 0;
  HANDLE h =
      open_relative(parent, L"", {READ_CONTROL, kShareAll, kOpenExisting, kDirectoryOnly}, code);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool trusted = only_trusted_may_change(h);
  CloseHandle(h);
  return trusted;
}

// Goes through the link `name` in `parent` (whose path is `walked`).
Step through_link(HANDLE parent, const std::wstring& name, const OpenHow& how,
                  const std::wstring& walked) {
  DWORD code = 0;
  HANDLE link = open_relative(
      parent, name, {FILE_READ_ATTRIBUTES | READ_CONTROL, kShareAll, kOpenExisting, kNoFollow},
      code);
  if (link == INVALID_HANDLE_VALUE) return failed(error_from_win32(code));
  BY_HANDLE_FILE_INFORMATION facts;
  bool is_link = handle_facts(link, facts) == ERROR_SUCCESS &&
                 (facts.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (is_link) {
    // The link itself is open: its owner decides, and its target is walked.
    Step s;
    bool relative = false;
    if (!owned_by_trusted(link))
      s.err = Error::kUnsafeLink;
    else if (!link_target(link, s.redirect, relative))
      s.err = Error::kNotRegular;
    else if (relative)
      s.redirect = walked + s.redirect;
    CloseHandle(link);
    return s;
  }
  // The system went through the link on its own, so the link's owner cannot
  // be read: trust it only where no untrusted account can have put it.
  CloseHandle(link);
  if (!parent_is_trusted(parent)) return failed(Error::kUnsafeLink);
  HANDLE h = open_relative(parent, name, how, code);
  if (h == INVALID_HANDLE_VALUE) return failed(error_from_win32(code));
  Step s;
  s.handle = h;
  if (handle_facts(h, facts) != ERROR_SUCCESS)
    s.err = Error::kIo;
  else
    s.err = kind_mismatch(facts.dwFileAttributes, how);
  if (s.err != Error::kNone) {
    CloseHandle(h);
    s.handle = INVALID_HANDLE_VALUE;
  }
  return s;
}

// One component of a walk: `name` in the directory `parent` (path `walked`).
// The listing shows a link as a link even where opening it would follow it;
// a directory that may be passed through but not listed is opened directly.
Step step(HANDLE parent, const std::wstring& name, const OpenHow& how, const std::wstring& walked) {
  if (name == L"." || name == L"..") return failed(Error::kBadName);
  EntryFacts facts;
  DWORD code = query_entry(parent, name, facts);
  if (code == ERROR_ACCESS_DENIED) return open_checked(parent, name, how, EntryFacts{}, walked);
  if (code != ERROR_SUCCESS) return failed(error_from_win32(code));
  if (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT)
    return through_link(parent, name, how, walked);
  if (facts.attributes & FILE_ATTRIBUTE_DEVICE) return failed(Error::kNotRegular);
  Error e = kind_mismatch(facts.attributes, how);
  if (e != Error::kNone) return failed(e);
  return open_checked(parent, name, how, facts, walked);
}

HANDLE open_root(const std::wstring& root, const OpenHow& how, Error& err) {
  if (how.options & kFileOnly) {
    err = Error::kIsDirectory;
    return INVALID_HANDLE_VALUE;
  }
  std::wstring with_separator = root.back() == L'\\' ? root : root + L'\\';
  HANDLE h = CreateFileW(with_separator.c_str(), how.access, how.share, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) err = last_error();
  return h;
}

// The remaining components after index `from`, each after a separator.
std::wstring rest_of(const std::vector<std::wstring>& parts, std::size_t from) {
  std::wstring out;
  for (std::size_t i = from; i < parts.size(); ++i) out += L'\\' + parts[i];
  return out;
}

// Walks the full path `full` once; a link's target comes back in `redirect`.
HANDLE walk(const std::wstring& full, const OpenHow& final_spec, std::wstring& redirect,
            Error& err) {
  std::size_t root = root_length(full);
  if (root == 0) {
    err = starts_with(full, L"\\\\.\\") ? Error::kNotRegular : Error::kNotFound;
    return INVALID_HANDLE_VALUE;
  }
  std::vector<std::wstring> parts = components_of(std::wstring_view(full).substr(root));
  std::wstring walked = full.substr(0, root);
  if (walked.back() != L'\\') walked += L'\\';
  HANDLE current = open_root(walked, parts.empty() ? final_spec : kWalkSpec, err);
  for (std::size_t i = 0; i < parts.size() && current != INVALID_HANDLE_VALUE; ++i) {
    bool last = i + 1 == parts.size();
    Step s = step(current, parts[i], last ? final_spec : kWalkSpec, walked);
    CloseHandle(current);
    current = s.handle;
    err = s.err;
    if (!s.redirect.empty()) redirect = s.redirect + rest_of(parts, i + 1);
    walked += parts[i] + L'\\';
  }
  return current;
}

}  // namespace

std::size_t root_length(std::wstring_view full) {
  if (starts_with(full, L"\\\\?\\")) {
    std::wstring_view rest = full.substr(4);
    if (has_drive_root(rest)) return 7;
    if (starts_with(rest, L"UNC\\")) return unc_root_length(full, 8);
    std::size_t end = full.find(L'\\', 4);
    return end == std::wstring_view::npos || end == 4 ? 0 : end + 1;
  }
  if (has_drive_root(full)) return 3;
  if (starts_with(full, L"\\\\") && full.size() > 2 && full[2] != L'.' && full[2] != L'?')
    return unc_root_length(full, 2);
  return 0;
}

HANDLE open_operator_path(const Text& path, const OpenHow& final_spec, Error& err) {
  err = Error::kNone;
  std::wstring full;
  if (!full_path(widen_path(path), full)) {
    err = Error::kNotFound;
    return INVALID_HANDLE_VALUE;
  }
  for (int links = 0; links <= kMaxLinks; ++links) {
    std::wstring redirect;
    HANDLE h = walk(full, final_spec, redirect, err);
    if (redirect.empty()) return h;
    if (!full_path(redirect, full)) break;
  }
  err = Error::kNotRegular;  // too many links, or a target that is no path
  return INVALID_HANDLE_VALUE;
}

}  // namespace qv::win32
