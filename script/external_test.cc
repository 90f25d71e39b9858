#include "script/external.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "platform/cp866.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

// A run whose end-of-cycle program job.bat is switched on, with no delay.
struct ExternalRun {
  fake::FakePlatform fp;
  qv::Run run{fp.platform};

  explicit ExternalRun(bool check_exists = false, uint8_t lang = 0) {
    run.settings.run_batnik = true;
    run.settings.valid_exist_bat = check_exists;
    run.settings.name_batnik = "job.bat";
    run.settings.delay_bat = 0;
    run.settings.lang = lang;
  }
  std::string out() const { return fp.console.transcript_utf8(); }
};

// The command as written, else the first PATH entry that holds it (a PATH
// longer than a text is searched to its end); a name with arguments is no
// file name. A missing or switched-off program never starts.
TEST(ExternalTest, FindInPathAndAMissingProgramNeverStarts) {
  // The command, PATH and the full name found ("" when none).
  const std::tuple<const char*, std::string, std::string> cases[] = {
      {"C:\\TOOLS\\job.bat", "", "C:\\TOOLS\\job.bat"},
      {"job.bat", "C:\\NONE;C:\\BIN;C:\\TOOLS", "C:\\BIN\\job.bat"},
      {"job.bat", std::string(300, ';') + "C:\\TOOLS", "C:\\TOOLS\\job.bat"},
      {"job.bat /q", "C:\\BIN", ""}};
  for (const auto& [command, path, found] : cases) {
    ExternalRun e;
    e.fp.fs.add_file("C:\\TOOLS\\job.bat", "@echo off\r\n");
    e.fp.fs.add_file("C:\\BIN\\job.bat", "@echo off\r\n");
    e.fp.env.vars["PATH"] = path;
    Text full = "stale";
    EXPECT_EQ(find_in_path(e.run, command, full), !found.empty()) << command;
    EXPECT_EQ(full.str(), found) << command;
  }
  for (bool switched_on : {true, false}) {
    ExternalRun e(true);
    e.run.settings.run_batnik = switched_on;
    e.run.state.transfer_done = true;
    e.run.screen.put_text(5, 5, "KEEP", kGreen);
    end_of_cycle_run(e.run);
    EXPECT_EQ(e.out(), switched_on ? "\u0421an't find a file for run : job.bat !!!" : "");
    EXPECT_TRUE(e.fp.process.commands.empty());
    EXPECT_TRUE(e.run.state.transfer_done);
    EXPECT_EQ(e.run.screen.cell(5, 5).ch, 'K');
    EXPECT_EQ(e.run.screen.attribute() & 0x0F, kLightGrey);
  }
}

// While the program runs the clock and title are not drawn and the screen
// shows only "Run <name>" (in either language); then the countdown shows every second down to 0
// and afterwards every cell is as it was.
TEST(ExternalTest, ConsoleIsHandedOverCountedDownAndRestored) {
  // The delay, the language, the counts shown and the wait on the virtual
  // clock (the 1 s after "Run" included).
  const std::tuple<int32_t, uint8_t, std::vector<int>, int64_t> cases[] = {
      {0, 0, {0}, 1000}, {1000, 1, {1, 0}, 2000}, {2500, 0, {2, 1, 0}, 4000}};
  for (const auto& [delay, lang, shown, waited_ms] : cases) {
    SCOPED_TRACE(delay);
    ExternalRun e(true, lang);
    e.run.settings.delay_bat = delay;
    e.fp.fs.add_file("C:\\BIN\\job.bat", "");
    e.fp.env.vars["PATH"] = "C:\\BIN";
    e.run.screen.put_text(1, 1, "STATUS LINE", kCyan);
    e.run.screen.put_text(3, 13, "done operation", kLightGrey);
    CellGrid before, after;
    e.run.screen.save_cells(before);
    std::string during;  // drawing flags, then the top row and a done-operations row
    e.fp.process.on_run = [&] {
      during = e.run.drawing.clock_drawing || e.run.drawing.title_drawing ? "drawing|" : "|";
      for (int y : {1, 13}) {
        for (int x = 1; x <= 17; ++x) during += static_cast<char>(e.run.screen.cell(x, y).ch);
      }
    };
    end_of_cycle_run(e.run);
    EXPECT_EQ(e.fp.process.commands, std::vector<std::string>{"job.bat"});  // as written
    EXPECT_EQ(cp866_to_utf8(during),
              (lang ? "|Запускаю job.bat " : "|Run job.bat      ") + std::string(17, ' '));
    e.run.screen.save_cells(after);
    EXPECT_TRUE(std::equal(&after[0][0], &after[0][0] + kScreenRows * kScreenCols, &before[0][0]));
    EXPECT_TRUE(e.run.drawing.clock_drawing && e.run.drawing.title_drawing);
    EXPECT_EQ(e.fp.clock.slept_ms(), waited_ms);
    const std::string lead = lang ? "---> Через " : "---> Through ";
    const std::string tail =
        lang ? " сек. восстановлю экран:)))!!! <---" : " sec. restore the screen:)))!!! < ---";
    std::string expected;
    for (int n : shown) expected += lead + std::to_string(n) + tail;
    expected += "\n";  // the countdown ends its line: the next message starts afresh
    EXPECT_NE(e.out().find(expected), std::string::npos) << e.out();
    EXPECT_EQ(e.out().find(lead + std::to_string(shown.front() + 1)), std::string::npos);
  }
}

}  // namespace
}  // namespace qv
