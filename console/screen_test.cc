#include "console/screen.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/cp866.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

std::string cells_text(const Screen& s, int x, int y, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += static_cast<char>(s.cell(x + i, y).ch);
  return out;
}

TEST(ScreenWindow, NumbersAndTextCutAtTheScreenEdge) {
  fake::FakeConsole console;
  Screen s(console);
  s.write_number(-42, 5);
  s.write_number(12345, 3);  // a number wider than its place is shown whole
  s.write_number(INT64_MAX, 14);
  EXPECT_EQ(cells_text(s, 1, 1, 29), "  -4212345" + std::to_string(INT64_MAX));
  s.put_text(79, 25, "xyz", kCyan);  // cut at the screen edge; the cursor stays
  EXPECT_EQ(s.where_x(), 30);
  EXPECT_EQ(console.cell(80, 25), (Cell{'y', kCyan}));
}

// The transcript copies window text with line breaks only. A name holding a
// line feed, a carriage return, ESC, BEL and DEL is one run of characters:
// the cells hold its bytes, the screen and the transcript show their glyphs.
TEST(ScreenTranscript, HeadlessCopiesWindowTextWithLineBreaksOnly) {
  const std::string name = "a\nExit\r\x1b[2J\x07\x7f";
  for (bool interactive : {false, true}) {
    fake::FakeConsole console(interactive);
    Screen s(console);
    s.write("File ");
    s.write(name);
    EXPECT_EQ(cells_text(s, 1, 1, 18), "File " + name);
    EXPECT_EQ(std::pair(s.where_x(), s.where_y()), std::pair(19, 1));
    EXPECT_EQ(console.row(1), "File a◙Exit♪←[2J•⌂" + std::string(62, ' '));
    s.new_line();
    s.window(1, 2, 5, 4);
    s.write("abcdefg");  // wraps after five: no line break in the transcript
    s.new_line();
    s.put_text(1, 20, "thread", kCyan);
    s.write("open");
    s.set_transcript(false);
    s.write("frame");
    s.clear_window();  // ends the open line, once
    s.clear_window();
    s.set_transcript(true);
    s.write_line("Привет"_oem);
    s.clear_window();
    EXPECT_EQ(console.transcript_utf8(),
              interactive ? "" : "File a◙Exit♪←[2J•⌂\nabcdefg\nopen\nПривет\n");
  }
}

}  // namespace
}  // namespace qv
