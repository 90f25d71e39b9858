#ifdef _WIN32

#include "platform/win32/win32_console.h"

#include <gtest/gtest.h>

#include <string>

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

TEST(Win32Console, CellsShowAsUnicodeWithTheirColour) {
  struct Case {
    uint8_t ch, attr;
    WCHAR want;
  } cases[] = {
      {'A', 0x07, L'A'},    {0xCD, 0x08, 0x2550}, {0xAF, 0x4E, 0x043F},
      {0xF0, 0x03, 0x0401}, {0, 0x07, L' '},
  };
  for (const Case& c : cases) {
    CHAR_INFO ci = char_info_of(Cell{c.ch, c.attr});
    EXPECT_EQ(ci.Char.UnicodeChar, c.want) << int(c.ch);
    EXPECT_EQ(ci.Attributes, c.attr) << int(c.ch);
  }
}

TEST(Win32Console, OnlyAKeyGoingDownIsAKeyPress) {
  struct Case {
    WORD type, vk;
    bool down, press;
  } cases[] = {{KEY_EVENT, 'A', true, true},
               {KEY_EVENT, VK_ESCAPE, true, true},
               {KEY_EVENT, 'A', false, false},
               {KEY_EVENT, VK_SHIFT, true, false},
               {KEY_EVENT, VK_CONTROL, true, false},
               {MOUSE_EVENT, 0, false, false},
               {WINDOW_BUFFER_SIZE_EVENT, 0, false, false}};
  for (const Case& c : cases) {
    INPUT_RECORD r = {};
    r.EventType = c.type;
    if (c.type == KEY_EVENT) r.Event.KeyEvent = {.bKeyDown = c.down, .wVirtualKeyCode = c.vk};
    EXPECT_EQ(is_key_press(r), c.press) << c.type << " " << c.vk;
  }
}

// A headless console between two anonymous pipes.
struct PipedConsole {
  HANDLE out_read = nullptr, out_write = nullptr, in_read = nullptr, in_write = nullptr;
  std::atomic<bool> stop{false};
  PipedConsole() {
    CreatePipe(&out_read, &out_write, nullptr, 0);
    CreatePipe(&in_read, &in_write, nullptr, 0);
  }
  ~PipedConsole() {
    for (HANDLE h : {out_read, out_write, in_read, in_write})
      if (h) CloseHandle(h);
  }
  std::string read_output() {
    char buf[256];
    DWORD got = 0;
    ReadFile(out_read, buf, sizeof buf, &got, nullptr);
    return std::string(buf, got);
  }
  void close_input() {
    CloseHandle(in_write);
    in_write = nullptr;
  }
};

TEST(Win32Console, HeadlessWritesUtf8AndAStopEndsTheWaitForAKey) {
  PipedConsole p;
  Win32Console console(p.out_write, p.in_read, p.stop);
  EXPECT_FALSE(console.interactive());
  console.transcript("Файл ╚═╝ copied\n"_oem);
  EXPECT_EQ(p.read_output(), "Файл ╚═╝ copied\n");
  p.stop = true;
  console.wait_key();  // the pipe stays open and empty
  EXPECT_FALSE(console.key_waiting());
}

TEST(Win32Console, HeadlessKeyIsAByteOnThePipeAndEndOfInputEndsTheWait) {
  PipedConsole p;
  Win32Console console(p.out_write, p.in_read, p.stop);
  EXPECT_FALSE(console.key_waiting());
  DWORD n = 0;
  WriteFile(p.in_write, "q", 1, &n, nullptr);
  EXPECT_TRUE(console.key_waiting());
  EXPECT_TRUE(console.key_waiting());  // looking does not consume it
  console.wait_key();                  // returns at once: a key is there
  char c = 0;
  ReadFile(p.in_read, &c, 1, &n, nullptr);
  p.close_input();
  EXPECT_FALSE(console.key_waiting());  // end of input is no key
  console.wait_key();                   // but it ends the wait
}

TEST(Win32Console, InputFromAFileHasAKeyOnlyBeforeItsEnd) {
  wchar_t dir[MAX_PATH], name[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  GetTempFileNameW(dir, L"qvk", 0, name);
  for (bool with_content : {false, true}) {
    HANDLE f = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD put = 0;
    if (with_content) WriteFile(f, "k", 1, &put, nullptr);
    SetFilePointer(f, 0, nullptr, FILE_BEGIN);
    PipedConsole p;
    Win32Console console(p.out_write, f, p.stop);
    EXPECT_EQ(console.key_waiting(), with_content);
    console.wait_key();  // returns either way: a key, or the end of the file
    CloseHandle(f);
  }
}

}  // namespace
}  // namespace qv::win32

#endif  // _WIN32
