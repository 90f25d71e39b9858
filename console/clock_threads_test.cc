#include "console/clock_threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <utility>

#include "tests/fake_platform.h"

namespace qv {
namespace {

std::string blanks(int n) {
  return std::string(static_cast<size_t>(n), ' ');
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
