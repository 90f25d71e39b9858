#include "console/status.h"

#include <string>

#include "console/clock_threads.h"
#include "console/messages.h"
#include "platform/cp866.h"

namespace qv {

namespace {

// Frame lines and counter labels, each exactly as wide as its place.
constexpr std::string_view kTopEn =
    "┌───── History of search ─────┬───────── The list of \"unknown\" files ──────────┐"_oem;
constexpr std::string_view kTopRu =
    "┌────── История поиска ───────┬───────── Cписок \"неизвестных\" файлов ──────────┐"_oem;
constexpr std::string_view kSeparatorEn =
    "╞═════════════════════════════╧ The done operations ═══════════════════════════╡"_oem;
constexpr std::string_view kSeparatorRu =
    "╞═════════════════════════════╧ Проделанные операции ══════════════════════════╡"_oem;
constexpr std::string_view kBottom =
    "└──────────────────────────────────────────────────────────────────────────────┘"_oem;
constexpr std::string_view kLabel3En = "Programm  work"_oem;
constexpr std::string_view kLabel3Ru = "Пpошло вpемени"_oem;
constexpr std::string_view kLabel5En = "        Cycles"_oem;
constexpr std::string_view kLabel5Ru = "        Циклов"_oem;
constexpr std::string_view kLabel7En = "  Found  files"_oem;
constexpr std::string_view kLabel7Ru = "Найдено файлов"_oem;
constexpr std::string_view kLabel9En = " Size of bytes"_oem;
constexpr std::string_view kLabel9Ru = "   Размеp байт"_oem;
constexpr std::string_view kLabel11En = "In     Out    "_oem;
constexpr std::string_view kLabel11Ru = "Вх.    Bых.   "_oem;

constexpr int kCounterColumn = 16;
constexpr int kCounterWidth = 14;

// The panel windows, in screen corners.
constexpr int kHistoryX1 = 2, kHistoryY1 = 3, kHistoryX2 = 15, kHistoryY2 = 11;
constexpr int kUnknownX1 = 33, kUnknownY1 = 3, kUnknownX2 = 79, kUnknownY2 = 11;
constexpr int kDoneX1 = 3, kDoneY1 = 13, kDoneX2 = 79, kDoneY2 = 23;

// Width of the field a mask is right-aligned in on the history panel.
constexpr size_t kHistoryField = 13;

// Counter and panel updates stay out of the headless transcript.
void leave_transcript(Run& run) {
  run.screen.set_transcript(false);
}

void write_at(Run& run, int x, int y, std::string_view text) {
  run.screen.goto_xy(x, y);
  run.screen.write(text);
}

void draw_frame_lines(Run& run) {
  set_colour(run, kDarkGrey);
  write_at(run, 1, 2, tr(run, kTopEn, kTopRu));
  write_at(run, kCounterColumn, 3, tr(run, kLabel3En, kLabel3Ru));
  set_colour(run, kLightGrey);
  show_cycle_count(run);
  show_found_files(run, 0);
  show_byte_count(run, 0);
  set_colour(run, kDarkGrey);
  write_at(run, kCounterColumn, 5, tr(run, kLabel5En, kLabel5Ru));
  write_at(run, kCounterColumn, 7, tr(run, kLabel7En, kLabel7Ru));
  write_at(run, kCounterColumn, 9, tr(run, kLabel9En, kLabel9Ru));
  write_at(run, kCounterColumn, 11, tr(run, kLabel11En, kLabel11Ru));
}

void draw_frame_sides(Run& run) {
  constexpr std::string_view kBar = "│"_oem;
  for (int y = 3; y <= 11; ++y) {
    write_at(run, 1, y, kBar);
    write_at(run, 31, y, kBar);
    write_at(run, 80, y, kBar);
  }
  write_at(run, 1, 12, tr(run, kSeparatorEn, kSeparatorRu));
  for (int y = 13; y <= 23; ++y) {
    write_at(run, 1, y, kBar);
    write_at(run, 80, y, kBar);
  }
  // Ends with the cursor at (1,25): the cell (80,25) is never written.
  write_at(run, 1, 24, kBottom);
}

// A counter of the block, right-aligned at a fixed place of the full screen.
void show_counter(Run& run, int x, int y, int64_t value, int width) {
  leave_transcript(run);
  run.screen.full_window();
  run.screen.goto_xy(x, y);
  run.screen.write_number(value, width);
}

}  // namespace

void draw_status_screen(Run& run) {
  Screen& screen = run.screen;
  leave_transcript(run);
  screen.begin_burst();
  screen.full_window();
  set_colour(run, kLightGrey);
  screen.clear_window();
  draw_date_line(run);
  draw_frame_lines(run);
  draw_frame_sides(run);
  run.panels.history_x = 1;
  run.panels.history_y = 1;
  select_done_panel(run);
  screen.end_burst();
}

void select_history_panel(Run& run) {
  leave_transcript(run);
  run.screen.window(kHistoryX1, kHistoryY1, kHistoryX2, kHistoryY2);
  set_colour(run, kGreen);
  run.screen.goto_xy(run.panels.history_x, run.panels.history_y);
}

void save_history_cursor(Run& run) {
  run.panels.history_x = run.screen.where_x();
  run.panels.history_y = run.screen.where_y();
}

void add_history_entry(Run& run, std::string_view text) {
  select_history_panel(run);
  if (run.screen.where_x() >= static_cast<int>(kHistoryField)) run.screen.new_line();
  std::string field(text);
  if (field.size() < kHistoryField) field.insert(0, kHistoryField - field.size(), ' ');
  run.screen.write(field);
  save_history_cursor(run);
}

void select_unknown_panel(Run& run) {
  leave_transcript(run);
  run.screen.window(kUnknownX1, kUnknownY1, kUnknownX2, kUnknownY2);
  set_colour(run, run.script.cycle == 1 ? kLightGreen : kYellow);
  run.screen.goto_xy(run.panels.unknown_x, run.panels.unknown_y);
}

void save_unknown_cursor(Run& run) {
  run.panels.unknown_x = run.screen.where_x();
  run.panels.unknown_y = run.screen.where_y();
}

void add_unknown_entry(Run& run, std::string_view text) {
  select_unknown_panel(run);
  if (run.screen.where_x() != 1) run.screen.new_line();
  run.screen.write(text);
  save_unknown_cursor(run);
}

void save_done_cursor(Run& run) {
  run.panels.done_x = run.screen.where_x();
  run.panels.done_y = run.screen.where_y();
}

// The messages written into this panel form the headless transcript.
void select_done_panel(Run& run) {
  run.screen.window(kDoneX1, kDoneY1, kDoneX2, kDoneY2);
  run.screen.goto_xy(run.panels.done_x, run.panels.done_y);
  set_colour(run, kLightGrey);
  run.screen.set_transcript(true);
}

void show_cycle_count(Run& run) {
  show_counter(run, kCounterColumn, 6, run.script.cycle, kCounterWidth);
}

void show_found_files(Run& run, int64_t count) {
  show_counter(run, kCounterColumn, 8, count, kCounterWidth);
}

void show_byte_count(Run& run, int64_t count) {
  show_counter(run, kCounterColumn, 10, count, kCounterWidth);
}

void show_dir_counts(Run& run, int32_t inputs, int32_t outputs) {
  show_counter(run, 19, 11, inputs, 3);
  run.screen.goto_xy(27, 11);
  run.screen.write_number(outputs, 3);
}

}  // namespace qv
