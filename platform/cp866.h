// CP866, the one code page of every text inside the system, and the only
// table that maps it to Unicode. Conversions happen at the boundaries: file
// names (backends), what is drawn (renderers), what is read from files.
//
// Literals in the sources are written in UTF-8 and turned into CP866 bytes at
// compile time:  "Файл "_oem  is a std::string_view of CP866 bytes. A literal
// holding a character that CP866 lacks does not compile.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

namespace cp866_detail {
// Unicode code points of the bytes 0x80..0xFF.
inline constexpr char16_t kHigh[128] = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B,
    0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433,
    0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B,
    0x044C, 0x044D, 0x044E, 0x044F, 0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0};

// What a console shows for the control bytes 0x00..0x1F: nothing for NUL,
// then the code page's glyphs from the smiling face to the down triangle.
inline constexpr char16_t kLowGlyphs[32] = {
    0x0020, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022, 0x25D8, 0x25CB, 0x25D9,
    0x2642, 0x2640, 0x266A, 0x266B, 0x263C, 0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7,
    0x25AC, 0x21A8, 0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC};
// ... and for DEL, 0x7F: the house.
inline constexpr char16_t kDelGlyph = 0x2302;

// CP866 byte of a code point, or -1 when CP866 has none.
constexpr int from_unicode(char32_t c) {
  if (c < 0x80) return static_cast<int>(c);
  for (int i = 0; i < 128; ++i)
    if (kHigh[i] == c) return 0x80 + i;
  return -1;
}

// Decodes one UTF-8 sequence at s[i] and advances i past it.
// Returns 0xFFFFFFFF for a bad sequence (i then stands after the bad byte).
constexpr char32_t decode_utf8(const char* s, std::size_t n, std::size_t& i) {
  constexpr char32_t kBad = 0xFFFFFFFF;
  unsigned char b = static_cast<unsigned char>(s[i++]);
  if (b < 0x80) return b;
  int extra = 0;
  char32_t c = 0;
  if ((b >> 5) == 6) {
    extra = 1, c = b & 0x1F;
  } else if ((b >> 4) == 14) {
    extra = 2, c = b & 0x0F;
  } else if ((b >> 3) == 30) {
    extra = 3, c = b & 0x07;
  } else {
    return kBad;
  }
  for (int k = 0; k < extra; ++k) {
    if (i >= n) return kBad;
    unsigned char cb = static_cast<unsigned char>(s[i]);
    if ((cb >> 6) != 2) return kBad;
    c = (c << 6) | (cb & 0x3F);
    ++i;
  }
  return c;
}

template <std::size_t N>
struct Utf8Literal {
  char s[N] = {};
  constexpr Utf8Literal(const char (&a)[N]) {  // NOLINT
    for (std::size_t i = 0; i < N; ++i) s[i] = a[i];
  }
};

template <std::size_t N>
struct OemBytes {
  char buf[N] = {};
  std::size_t len = 0;
};

template <std::size_t N>
constexpr OemBytes<N> to_oem(const Utf8Literal<N>& lit) {
  OemBytes<N> out;
  std::size_t i = 0;
  while (i < N - 1) {
    char32_t c = decode_utf8(lit.s, N - 1, i);
    int b = from_unicode(c);
    if (b < 0) throw "character not in CP866";  // compile-time error
    out.buf[out.len++] = static_cast<char>(b);
  }
  return out;
}

template <Utf8Literal L>
struct OemHolder {
  static constexpr OemBytes<sizeof(L.s)> value = to_oem(L);
};
}  // namespace cp866_detail

// "текст"_oem: the CP866 bytes of a UTF-8 literal, made at compile time.
template <cp866_detail::Utf8Literal L>
constexpr std::string_view operator""_oem() {
  return {cp866_detail::OemHolder<L>::value.buf, cp866_detail::OemHolder<L>::value.len};
}

// Unicode code point of a CP866 byte.
constexpr char32_t cp866_to_unicode(uint8_t b) {
  return b < 0x80 ? char32_t(b) : char32_t(cp866_detail::kHigh[b - 0x80]);
}

// The character a console shows for a CP866 byte: the code page's glyph for
// a control byte (below 0x20, and 0x7F), the byte's character otherwise; so
// what is shown is never a control character. For display only: names and
// file contents keep their bytes.
constexpr char32_t cp866_glyph(uint8_t b) {
  if (b < 0x20) return cp866_detail::kLowGlyphs[b];
  if (b == 0x7F) return cp866_detail::kDelGlyph;
  return cp866_to_unicode(b);
}

// CP866 byte of a code point, or -1 when CP866 cannot hold it.
constexpr int unicode_to_cp866(char32_t c) {
  return cp866_detail::from_unicode(c);
}

// CP866 bytes to UTF-8.
std::string cp866_to_utf8(std::string_view oem);

// CP866 bytes to UTF-8 as a console shows them: control bytes as glyphs
// (cp866_glyph). What every renderer of text for a person uses.
std::string cp866_to_glyphs_utf8(std::string_view oem);

// UTF-8 to CP866. Returns false (and leaves out what it cannot map) when the
// input is not valid UTF-8 or holds a character that CP866 lacks.
bool utf8_to_cp866(std::string_view utf8, std::string& oem);

// Appends the UTF-8 form of a code point.
void append_utf8(std::string& out, char32_t c);

}  // namespace qv
