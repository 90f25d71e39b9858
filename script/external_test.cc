#include "script/external.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/cp866.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

class ExternalTest : public ::testing::Test {
 protected:
  ExternalTest() {
    run.settings.run_batnik = true;
    run.settings.name_batnik = "job.bat";
    run.settings.delay_bat = 0;
  }
  std::string transcript() const { return fp.console.transcript_utf8(); }
  fake::FakePlatform fp;
  qv::Run run{fp.platform};
};

TEST_F(ExternalTest, SmartRunStartsOnlyAfterATransfer) {
  struct Case {
    bool run_batnik, smart, transfer_done;
    size_t starts;
    bool done_after;
  } cases[] = {
      {false, false, true, 0, true},  {true, true, false, 0, false}, {true, true, true, 1, false},
      {true, false, false, 1, false}, {true, false, true, 1, false},
  };
  for (const Case& c : cases) {
    fake::FakePlatform local;
    qv::Run r{local.platform};
    r.settings.run_batnik = c.run_batnik;
    r.settings.use_smart_run = c.smart;
    r.settings.valid_exist_bat = false;
    r.settings.name_batnik = "job.bat";
    r.state.transfer_done = c.transfer_done;
    end_of_cycle_run(r);
    EXPECT_EQ(local.process.commands.size(), c.starts)
        << c.run_batnik << c.smart << c.transfer_done;
    EXPECT_EQ(r.state.transfer_done, c.done_after) << c.run_batnik << c.smart << c.transfer_done;
  }
}

TEST_F(ExternalTest, FindInPathTriesTheNameThenEachEntry) {
  struct Case {
    const char* name;
    const char* path;
    const char* command;
    const char* found;  // "" when not found
  } cases[] = {
      {"as written", nullptr, "C:\\TOOLS\\job.bat", "C:\\TOOLS\\job.bat"},
      {"second entry, empty one skipped", "C:\\NONE;;C:\\BIN", "job.bat", "C:\\BIN\\job.bat"},
      {"entry ending in a backslash", "C:\\BIN\\", "job.bat", "C:\\BIN\\job.bat"},
      {"first entry wins", "C:\\TOOLS;C:\\BIN", "job.bat", "C:\\TOOLS\\job.bat"},
      {"name with arguments", "C:\\BIN", "job.bat /q", ""},
      {"directory is no file", "C:\\BIN", "SUB", ""},
      {"no PATH", nullptr, "job.bat", ""},
  };
  for (const Case& c : cases) {
    fake::FakePlatform local;
    local.fs.add_file("C:\\TOOLS\\job.bat", "@echo off\r\n");
    local.fs.add_file("C:\\BIN\\job.bat", "@echo off\r\n");
    local.fs.add_dir("C:\\BIN\\SUB");
    if (c.path) local.env.vars["PATH"] = c.path;
    qv::Run r{local.platform};
    Text full = "stale";
    EXPECT_EQ(find_in_path(r, c.command, full), c.found[0] != '\0') << c.name;
    EXPECT_EQ(full.str(), c.found) << c.name;
  }
}

TEST_F(ExternalTest, MissingProgramIsReportedAndNothingStarts) {
  struct Case {
    uint8_t lang;
    std::string expected;
  } cases[] = {
      {0, "\u0421an't find a file for run : job.bat !!!"},
      {1, "Не могу найти файл для запуска : job.bat !!!"},
  };
  for (const Case& c : cases) {
    fake::FakePlatform local;
    qv::Run r{local.platform};
    r.settings.run_batnik = true;
    r.settings.name_batnik = "job.bat";
    r.settings.lang = c.lang;
    r.state.transfer_done = true;
    r.screen.put_text(5, 5, "KEEP", kGreen);
    end_of_cycle_run(r);
    EXPECT_NE(local.console.transcript_utf8().find(c.expected), std::string::npos)
        << local.console.transcript_utf8();
    EXPECT_TRUE(local.process.commands.empty());
    EXPECT_TRUE(r.state.transfer_done);
    EXPECT_EQ(r.screen.cell(5, 5).ch, 'K');
    EXPECT_EQ(r.screen.attribute() & 0x0F, kLightGrey);
  }
}

TEST_F(ExternalTest, FoundProgramIsStartedByTheNameAsWritten) {
  fp.fs.add_file("C:\\BIN\\job.bat", "");
  fp.env.vars["PATH"] = "C:\\BIN";
  end_of_cycle_run(run);
  EXPECT_EQ(fp.process.commands, std::vector<std::string>{"job.bat"});
}

TEST_F(ExternalTest, ConsoleIsHandedOverAndRestored) {
  run.settings.valid_exist_bat = false;
  run.screen.put_text(1, 1, "STATUS LINE", kCyan);
  run.screen.put_text(3, 13, "done operation", kLightGrey);
  CellGrid before;
  run.screen.save_cells(before);
  bool flags_during = true;
  std::string top_during, row_during;
  fp.process.on_run = [&] {
    flags_during = run.drawing.clock_drawing || run.drawing.title_drawing;
    for (int x = 1; x <= 11; ++x) top_during += static_cast<char>(run.screen.cell(x, 1).ch);
    for (int x = 1; x <= 14; ++x) row_during += static_cast<char>(run.screen.cell(x, 13).ch);
  };
  end_of_cycle_run(run);
  ASSERT_EQ(fp.process.commands.size(), 1u);
  EXPECT_FALSE(flags_during);
  EXPECT_EQ(top_during, "Run job.bat");
  EXPECT_EQ(row_during, std::string(14, ' '));
  CellGrid after;
  run.screen.save_cells(after);
  for (int y = 0; y < kScreenRows; ++y)
    for (int x = 0; x < kScreenCols; ++x)
      ASSERT_EQ(after[y][x], before[y][x]) << "cell " << x + 1 << "," << y + 1;
  EXPECT_TRUE(run.drawing.clock_drawing);
  EXPECT_TRUE(run.drawing.title_drawing);
}

TEST_F(ExternalTest, CountdownShowsEverySecondDownToZero) {
  struct Case {
    int32_t delay;
    uint8_t lang;
    std::vector<int> shown;
    int64_t waited_ms;  // on the virtual clock, the 1 s after "Run" included
  } cases[] = {
      {0, 0, {0}, 1000},
      {1000, 1, {1, 0}, 2000},
      {2500, 0, {2, 1, 0}, 4000},
  };
  for (const Case& c : cases) {
    fake::FakePlatform local;
    qv::Run r{local.platform};
    r.settings.run_batnik = true;
    r.settings.valid_exist_bat = false;
    r.settings.name_batnik = "job.bat";
    r.settings.delay_bat = c.delay;
    r.settings.lang = c.lang;
    int64_t slept = local.clock.slept_ms();
    end_of_cycle_run(r);
    EXPECT_EQ(local.clock.slept_ms() - slept, c.waited_ms) << c.delay;
    std::string out = local.console.transcript_utf8();
    std::string lead = c.lang ? "---> Через " : "---> Through ";
    std::string tail =
        c.lang ? " сек. восстановлю экран:)))!!! <---" : " sec. restore the screen:)))!!! < ---";
    std::string expected;
    for (int n : c.shown) expected += lead + std::to_string(n) + tail;
    EXPECT_NE(out.find(expected), std::string::npos) << out;
    EXPECT_EQ(out.find(lead + std::to_string(c.shown.front() + 1)), std::string::npos) << out;
  }
}

}  // namespace
}  // namespace qv
