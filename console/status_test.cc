#include "console/status.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "console/messages.h"
#include "platform/cp866.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

const std::string kBar = "│";

std::string blanks(int n) {
  return std::string(static_cast<size_t>(n), ' ');
}

// Characters of the presented screen from (x,y) on, as UTF-8.
std::string shown(const fake::FakeConsole& c, int x, int y, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) append_utf8(out, cp866_to_unicode(c.cell(x + i, y).ch));
  return out;
}

// The screen right after the build, row by row.
std::vector<std::string> built_screen() {
  std::vector<std::string> rows = {
      blanks(20) + "Saturday, 5 December 2026 year." + blanks(29),
      "┌───── History of search ─────┬───────── The list of \"unknown\" files ──────────┐"};
  for (const std::string b : {"Programm  work", "", "        Cycles", "1", "  Found  files", "0",
                              " Size of bytes", "0", "In     Out    "}) {
    const std::string block = b.size() == 1 ? blanks(13) + b : b.empty() ? blanks(14) : b;
    rows.push_back(kBar + blanks(14) + block + " " + kBar + blanks(48) + kBar);
  }
  rows.push_back(
      "╞═════════════════════════════╧ The done operations ═══════════════════════════╡");
  for (int y = 13; y <= 23; ++y) rows.push_back(kBar + blanks(78) + kBar);
  std::string bottom = "└";
  for (int i = 0; i < 78; ++i) bottom += "─";
  rows.push_back(bottom + "┘");
  rows.push_back(blanks(80));
  return rows;
}

TEST(StatusScreen, BuiltCellForCellAndALongRunStaysInItsPanels) {
  fake::FakePlatform p;
  qv::Run run(p.platform);
  run.screen.put_text(40, 18, "leftover", kRed);
  run.screen.text_colour(kRed);
  draw_status_screen(run);
  const std::vector<std::string> rows = built_screen();
  for (int y = 1; y <= 25; ++y) EXPECT_EQ(p.console.row(y), rows[y - 1]) << "row " << y;
  // The frame and labels dark grey, the counters light grey, the date cyan.
  for (auto [x, y, attr] : {std::tuple{1, 2, kDarkGrey},
                            {16, 3, kDarkGrey},
                            {29, 6, kLightGrey},
                            {16, 11, kDarkGrey},
                            {21, 1, kCyan}})
    EXPECT_EQ(p.console.cell(x, y).attr, attr) << x << "," << y;
  EXPECT_EQ(run.screen.attribute(), kLightGrey);
  EXPECT_EQ(p.console.transcript_utf8(), "");

  run.screen.put_text(80, 25, "#", kRed);  // a write to the last cell would scroll the console
  std::string transcript;
  for (int i = 1; i <= 300; ++i) {
    const std::string message = std::to_string(i) + std::string(static_cast<size_t>(i % 160), 'm');
    // A line of its own each, also after 75 and 151, which end in the last column.
    if (i > 1) transcript += "\n";
    start_message_line(run);
    run.screen.write(message);
    transcript += message;
    save_done_cursor(run);
    add_unknown_entry(run, "file" + std::to_string(i) + ".dat");
    // Masks scroll the history panel; a long one wraps and the next follows on its row.
    add_history_entry(run, i == 299 ? "ABCDEFGHIJKLMNOPQRST" : "*.M" + std::to_string(i));
    run.script.cycle = i;
    show_cycle_count(run);
    show_found_files(run, 1234567LL * i);
    show_byte_count(run, 5);
    show_dir_counts(run, 2, 15);
    select_done_panel(run);
  }
  EXPECT_EQ(p.console.cell(80, 25), (Cell{'#', kRed}));
  for (int y : {1, 2, 12, 24}) EXPECT_EQ(p.console.row(y), rows[y - 1]) << y;
  for (int y = 3; y <= 23; ++y) {  // the frame did not move
    const std::string middle = y < 12 ? shown(p.console, 31, y, 1) : y > 12 ? kBar : "";
    EXPECT_EQ(shown(p.console, 1, y, 1) + middle + shown(p.console, 80, y, 1),
              y == 12 ? "╞╡" : kBar + kBar + kBar)
        << y;
  }
  EXPECT_EQ(p.console.transcript_utf8(), transcript);
  EXPECT_EQ(shown(p.console, 16, 6, 14) + shown(p.console, 16, 8, 14) +
                shown(p.console, 16, 10, 14) + shown(p.console, 16, 11, 14),
            blanks(11) + "300     370370100" + blanks(13) + "5" + "In   2 Out  15");
  EXPECT_EQ(shown(p.console, 33, 10, 12) + shown(p.console, 33, 11, 12),
            "file299.dat file300.dat ");
  for (int y = 3; y <= 8; ++y) {
    EXPECT_EQ(shown(p.console, 2, y, 14), blanks(7) + "*.M" + std::to_string(290 + y) + " ");
    EXPECT_EQ(p.console.cell(14, y).attr, kGreen) << y;
  }
  EXPECT_EQ(shown(p.console, 2, 9, 14) + shown(p.console, 2, 10, 14) + shown(p.console, 2, 11, 14),
            "ABCDEFGHIJKLMNOPQRST" + blanks(7) + "*.M300" + blanks(9));
}

}  // namespace
}  // namespace qv
