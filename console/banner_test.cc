#include "console/banner.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "console/status.h"
#include "platform/cp866.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

std::string blanks(int n) {
  return std::string(static_cast<size_t>(n), ' ');
}

// The text of a row from column x to its last non-blank character.
std::string row_from(const fake::FakeConsole& c, int x, int y) {
  std::string out;
  int last = kScreenCols;
  while (last >= x && c.cell(last, y).ch == ' ') --last;
  for (int i = x; i <= last; ++i) append_utf8(out, cp866_to_unicode(c.cell(i, y).ch));
  return out;
}

struct Language {
  uint8_t lang;
  std::string title, heading, download;
};

const Language kLanguages[] = {
    {0, "Quorvane file distributor 1.11 version ( Win+ ).",
     "At detection of mistakes write Author E-Mail :", "Last version is possible download with "},
};

// The exit banner replaces the status screen and goes to the transcript.
TEST(Banner, LayoutOfTitleHeadingsAndContacts) {
  for (const Language& l : kLanguages) {
    fake::FakePlatform p;
    qv::Run run(p.platform);
    run.settings.lang = l.lang;
    draw_status_screen(run);
    run.screen.write("last message");
    draw_banner(run);
    const auto& c = p.console;
    EXPECT_EQ(row_from(c, 1, 1) + "|" + row_from(c, 1, 2) + "|" + row_from(c, 1, 3),
              l.title + "||" + l.heading);
    for (int y = 5; y <= 7; ++y) {
      EXPECT_EQ(row_from(c, 1, y).substr(0, 30), blanks(30)) << y;
      EXPECT_NE(c.cell(31, y).ch, ' ') << y;
    }
    EXPECT_EQ(row_from(c, 1, 9).substr(0, l.download.size()), l.download);
    for (int y = 9; y <= 11; ++y) {
      EXPECT_EQ(c.cell(39, y).ch, ' ') << y;
      EXPECT_NE(c.cell(40, y).ch, ' ') << y;
    }
    EXPECT_EQ(row_from(c, 1, 10).substr(0, 39) + row_from(c, 1, 12) + row_from(c, 1, 24),
              blanks(39));
    EXPECT_EQ(std::pair(run.screen.where_x(), run.screen.where_y()), std::pair(1, 13));
    EXPECT_FALSE(c.cursor_visible());
    EXPECT_EQ(c.transcript_utf8().rfind("last message\n" + l.title + "\n\n", 0), 0u);
  }
}

}  // namespace
}  // namespace qv
