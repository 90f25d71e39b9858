#include "platform/cp866.h"

#include <gtest/gtest.h>

#include <set>

namespace qv {
namespace {

TEST(Cp866, RoundTripsEveryByteAndRefusesWhatItCannotHold) {
  std::string all, back;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_TRUE(utf8_to_cp866(cp866_to_utf8(all), back));
  EXPECT_EQ(back, all);
  EXPECT_FALSE(utf8_to_cp866("a\u20ACb", back));  // euro sign
  EXPECT_EQ(back, "ab");
  EXPECT_FALSE(utf8_to_cp866("\xff", back));  // not UTF-8
}

// What is shown for a byte is never a control character, and no two bytes
// look alike (but NUL, shown blank); the control bytes get the console's glyphs.
TEST(Cp866, EveryByteIsShownAsAPrintableGlyphOfItsOwn) {
  std::set<char32_t> seen;
  for (int b = 1; b < 256; ++b) {
    const char32_t g = cp866_glyph(static_cast<uint8_t>(b));
    EXPECT_FALSE(g < 0x20 || (g >= 0x7F && g < 0xA0)) << b;
    EXPECT_TRUE(seen.insert(g).second) << "byte " << b << " looks like another";
  }
  EXPECT_EQ(cp866_glyph(0), U' ');
  EXPECT_EQ(cp866_to_glyphs_utf8("\x01\x0a\x0d\x1b\x07\x7f\x1f"
                                 "A\xb3"),
            "☺◙♪←•⌂▼A│");
  EXPECT_EQ(cp866_to_utf8("\x0a\x7f"), "\n\x7f");  // names keep their bytes
}

}  // namespace
}  // namespace qv
