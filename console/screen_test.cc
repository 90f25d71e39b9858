#include "console/screen.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "console/messages.h"
#include "control/run.h"
#include "platform/cp866.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

// The done-operations panel of the status screen: 77 columns, 11 rows.
void select_panel(Screen& s) {
  s.window(3, 13, 79, 23);
}

std::string cells_text(const Screen& s, int x, int y, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += static_cast<char>(s.cell(x + i, y).ch);
  return out;
}

TEST(ScreenWindow, WritingTheLastColumnMovesToTheNextRowAtOnce) {
  fake::FakeConsole console;
  Screen s(console);
  select_panel(s);
  s.write(std::string(77, 'a'));
  EXPECT_EQ(s.where_x(), 1);
  EXPECT_EQ(s.where_y(), 2);
  EXPECT_EQ(cells_text(s, 3, 13, 77), std::string(77, 'a'));
  EXPECT_EQ(s.cell(3, 14).ch, ' ');
  s.write("bc");  // a wrapped text goes on in column 1 of the next row
  EXPECT_EQ(cells_text(s, 3, 14, 2), "bc");
}

TEST(ScreenWindow, ScrollingMovesOnlyTheWindow) {
  fake::FakeConsole console;
  Screen s(console);
  s.put_text(1, 13, "L", kDarkGrey);
  s.put_text(80, 23, "R", kDarkGrey);
  s.put_text(3, 12, "A", kDarkGrey);
  s.put_text(3, 24, "B", kDarkGrey);
  select_panel(s);
  for (int row = 1; row <= 11; ++row) s.write_line(std::string(1, static_cast<char>('a' + row)));
  // Eleven line breaks from the top row: one scroll lost the first line.
  EXPECT_EQ(s.where_y(), 11);
  EXPECT_EQ(s.cell(3, 13).ch, 'c');
  EXPECT_EQ(s.cell(3, 22).ch, 'l');
  EXPECT_EQ(s.cell(3, 23).ch, ' ');
  for (auto [x, y, ch] : {std::tuple{1, 13, 'L'}, {80, 23, 'R'}, {3, 12, 'A'}, {3, 24, 'B'}}) {
    EXPECT_EQ(s.cell(x, y).ch, ch) << x << "," << y;
  }
}

TEST(ScreenWindow, AMessageEndingInTheLastColumnOfTheBottomRowScrolls) {
  fake::FakeConsole console;
  Screen s(console);
  select_panel(s);
  s.goto_xy(1, 11);
  s.write(std::string(77, 'z'));
  EXPECT_EQ(s.where_x(), 1);
  EXPECT_EQ(s.where_y(), 11);
  EXPECT_EQ(cells_text(s, 3, 22, 77), std::string(77, 'z'));
  EXPECT_EQ(cells_text(s, 3, 23, 77), std::string(77, ' '));
}

TEST(ScreenWindow, NumbersAreRightAlignedInTheirWidth) {
  struct Case {
    int64_t n;
    int width;
    std::string shown;
  };
  for (const Case& c :
       {Case{1234567, 14, "       1234567"}, Case{15, 3, " 15"}, Case{12345, 3, "12345"},
        Case{0, 0, "0"}, Case{-42, 5, "  -42"}, Case{INT64_MAX, 14, "9223372036854775807"}}) {
    fake::FakeConsole console;
    Screen s(console);
    s.write_number(c.n, c.width);
    EXPECT_EQ(cells_text(s, 1, 1, static_cast<int>(c.shown.size())), c.shown);
    EXPECT_EQ(s.where_x(), static_cast<int>(c.shown.size()) + 1);
  }
}

TEST(ScreenCells, PutTextKeepsTheCursorAndSaveRestoreKeepsAllCells) {
  fake::FakeConsole console;
  Screen s(console);
  s.write("ab");
  s.put_text(79, 25, "xyz", kCyan);  // cut at the screen edge
  EXPECT_EQ(s.where_x(), 3);
  EXPECT_EQ(s.cell(80, 25), (Cell{'y', kCyan}));
  CellGrid saved;
  s.save_cells(saved);
  s.full_window();
  s.clear_window();
  s.restore_cells(saved);
  EXPECT_EQ(s.cell(2, 1).ch, 'b');
  EXPECT_EQ(console.cell(79, 25), (Cell{'x', kCyan}));
}

TEST(ScreenPresent, OneWriteCallIsOnePresentAndBurstsCoalesce) {
  fake::FakeConsole console;
  Screen s(console);
  int before = console.presents();
  s.write(std::string(100, 'm'));
  EXPECT_EQ(console.presents(), before + 1);
  EXPECT_EQ(console.cell(20, 2).ch, 'm');
  s.begin_burst();
  for (int i = 0; i < 30; ++i) s.write_line("line");
  EXPECT_EQ(console.presents(), before + 1);
  s.end_burst();
  EXPECT_EQ(console.presents(), before + 2);
  s.goto_xy(1, 1);  // moving the cursor changes no cell
  s.present();
  EXPECT_EQ(console.presents(), before + 2);
}

TEST(ScreenTranscript, HeadlessCopiesWindowTextWithLineBreaksOnly) {
  fake::FakeConsole console(false);
  Screen s(console);
  s.window(1, 1, 5, 3);
  s.write("abcdefg");  // wraps after five: no line break in the transcript
  s.new_line();
  s.put_text(1, 20, "thread", kCyan);
  s.set_transcript(false);
  s.write("frame");
  s.set_transcript(true);
  s.write_line("Привет"_oem);
  EXPECT_EQ(console.transcript_utf8(), "abcdefg\nПривет\n");
}

TEST(ScreenTranscript, ClearingEndsAnOpenLineOnce) {
  fake::FakeConsole console(false);
  Screen s(console);
  s.write("open");
  s.set_transcript(false);
  s.clear_window();
  s.clear_window();
  s.set_transcript(true);
  s.write_line("next");
  s.clear_window();
  EXPECT_EQ(console.transcript_utf8(), "open\nnext\n");
}

TEST(ScreenTranscript, AnInteractiveConsoleGetsNoTranscript) {
  fake::FakeConsole console(true);
  Screen s(console);
  s.write_line("shown only");
  EXPECT_EQ(console.transcript_utf8(), "");
  EXPECT_EQ(console.row(1).substr(0, 10), "shown only");
}

TEST(Messages, StartMessageLineBreaksOnlyOutsideColumnOne) {
  fake::FakePlatform p;
  qv::Run run(p.platform);
  select_panel(run.screen);
  start_message_line(run);  // first message of an empty panel: no blank row
  EXPECT_EQ(run.screen.where_y(), 1);
  run.screen.write("first");
  start_message_line(run);
  run.screen.write(std::string(77, 's'));  // ends exactly in the last column
  start_message_line(run);
  run.screen.write("third");
  EXPECT_EQ(run.screen.cell(3, 13).ch, 'f');
  EXPECT_EQ(run.screen.cell(3, 14).ch, 's');
  EXPECT_EQ(run.screen.cell(3, 15).ch, 't');
  EXPECT_EQ(p.console.transcript_utf8(), "first\n" + std::string(77, 's') + "third");
}

}  // namespace
}  // namespace qv
