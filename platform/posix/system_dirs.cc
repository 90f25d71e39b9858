// The program's own directory and the start directory as the POSIX system
// gives them: shown in CP866 with '?' where a character has no place there,
// and reached again through their native names (see platform/shown_dirs.h).
#include <string>

#include "platform/cp866.h"
#include "platform/posix/posix_internal.h"
#include "platform/shown_dirs.h"

namespace qv::posix {

namespace {

ShownDirs<std::string>& recorded_dirs() {
  static ShownDirs<std::string> dirs;
  return dirs;
}

}  // namespace

std::string shown_text(std::string_view native) {
  std::string oem;
  std::size_t i = 0;
  while (i < native.size()) {
    char32_t c = cp866_detail::decode_utf8(native.data(), native.size(), i);
    int b = c == 0xFFFFFFFF ? -1 : unicode_to_cp866(c);
    oem += b < 0 ? '?' : static_cast<char>(b);
  }
  return oem;
}

std::string record_system_dir(std::string_view native) {
  std::string oem;
  if (utf8_to_cp866(native, oem)) return oem;  // CP866 holds it: nothing to record
  std::string shown = shown_text(native);
  recorded_dirs().add(shown, std::string(native));
  return shown;
}

bool native_path_of_recorded(const Text& path, std::string& out) {
  std::size_t shown_length = 0;
  std::string native;
  if (!recorded_dirs().find(path.view(), native, shown_length)) return false;
  out = native;
  for (char ch : path.view().substr(shown_length)) {
    if (ch == '\\') ch = '/';
    append_utf8(out, cp866_to_unicode(static_cast<uint8_t>(ch)));
  }
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return true;
}

}  // namespace qv::posix
