#include "console/clock_threads.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "platform/cp866.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

std::string blanks(int n) {
  return std::string(static_cast<size_t>(n), ' ');
}

std::string shown(const fake::FakeConsole& c, int x, int y, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) append_utf8(out, cp866_to_unicode(c.cell(x + i, y).ch));
  return out;
}

TEST(ElapsedText, FourteenCharactersForEveryRangeOfDaysInBothLanguages) {
  using E = std::pair<int64_t, std::string_view>;
  for (auto [seconds, text] :
       {E{1, "0 Day 00:00:01"}, E{86399, "0 Day 23:59:59"}, E{86400, "1 Day 00:00:00"},
        E{864000, "  10 Day 00:00"}, E{8643660, " 100 Day 01:01"}, E{86400000, "1000 Day 00:00"},
        E{864000000, "  10000 Day 00"}, E{8640000000, " 100000 Day 00"},
        E{86400018000, "1000000 Day 05"}, E{864000000000, "  10000000 Day"},
        E{8640000000000, " 100000000 Day"}, E{86400000000000, "Very Very Long"}}) {
    fake::FakePlatform p;
    qv::Run run(p.platform);
    EXPECT_EQ(elapsed_text(run, seconds).str(), text) << seconds;
  }
  fake::FakePlatform p;
  qv::Run run(p.platform);
  run.settings.lang = 1;
  EXPECT_EQ(elapsed_text(run, 1).str(), "0 Cут 00:00:01"_oem);  // Latin C
  run.drawing.elapsed = 12;
  elapsed_text(run, 86400LL * 999'999'999);
  EXPECT_EQ(run.drawing.elapsed.load(), 12);
  elapsed_text(run, 86400LL * 1'000'000'000);  // too long to show: the count starts over
  EXPECT_EQ(run.drawing.elapsed.load(), 0);
}

TEST(DateLine, CentredByWidthAndANewShorterDateLeavesNothingOfTheOld) {
  struct Case {
    uint8_t lang;
    int column, chars;
    std::string longest, text;
  };
  for (const Case& c :
       {Case{0, 21, 31, "Wednesday, 30 September 2026 year.", "Saturday, 5 December 2026 year."},
        Case{1, 22, 29, "  Среда, 30 Сентября 2026 года.", "Суббота, 5 Декабря 2026 года."}}) {
    fake::FakePlatform p;
    qv::Run run(p.platform);
    run.settings.lang = c.lang;
    LocalTime longest;  // Wednesday, 30 September: the longest names
    longest.year = 2026, longest.month = 9, longest.day = 30, longest.hour = 12;
    const LocalTime now = p.clock.local_time();
    p.clock.set(longest);
    draw_date_line(run);
    EXPECT_EQ(p.console.row(1).rfind(blanks(19) + c.longest, 0), 0u) << p.console.row(1);
    p.clock.set(now);
    draw_date_line(run);
    EXPECT_EQ(p.console.row(1), blanks(c.column - 1) + c.text + blanks(81 - c.column - c.chars));
    EXPECT_EQ(p.console.cell(c.column, 1).attr, kCyan);
    EXPECT_EQ(run.clock.get().weekday, 6);
  }
}

TEST(DateLine, NothingIsDrawnWhileClockDrawingIsOff) {
  fake::FakePlatform p;
  qv::Run run(p.platform);
  run.screen.put_text(1, 1, "program output", kWhite);
  run.drawing.clock_drawing = false;
  draw_date_line(run);
  advance_elapsed(run);
  EXPECT_EQ(shown(p.console, 1, 1, 14) + shown(p.console, 16, 4, 14),
            "program output" + blanks(14));
  EXPECT_EQ(run.clock.get().year, 2026);  // the fields follow the clock all the same
  EXPECT_EQ(run.drawing.elapsed.load(), 1);
}

TEST(ClockThread, TheFirstPassDrawsDateClockAndOneSecond) {
  fake::FakePlatform p;
  qv::Run run(p.platform);
  // Holding the clock lock keeps the thread inside its first pass until the
  // stop flag is up, so exactly one pass runs.
  std::unique_ptr<NamedLock> held = p.process.named_lock("Time_Unic");
  held->lock();
  start_clock_thread(run);
  stop_clock_thread(run);
  held->unlock();
  run.drawing.clock_thread.join();
  EXPECT_EQ(shown(p.console, 21, 1, 31), "Saturday, 5 December 2026 year.");
  EXPECT_EQ(shown(p.console, 73, 1, 8), "14:07:09");
  EXPECT_EQ(p.console.cell(73, 1).attr, kWhite);
  EXPECT_EQ(shown(p.console, 16, 4, 14), "0 Day 00:00:01");
  EXPECT_EQ(p.console.cell(16, 4).attr, kLightGrey);
  EXPECT_EQ(run.drawing.elapsed.load(), 1);
  EXPECT_EQ(run.clock.get().second, 9);
  EXPECT_EQ(p.clock.slept_ms(), 777 + 170);
  stop_title_thread(run);
  EXPECT_EQ(p.clock.slept_ms(), 777 + 170 + 3333);
}

TEST(ClockThread, BothThreadsRunUntilStoppedAndKeepTheCursor) {
  fake::FakePlatform p;
  qv::Run run(p.platform);
  run.screen.goto_xy(5, 7);
  start_clock_thread(run);
  start_title_thread(run);
  bool counted = false;  // waits without a fixed sleep until three seconds are counted
  for (int i = 0; i < 2'000'000 && !counted; ++i) {
    counted = run.drawing.elapsed.load() >= 3;
    std::this_thread::yield();
  }
  EXPECT_TRUE(counted);
  stop_clock_thread(run);
  stop_title_thread(run);
  EXPECT_FALSE(run.drawing.clock_thread.joinable());
  EXPECT_FALSE(run.drawing.title_thread.joinable());
  EXPECT_EQ(shown(p.console, 6, 25, 54), "Quorvane file distributor 1.11 version ( Win+ ) 2001y.");
  EXPECT_EQ(p.console.cell(6, 25).attr, kCyan);
  EXPECT_EQ(std::pair(run.screen.where_x(), run.screen.where_y()), std::pair(5, 7));
}

TEST(TitleThread, DrawsOnlyWhileTitleDrawingIsOn) {
  for (bool drawing : {true, false}) {
    fake::FakePlatform p;
    qv::Run run(p.platform);
    run.settings.lang = 1;
    run.drawing.title_drawing = drawing;
    start_title_thread(run);
    stop_title_thread(run);  // one pass: the flag is read after it
    const std::string title = "Распределитель файлов Кворвейн 1.11 веpсия ( Win+ ) 2001г.";
    EXPECT_EQ(shown(p.console, 6, 25, 58), drawing ? title : blanks(58)) << drawing;
  }
}

}  // namespace
}  // namespace qv
