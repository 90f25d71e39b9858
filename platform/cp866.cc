#include "platform/cp866.h"

namespace qv {

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string cp866_to_utf8(std::string_view oem) {
  std::string out;
  out.reserve(oem.size() * 2);
  for (char ch : oem) append_utf8(out, cp866_to_unicode(static_cast<uint8_t>(ch)));
  return out;
}

std::string cp866_to_glyphs_utf8(std::string_view oem) {
  std::string out;
  out.reserve(oem.size() * 2);
  for (char ch : oem) append_utf8(out, cp866_glyph(static_cast<uint8_t>(ch)));
  return out;
}

bool utf8_to_cp866(std::string_view utf8, std::string& oem) {
  oem.clear();
  bool ok = true;
  std::size_t i = 0;
  while (i < utf8.size()) {
    char32_t c = cp866_detail::decode_utf8(utf8.data(), utf8.size(), i);
    int b = c == 0xFFFFFFFF ? -1 : unicode_to_cp866(c);
    if (b < 0) {
      ok = false;
      continue;
    }
    oem += static_cast<char>(b);
  }
  return ok;
}

}  // namespace qv
