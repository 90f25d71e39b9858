#include "console/status.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/cp866.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

const std::string kBar = "│";

std::string blanks(int n) {
  return std::string(static_cast<size_t>(n), ' ');
}

// A row of the upper frame: bars in columns 1, 31, 80, the counter block in 16-29.
std::string upper_row(const std::string& counter_block) {
  return kBar + blanks(14) + counter_block + " " + kBar + blanks(48) + kBar;
}

// Characters of the presented screen from (x,y) on, as UTF-8.
std::string shown(const fake::FakeConsole& c, int x, int y, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) append_utf8(out, cp866_to_unicode(c.cell(x + i, y).ch));
  return out;
}

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

std::string right_aligned(const std::string& s, int width) {
  return blanks(width - static_cast<int>(s.size())) + s;
}

struct Layout {
  uint8_t lang;
  std::string top, label3, label5, label7, label9, label11, separator;
  std::string date;
  int date_column;
};

const Layout kLayouts[] = {
    {0, "┌───── History of search ─────┬───────── The list of \"unknown\" files ──────────┐",
     "Programm  work", "        Cycles", "  Found  files", " Size of bytes", "In     Out    ",
     "╞═════════════════════════════╧ The done operations ═══════════════════════════╡",
     "Saturday, 5 December 2026 year.", 21},
    {1, "┌────── История поиска ───────┬───────── Cписок \"неизвестных\" файлов ──────────┐",
     "Пpошло вpемени", "        Циклов", "Найдено файлов", "   Размеp байт", "Вх.    Bых.   ",
     "╞═════════════════════════════╧ Проделанные операции ══════════════════════════╡",
     "Суббота, 5 Декабря 2026 года.", 22},
};

TEST(StatusScreen, FrameLabelsAndCountersInBothLanguages) {
  for (const Layout& l : kLayouts) {
    fake::FakePlatform p;
    qv::Run run(p.platform);
    run.settings.lang = l.lang;
    run.screen.put_text(40, 18, "leftover", kRed);
    draw_status_screen(run);
    const auto& c = p.console;
    // The date line starts at 36 - w/2 (w = day name + month name + 15); no clock yet.
    const int date_chars = l.lang ? 29 : 31;
    EXPECT_EQ(c.row(1),
              blanks(l.date_column - 1) + l.date + blanks(80 - (l.date_column - 1) - date_chars));
    EXPECT_EQ(c.row(2), l.top);
    EXPECT_EQ(c.row(3), upper_row(l.label3));
    EXPECT_EQ(c.row(4), upper_row(blanks(14)));
    EXPECT_EQ(c.row(5), upper_row(l.label5));
    EXPECT_EQ(c.row(6), upper_row(blanks(13) + "1"));
    EXPECT_EQ(c.row(8), upper_row(blanks(13) + "0"));
    EXPECT_EQ(c.row(10), upper_row(blanks(13) + "0"));
    EXPECT_EQ(c.row(11), upper_row(l.label11));
    EXPECT_EQ(c.row(12), l.separator);
    EXPECT_EQ(c.row(18), kBar + blanks(78) + kBar);
    EXPECT_EQ(c.row(24), "└" + repeat("─", 78) + "┘");
    EXPECT_EQ(c.row(25), blanks(80));
  }
}

TEST(StatusScreen, ColoursOfFrameLabelsValuesAndDateLine) {
  fake::FakePlatform p;
  qv::Run run(p.platform);
  draw_status_screen(run);
  struct Case {
    int x, y;
    uint8_t attr;
  };
  for (const Case& k : {Case{1, 2, kDarkGrey}, Case{16, 3, kDarkGrey}, Case{29, 6, kLightGrey},
                        Case{29, 8, kLightGrey}, Case{29, 10, kLightGrey}, Case{16, 11, kDarkGrey},
                        Case{31, 7, kDarkGrey}, Case{80, 20, kDarkGrey}, Case{1, 12, kDarkGrey},
                        Case{40, 24, kDarkGrey}, Case{21, 1, kCyan}}) {
    EXPECT_EQ(p.console.cell(k.x, k.y).attr, k.attr) << k.x << "," << k.y;
  }
}

