#include "console/clock_threads.h"

#include <string>

#include "console/banner.h"
#include "console/time_text.h"
#include "platform/cp866.h"

namespace qv {

namespace {

constexpr std::string_view kDayNamesEn[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                             "Thursday", "Friday", "Saturday"};
constexpr std::string_view kDayNamesRu[7] = {"Воскресенье"_oem, "Понедельник"_oem, "Вторник"_oem,
                                             "Среда"_oem,       "Четверг"_oem,     "Пятница"_oem,
                                             "Суббота"_oem};
constexpr std::string_view kMonthNamesEn[12] = {"January",   "February", "March",    "April",
                                                "May",       "June",     "July",     "August",
                                                "September", "October",  "November", "December"};
constexpr std::string_view kMonthNamesRu[12] = {
    "Января"_oem, "Февраля"_oem, "Марта"_oem,    "Апреля"_oem,  "Мая"_oem,    "Июня"_oem,
    "Июля"_oem,   "Августа"_oem, "Сентября"_oem, "Октября"_oem, "Ноября"_oem, "Декабря"_oem};

// The Russian day word begins with the Latin capital C.
constexpr std::string_view kDayWordRu = "Cут"_oem;
constexpr std::string_view kTooLong = "Very Very Long";

constexpr int kDateLineWidth = 72;
constexpr int kClockColumn = 73;
constexpr int kElapsedColumn = 16, kElapsedRow = 4;
constexpr int kTitleColumn = 6, kTitleRow = 25;

constexpr int64_t kClockPassMs = 170;
constexpr int64_t kAfterSecondMs = 777;
constexpr int64_t kTitleFirstMs = 33;
constexpr int64_t kTitlePassMs = 3000;
constexpr int64_t kTitleStopWaitMs = 3333;

// The longest wait for a drawing lock. A holder keeps it for one burst of
// cell writes, so a longer hold is a stuck or hostile holder: the burst is
// then left out (the clock and the title come back with their next drawing,
// the date line with the clock thread's next pass). Short, so that the clock
// thread still counts every second and nothing waits on a lock for long.
constexpr int64_t kLockWaitMs = 20;

// Holds a named lock for one burst of cell writes when it can be had in time;
// no lock, no waiting.
class Hold {
 public:
  explicit Hold(NamedLock* lock) : lock_(lock), held_(!lock || lock->lock_within(kLockWaitMs)) {}
  ~Hold() {
    if (lock_ && held_) lock_->unlock();
  }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;
  bool held() const { return held_; }

