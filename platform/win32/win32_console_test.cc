#ifdef _WIN32

#include "platform/win32/win32_console.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace qv::win32 {
namespace {

TEST(Win32Console, OnlyChangedCellsAreWrittenAndRowRunsCoalesce) {
  CellGrid a{}, b{};
  EXPECT_TRUE(changed_rects(a, b, false).empty());
  EXPECT_EQ(changed_rects(a, b, true),
            (std::vector<CellRect>{{0, kScreenRows - 1, 0, kScreenCols - 1}}));
  b[0][5].ch = 'x';  // one cell of the clock line
  b[3][10].attr = 4;
  b[3][12].ch = '1';   // a counter on row 4
  b[10][70].ch = 'a';  // three rows of a scrolled panel
  b[11][2].ch = 'b';
  b[12][40].ch = 'c';
  b[24][79].ch = 'z';
  std::vector<CellRect> want = {{0, 0, 5, 5}, {3, 3, 10, 12}, {10, 12, 2, 70}, {24, 24, 79, 79}};
  EXPECT_EQ(changed_rects(a, b, false), want);
}

// A cell shows its byte's glyph, never a control character.
TEST(Win32Console, CellsShowTheGlyphsOfControlBytes) {
  const std::pair<uint8_t, wchar_t> cells[] = {
      {0x00, L' '}, {0x0A, 0x25D9}, {0x1B, 0x2190}, {0x7F, 0x2302}, {0xB3, 0x2502}};
  for (const auto& [byte, shown] : cells)
    EXPECT_EQ(char_info_of(Cell{byte, 7}).Char.UnicodeChar, shown) << int(byte);
}

}  // namespace
}  // namespace qv::win32

#endif  // _WIN32
