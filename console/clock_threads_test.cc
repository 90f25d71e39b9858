#include "console/clock_threads.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

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

LocalTime date(int year, int month, int day, int hour = 12) {
  LocalTime t;
  t.year = year, t.month = month, t.day = day, t.hour = hour;
  return t;
}

// Waits, without a fixed sleep, until `done` holds (or gives up).
template <typename F>
bool eventually(F done) {
  for (int i = 0; i < 2'000'000; ++i) {
    if (done()) return true;
    std::this_thread::yield();
  }
  return done();
}

TEST(ElapsedText, FourteenCharactersForEveryRangeOfDays) {
  struct Case {
    int64_t seconds;
    std::string text;
  };
  for (const Case& c :
       {Case{1, "0 Day 00:00:01"}, Case{86399, "0 Day 23:59:59"}, Case{86400, "1 Day 00:00:00"},
        Case{864000, "  10 Day 00:00"}, Case{8643660, " 100 Day 01:01"},
        Case{86400000, "1000 Day 00:00"}, Case{864000000, "  10000 Day 00"},
        Case{8640000000, " 100000 Day 00"}, Case{86400000000 + 3600 * 5, "1000000 Day 05"},
        Case{864000000000, "  10000000 Day"}, Case{8640000000000, " 100000000 Day"},
        Case{86400000000000, "Very Very Long"}}) {
    fake::FakePlatform p;
    qv::Run run(p.platform);
    EXPECT_EQ(elapsed_text(run, c.seconds).str(), c.text) << c.seconds;
  }
}

TEST(ElapsedText, RussianDayWordAndTheTooLongCountStartsOver) {
  fake::FakePlatform p;
  qv::Run run(p.platform);
  run.settings.lang = 1;
  EXPECT_EQ(elapsed_text(run, 1).str(), "0 Cут 00:00:01"_oem);
  EXPECT_EQ(std::string(elapsed_text(run, 1).str()).at(2), 'C');  // Latin C, 43 hex
  run.drawing.elapsed = 86400LL * 1'000'000'000;
  EXPECT_EQ(elapsed_text(run, run.drawing.elapsed).str(), "Very Very Long");
  EXPECT_EQ(run.drawing.elapsed.load(), 0);
  run.drawing.elapsed = 12;
  elapsed_text(run, 86400LL * 999'999'999);
  EXPECT_EQ(run.drawing.elapsed.load(), 12);
}

TEST(DateLine, CentredByTheEstimatedWidthInBothLanguages) {
  struct Case {
    uint8_t lang;
    int column;
    std::string text;
  };
  for (const Case& c : {Case{0, 21, "Saturday, 5 December 2026 year."},
                        Case{1, 22, "Суббота, 5 Декабря 2026 года."}}) {
    fake::FakePlatform p;
    qv::Run run(p.platform);
    run.settings.lang = c.lang;
    draw_date_line(run);
    EXPECT_EQ(shown(p.console, 1, 1, c.column - 1), blanks(c.column - 1));
    EXPECT_EQ(shown(p.console, c.column, 1, static_cast<int>(c.lang ? 29 : 31)), c.text);
    EXPECT_EQ(p.console.cell(c.column, 1).attr, kCyan);
    EXPECT_EQ(run.clock.get().weekday, 6);
    EXPECT_EQ(run.clock.get().month, 12);
  }
}

TEST(DateLine, ANewShorterDateLeavesNothingOfTheOldOne) {
  fake::FakePlatform p;
  qv::Run run(p.platform);
  p.clock.set(date(2026, 9, 30));  // Wednesday, 30 September: the longest names
  draw_date_line(run);
  EXPECT_EQ(shown(p.console, 20, 1, 34), "Wednesday, 30 September 2026 year.");
  p.clock.set(date(2026, 5, 1));  // Friday, 1 May
  draw_date_line(run);
  EXPECT_EQ(p.console.row(1),
            blanks(23) + "Friday, 1 May 2026 year." + blanks(72 - 23 - 24) + blanks(8));
}

TEST(DateLine, NothingIsDrawnWhileClockDrawingIsOff) {
  fake::FakePlatform p;
  qv::Run run(p.platform);
  run.screen.put_text(1, 1, "program output", kWhite);
  run.drawing.clock_drawing = false;
  draw_date_line(run);
  advance_elapsed(run);
  EXPECT_EQ(shown(p.console, 1, 1, 14), "program output");
  EXPECT_EQ(shown(p.console, 16, 4, 14), blanks(14));
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
  EXPECT_FALSE(run.drawing.clock_thread.joinable());
  EXPECT_EQ(shown(p.console, 21, 1, 31), "Saturday, 5 December 2026 year.");
  EXPECT_EQ(shown(p.console, 73, 1, 8), "14:07:09");
  EXPECT_EQ(p.console.cell(73, 1).attr, kWhite);
  EXPECT_EQ(shown(p.console, 16, 4, 14), "0 Day 00:00:01");
  EXPECT_EQ(p.console.cell(16, 4).attr, kLightGrey);
  EXPECT_EQ(run.drawing.elapsed.load(), 1);
  const LocalTime fields = run.clock.get();
  EXPECT_EQ(fields.day, 5);
  EXPECT_EQ(fields.second, 9);
  EXPECT_EQ(p.clock.slept_ms(), 777 + 170);
  stop_title_thread(run);
  EXPECT_EQ(p.clock.slept_ms(), 777 + 170 + 3333);
}

TEST(ClockThread, CountsSecondsUntilStoppedAndKeepsTheCursor) {
  fake::FakePlatform p;
  qv::Run run(p.platform);
  run.screen.goto_xy(5, 7);
  start_clock_thread(run);
  start_title_thread(run);
  EXPECT_TRUE(eventually([&] { return run.drawing.elapsed.load() >= 3; }));
  stop_clock_thread(run);
  stop_title_thread(run);
  EXPECT_FALSE(run.drawing.clock_thread.joinable());
  EXPECT_FALSE(run.drawing.title_thread.joinable());
  EXPECT_EQ(shown(p.console, 6, 25, 54), "Quorvane file distributor 1.11 version ( Win+ ) 2001y.");
  EXPECT_EQ(p.console.cell(6, 25).attr, kCyan);
  EXPECT_EQ(run.screen.where_x(), 5);
  EXPECT_EQ(run.screen.where_y(), 7);
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
