#include "console/clock_threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <regex>
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

// The elapsed time is 14 characters for every range of days, in both
// languages. The date line is centred by its width, a new shorter date
// leaves nothing of the old one, and with clock drawing off nothing is drawn
// while the fields and the count go on.
TEST(DateLine, ElapsedTextCentredDateAndDrawingOff) {
  fake::FakePlatform p;
  qv::Run run(p.platform);
  using E = std::pair<int64_t, std::string_view>;
  for (auto [seconds, text] :
       {E{1, "0 Day 00:00:01"}, E{86399, "0 Day 23:59:59"}, E{86400, "1 Day 00:00:00"},
        E{864000, "  10 Day 00:00"}, E{8643660, " 100 Day 01:01"}, E{86400000, "1000 Day 00:00"},
        E{864000000, "  10000 Day 00"}, E{8640000000, " 100000 Day 00"},
        E{86400018000, "1000000 Day 05"}, E{864000000000, "  10000000 Day"},
        E{8640000000000, " 100000000 Day"}, E{86400000000000, "Very Very Long"}}) {
    EXPECT_EQ(elapsed_text(run, seconds).str(), text) << seconds;
  }
  run.drawing.elapsed = 12;
  elapsed_text(run, 86400LL * 1'000'000'000);  // too long to show: the count starts over
  EXPECT_EQ(run.drawing.elapsed.load(), 0);
  const LocalTime longest{.year = 2026, .month = 9, .day = 30, .hour = 12};
  const LocalTime now = p.clock.local_time();
  p.clock.set(longest);
  draw_date_line(run);
  EXPECT_EQ(p.console.row(1).rfind(blanks(19) + "Wednesday, 30 September 2026 year.", 0), 0u);
  p.clock.set(now);
  draw_date_line(run);
  const std::string row = blanks(20) + "Saturday, 5 December 2026 year." + blanks(29);
  EXPECT_EQ(p.console.row(1), row);
  EXPECT_EQ(p.console.cell(21, 1).attr, kCyan);
  run.drawing.clock_drawing = false;
  p.clock.set(longest);
  draw_date_line(run);
  advance_elapsed(run);
  EXPECT_EQ(p.console.row(1) + p.console.row(4), row + blanks(80));
  EXPECT_EQ(run.clock.get().day, 30);
  EXPECT_EQ(run.drawing.elapsed.load(), 1);
  run.settings.lang = 1;
  EXPECT_EQ(elapsed_text(run, 1).str(), "0 Cут 00:00:01"_oem);  // Latin C
}

// Waits until `done` holds (20 s at most: a loaded machine may be slow).
template <typename Done>
bool eventually(Done done) {
  for (int i = 0; i < 20000 && !done(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return done();
}

// With the title on, another instance first holds both drawing locks: the
// count goes on, nothing is drawn and the main thread's date line gives up
// too, until they are free. With the title off the locks are free from the
// start and the first pass draws the date. Both threads keep the cursor
// where it was and end when stopped.
TEST(ClockThread, LocksHeldElsewhereThenBothThreadsDrawUntilStoppedAndKeepTheCursor) {
  for (const bool drawing : {true, false}) {
    const std::string title =
        drawing ? "Quorvane file distributor 1.11 version ( Win+ ) 2001y." + blanks(4) : blanks(58);
    fake::FakePlatform p;
    qv::Run run(p.platform);
    run.drawing.title_drawing = drawing;
    run.screen.goto_xy(5, 7);
    std::atomic<int> stage{drawing ? 0 : 2};
    std::thread holder([&] {
      if (stage == 2) return;  // no other instance
      auto clock = p.process.named_lock("Time_Unic"), hint = p.process.named_lock("Hint");
      stage = clock->lock_within(1000) && hint->lock_within(1000) ? 1 : -1;
      while (stage != 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      clock->unlock();
      hint->unlock();
    });
    while (stage == 0) std::this_thread::yield();
    EXPECT_EQ(stage, drawing ? 1 : 2) << "the other instance could not take the locks";
    start_clock_thread(run);
    start_title_thread(run);
    EXPECT_TRUE(eventually([&] { return run.drawing.elapsed.load() >= 3; }));
    if (drawing) {
      draw_date_line(run);
      EXPECT_TRUE(run.drawing.date_line_pending.load());
      EXPECT_EQ(p.console.row(1) + p.console.row(4) + p.console.row(25), blanks(240));
      stage = 2;
    }
    holder.join();
    // The date line with the clock (white), the elapsed time (grey), the title.
    const std::regex date(R"( +\w+, \d+ \w+ \d{4} year\. +\d\d:\d\d:\d\d)");
    const auto all_drawn = [&] {
      return std::regex_match(p.console.row(1), date) &&
             std::regex_search(p.console.row(4), std::regex(R"(^ {15}.*\d Day)")) &&
             p.console.row(25) == blanks(5) + title + blanks(17);
    };
    EXPECT_TRUE(!drawing || eventually(all_drawn));
    stop_clock_thread(run);
    stop_title_thread(run);
    EXPECT_FALSE(run.drawing.clock_thread.joinable() || run.drawing.title_thread.joinable());
    EXPECT_TRUE(all_drawn()) << p.console.row(1) << "\n" << p.console.row(4);
    EXPECT_EQ(p.console.cell(73, 1).attr, kWhite);
    EXPECT_EQ(p.console.cell(16, 4).attr, kLightGrey);
    EXPECT_EQ(p.console.cell(6, 25).attr, drawing ? kCyan : kLightGrey);
    EXPECT_EQ(std::pair(run.screen.where_x(), run.screen.where_y()), std::pair(5, 7));
  }
}

}  // namespace
}  // namespace qv
