#ifdef _WIN32

#include "platform/win32/win32_console.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/cp866.h"

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

// Headless, the transcript goes out as UTF-8. Input is a pipe (a file at its
// end: the end-to-end cases): a byte before its end is a key that stays
// waiting; the end of input is never a key but ends the wait, and so does a
// stop.
TEST(Win32Console, HeadlessWritesUtf8AndHasAKeyOnlyBeforeTheEndOfInput) {
  for (bool with_key : {false, true}) {
    SCOPED_TRACE(with_key ? "with a key" : "without a key");
    HANDLE in_read = nullptr, in_write = nullptr, out_read = nullptr, out_write = nullptr;
    ASSERT_TRUE(CreatePipe(&in_read, &in_write, nullptr, 0));
    ASSERT_TRUE(CreatePipe(&out_read, &out_write, nullptr, 0));
    DWORD put = 0;
    if (with_key) WriteFile(in_write, "k", 1, &put, nullptr);
    std::atomic<bool> stop{true};
    Win32Console console(out_write, in_read, stop);
    EXPECT_FALSE(console.interactive());
    console.transcript("Файл ╚═╝\n\x1b\x7f"_oem);
    console.transcript_line_break();
    char buf[64];
    ReadFile(out_read, buf, sizeof buf, &put, nullptr);
    EXPECT_EQ(std::string(buf, put), "Файл ╚═╝◙←⌂\n");
    console.wait_key();  // a key, or the stop, ends it
    stop = false;
    CloseHandle(in_write);
    console.wait_key();  // the end of input ends the wait
    EXPECT_EQ(console.key_waiting(), with_key);
    EXPECT_EQ(console.key_waiting(), with_key) << "looking consumed the key";
    for (HANDLE h : {in_read, out_read, out_write}) CloseHandle(h);
  }
}

}  // namespace
}  // namespace qv::win32

#endif  // _WIN32