 private:
  NamedLock* lock_;
  bool held_;
};

std::string_view day_name(const Run& run, int weekday) {
  if (weekday < 0 || weekday > 6) return {};
  return tr(run, kDayNamesEn[weekday], kDayNamesRu[weekday]);
}

std::string_view month_name(const Run& run, int month) {
  if (month < 1 || month > 12) return {};
  return tr(run, kMonthNamesEn[month - 1], kMonthNamesRu[month - 1]);
}

// Writes a burst of cells under the clock lock; false when the lock was
// held elsewhere for too long and nothing was written.
bool draw_clock_cells(Run& run, int x, int y, std::string_view text, uint8_t attribute) {
  Hold hold(run.drawing.clock_lock.get());
  if (hold.held()) run.screen.put_text(x, y, text, attribute);
  return hold.held();
}

bool same_date(const LocalTime& a, const LocalTime& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day;
}

bool same_second(const LocalTime& a, const LocalTime& b) {
  return a.hour == b.hour && a.minute == b.minute && a.second == b.second;
}

// What the clock thread last drew: date and time of day.
struct ClockMemory {
  LocalTime date;
  LocalTime time;
};

// Seeds the memory one step behind the clock, so the first pass draws all.
ClockMemory first_clock_memory(Run& run) {
  ClockMemory seen;
  LocalTime today = run.os.clock.local_time();
  run.clock.set_date(today);
  seen.date = today;
  seen.date.year = today.year - 1;
  time_text(run);
  seen.time = run.clock.get();
  seen.time.second = seen.time.second == 0 ? 59 : seen.time.second - 1;
  return seen;
}

// One pass of the clock thread: date line on a new date (or when the last
// one could not be drawn), elapsed time and clock on a new second.
void clock_pass(Run& run, ClockMemory& seen) {
  run.clock.set_date(run.os.clock.local_time());
  const bool new_date = !same_date(run.clock.get(), seen.date);
  if (run.drawing.clock_drawing && (new_date || run.drawing.date_line_pending)) {
    draw_date_line(run);
    seen.date = run.clock.get();
  }
  Text clock = time_text(run);
  LocalTime now = run.clock.get();
  if (run.drawing.clock_drawing && !same_second(now, seen.time)) {
    advance_elapsed(run);
    draw_clock_cells(run, kClockColumn, 1, clock, kWhite);
    seen.time = now;
    run.os.clock.sleep_ms(kAfterSecondMs);
  }
  run.os.clock.sleep_ms(kClockPassMs);
}

void clock_thread_body(Run& run) {
  ClockMemory seen = first_clock_memory(run);
  do {
    clock_pass(run, seen);
  } while (!run.drawing.clock_stop);
}

Text title_text(const Run& run) {
  Text title(product_title(run));
  title += version_text(run);
  title += tr(run, " 2001y.", " 2001г."_oem);
  return title;
}

void title_thread_body(Run& run) {
  run.os.clock.sleep_ms(kTitleFirstMs);
  do {
    Text title = title_text(run);
    if (run.drawing.title_drawing) {
      Hold hold(run.drawing.title_lock.get());
      if (hold.held()) run.screen.put_text(kTitleColumn, kTitleRow, title, kCyan);
    }
    run.os.clock.sleep_ms(kTitlePassMs);
  } while (!run.drawing.title_stop);
}

// Ends a thread left over from an earlier start before a new one begins.
void end_thread(std::atomic<bool>& stop, std::thread& thread) {
  if (!thread.joinable()) return;
  stop = true;
  thread.join();
}

}  // namespace

Text elapsed_text(Run& run, int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const int64_t days = seconds / 86400;
  const std::string d = std::to_string(days);
  if (d.size() >= 10) {
    run.drawing.elapsed = 0;
    return Text(kTooLong);
  }
  const Text hh = two_digits(static_cast<int32_t>((seconds - days * 86400) / 3600));
  const Text mm = two_digits(static_cast<int32_t>((seconds % 3600) / 60));
  const Text ss = two_digits(static_cast<int32_t>(seconds % 60));
  // Leading blanks keep the field 14 wide as the day count grows.
  static constexpr std::string_view kLead[10] = {"", "", "  ", " ", "", "  ", " ", "", "  ", " "};
  Text out(kLead[d.size()]);
  out += d;
  out += ' ';
  out += tr(run, "Day", kDayWordRu);
  if (d.size() <= 7) {
    out += ' ';
    out += hh;
  }
  if (d.size() <= 4) {
    out += ':';
    out += mm;
  }
  if (d.size() == 1) {
    out += ':';
    out += ss;
  }
  return out;
}

void advance_elapsed(Run& run) {
  const int64_t count = run.drawing.elapsed.fetch_add(1) + 1;
  Text text = elapsed_text(run, count);
  if (run.drawing.clock_drawing) {
    draw_clock_cells(run, kElapsedColumn, kElapsedRow, text, kLightGrey);
  }
}

void draw_date_line(Run& run) {
  const bool drawing = run.drawing.clock_drawing;
  bool drawn = drawing && draw_clock_cells(run, 1, 1, std::string(kDateLineWidth, ' '), kCyan);
  const LocalTime today = run.os.clock.local_time();
  run.clock.set_date(today);
  const std::string_view day = day_name(run, today.weekday);
  const std::string_view month = month_name(run, today.month);
  const int width = static_cast<int>(day.size() + month.size()) + 15;
  Text line(day);
  line.append(", ");
  line += std::to_string(today.day);
  line += ' ';
  line += month;
  line += ' ';
  line += std::to_string(today.year);
  line += ' ';
  line += tr(run, "year", "года"_oem);
  line += '.';
  if (drawn) drawn = draw_clock_cells(run, 36 - width / 2, 1, line, kCyan);
  run.drawing.date_line_pending = drawing && !drawn;
}

void start_clock_thread(Run& run) {
  end_thread(run.drawing.clock_stop, run.drawing.clock_thread);
  run.drawing.clock_stop = false;
  if (!run.drawing.clock_lock) run.drawing.clock_lock = run.os.process.named_lock("Time_Unic");
  run.drawing.clock_thread = std::thread(clock_thread_body, std::ref(run));
}

void stop_clock_thread(Run& run) {
  run.drawing.clock_stop = true;
}

void start_title_thread(Run& run) {
  end_thread(run.drawing.title_stop, run.drawing.title_thread);
  run.drawing.title_stop = false;
  if (!run.drawing.title_lock) run.drawing.title_lock = run.os.process.named_lock("Hint");
  run.drawing.title_thread = std::thread(title_thread_body, std::ref(run));
}

// The wait outlasts the longest sleep of either thread; the joins then only
// collect threads that have already returned.
void stop_title_thread(Run& run) {
  run.drawing.title_stop = true;
  run.os.clock.sleep_ms(kTitleStopWaitMs);
  // The clock thread is collected only once it has been told to stop.
  if (run.drawing.clock_stop && run.drawing.clock_thread.joinable()) {
    run.drawing.clock_thread.join();
  }
  if (run.drawing.title_thread.joinable()) run.drawing.title_thread.join();
}

}  // namespace qv