// Adds a mask the way the interpreter does, wrapped in the calling protocol.
void add_mask(qv::Run& run, const std::string& mask) {
  save_done_cursor(run);
  add_history_entry(run, mask);
  select_done_panel(run);
}

TEST(StatusHistory, TenMasksLeaveMasksTwoToTenRightAligned) {
  fake::FakePlatform p;
  qv::Run run(p.platform);
  draw_status_screen(run);
  for (int i = 1; i <= 10; ++i) add_mask(run, "*.M" + std::to_string(i));
  for (int i = 2; i <= 10; ++i) {
    EXPECT_EQ(shown(p.console, 2, i + 1, 14), right_aligned("*.M" + std::to_string(i), 13) + " ");
    EXPECT_EQ(p.console.cell(14, i + 1).attr, kGreen);
  }
  EXPECT_EQ(p.console.row(3).substr(0, 3), kBar);  // the frame did not move
  EXPECT_EQ(p.console.transcript_utf8(), "");
}

TEST(StatusHistory, ALongMaskWrapsAndTheNextOneFollowsOnItsRow) {
  fake::FakePlatform p;
  qv::Run run(p.platform);
  draw_status_screen(run);
  add_mask(run, "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(run.panels.history_x, 7);
  EXPECT_EQ(run.panels.history_y, 2);
  add_mask(run, "X.TXT");
  EXPECT_EQ(shown(p.console, 2, 3, 14), "ABCDEFGHIJKLMN");
  EXPECT_EQ(shown(p.console, 2, 4, 14), "OPQRST" + blanks(8));
  EXPECT_EQ(shown(p.console, 2, 5, 6), "X.TXT ");
  EXPECT_EQ(run.panels.history_x, 6);
  EXPECT_EQ(run.panels.history_y, 3);
}

TEST(StatusCounters, ValuesAppearInPlaceAndTheDoneCursorComesBack) {
  for (const Layout& l : kLayouts) {
    fake::FakePlatform p;
    qv::Run run(p.platform);
    run.settings.lang = l.lang;
    run.screen.text_colour(kRed);
    draw_status_screen(run);
    EXPECT_EQ(run.screen.attribute(), kLightGrey);
    run.screen.write("abc");
    save_done_cursor(run);
    show_found_files(run, 1234567);
    show_byte_count(run, 5);
    show_dir_counts(run, 2, 15);
    run.script.cycle = 42;
    show_cycle_count(run);
    select_done_panel(run);
    run.screen.write("d");
    EXPECT_EQ(shown(p.console, 16, 8, 14), "       1234567");
    EXPECT_EQ(shown(p.console, 16, 10, 14), blanks(13) + "5");
    EXPECT_EQ(shown(p.console, 16, 6, 14), blanks(12) + "42");
    EXPECT_EQ(shown(p.console, 16, 11, 14), l.lang ? "Вх.  2 Bых. 15" : "In   2 Out  15");
    EXPECT_EQ(p.console.cell(28, 11).attr, kLightGrey);
    EXPECT_EQ(shown(p.console, 3, 13, 4), "abcd");
    EXPECT_EQ(p.console.transcript_utf8(), "abcd");
  }
}

TEST(StatusUnknown, ColourFollowsTheCycleAndEntriesTakeOneRowEach) {
  fake::FakePlatform p;
  qv::Run run(p.platform);
  draw_status_screen(run);
  save_done_cursor(run);
  add_unknown_entry(run, "first.dat");
  run.script.cycle = 2;
  add_unknown_entry(run, "second.dat");
  select_done_panel(run);
  EXPECT_EQ(shown(p.console, 33, 3, 9), "first.dat");
  EXPECT_EQ(p.console.cell(33, 3).attr, kLightGreen);
  EXPECT_EQ(shown(p.console, 33, 4, 10), "second.dat");
  EXPECT_EQ(p.console.cell(33, 4).attr, kYellow);
  EXPECT_EQ(run.panels.unknown_x, 11);
  EXPECT_EQ(run.panels.unknown_y, 2);
  EXPECT_EQ(p.console.transcript_utf8(), "");
}

}  // namespace
}  // namespace qv
