#include "console/screen.h"

#include <algorithm>
#include <string>

namespace qv {

namespace {

bool inside_screen(int x, int y) {
  return x >= 1 && x <= kScreenCols && y >= 1 && y <= kScreenRows;
}

// Decimal digits of n, with a minus sign when negative.
std::string decimal(int64_t n) {
  return std::to_string(n);
}

}  // namespace

Screen::Screen(ConsoleDevice& device) : device_(device) {}

void Screen::window(int x1, int y1, int x2, int y2) {
  std::lock_guard<std::mutex> g(mutex_);
  x1 = std::clamp(x1, 1, kScreenCols);
  x2 = std::clamp(x2, x1, kScreenCols);
  y1 = std::clamp(y1, 1, kScreenRows);
  y2 = std::clamp(y2, y1, kScreenRows);
  wx1_ = x1, wy1_ = y1, wx2_ = x2, wy2_ = y2;
  cx_ = 1, cy_ = 1;
}

void Screen::full_window() {
  window(1, 1, kScreenCols, kScreenRows);
}

void Screen::clear_window() {
  std::lock_guard<std::mutex> g(mutex_);
  fill_locked(wx1_, wy1_, wx2_, wy2_);
  cx_ = 1, cy_ = 1;
  end_transcript_line_locked();
  present_locked();
}

void Screen::goto_xy(int x, int y) {
  std::lock_guard<std::mutex> g(mutex_);
  if (x < 1 || y < 1 || x > window_cols() || y > window_rows()) return;
  cx_ = x, cy_ = y;
}

int Screen::where_x() const {
  std::lock_guard<std::mutex> g(mutex_);
  return cx_;
}

int Screen::where_y() const {
  std::lock_guard<std::mutex> g(mutex_);
  return cy_;
}

void Screen::text_colour(uint8_t foreground) {
  std::lock_guard<std::mutex> g(mutex_);
  attr_ = static_cast<uint8_t>((attr_ & 0xF0) | (foreground & 0x0F));
}

void Screen::text_background(uint8_t background) {
  std::lock_guard<std::mutex> g(mutex_);
  attr_ = static_cast<uint8_t>(((background & 0x0F) << 4) | (attr_ & 0x0F));
}

uint8_t Screen::attribute() const {
  std::lock_guard<std::mutex> g(mutex_);
  return attr_;
}

void Screen::write(std::string_view cp866) {
  std::lock_guard<std::mutex> g(mutex_);
  for (char c : cp866) put_char_locked(static_cast<uint8_t>(c));
  transcribe_locked(cp866);
  present_locked();
}

void Screen::write(char c) {
  write(std::string_view(&c, 1));
}

void Screen::write_number(int64_t n, int width) {
  std::string digits = decimal(n);
  if (width > 0 && static_cast<int>(digits.size()) < width) {
    digits.insert(0, static_cast<size_t>(width) - digits.size(), ' ');
  }
  write(std::string_view(digits));
}

void Screen::new_line() {
  std::lock_guard<std::mutex> g(mutex_);
  new_line_locked();
  break_transcript_locked();
  present_locked();
}

void Screen::write_line(std::string_view cp866) {
  begin_burst();
  write(cp866);
  new_line();
  end_burst();
}

void Screen::begin_message() {
  std::lock_guard<std::mutex> g(mutex_);
  if (cx_ != 1) {
    new_line_locked();
    break_transcript_locked();
    present_locked();
  }
  end_transcript_line_locked();
}

void Screen::end_transcript_line() {
  std::lock_guard<std::mutex> g(mutex_);
  end_transcript_line_locked();
}

void Screen::set_listener(WindowTextListener* listener) {
  std::lock_guard<std::mutex> g(mutex_);
  listener_ = listener;
}

void Screen::set_transcript(bool on) {
  std::lock_guard<std::mutex> g(mutex_);
  transcript_ = on;
}

bool Screen::transcript_on() const {
  std::lock_guard<std::mutex> g(mutex_);
  return transcript_;
}

void Screen::put_text(int x, int y, std::string_view cp866, uint8_t attribute) {
  std::lock_guard<std::mutex> g(mutex_);
  for (char c : cp866) {
    if (inside_screen(x, y)) {
      cells_[y - 1][x - 1] = Cell{static_cast<uint8_t>(c), attribute};
      dirty_ = true;
    }
    ++x;
  }
  present_locked();
}

Cell Screen::cell(int x, int y) const {
  std::lock_guard<std::mutex> g(mutex_);
  if (!inside_screen(x, y)) return Cell{};
  return cells_[y - 1][x - 1];
}

void Screen::save_cells(CellGrid& out) const {
  std::lock_guard<std::mutex> g(mutex_);
  std::copy(&cells_[0][0], &cells_[0][0] + kScreenRows * kScreenCols, &out[0][0]);
}

void Screen::restore_cells(const CellGrid& in) {
  std::lock_guard<std::mutex> g(mutex_);
  std::copy(&in[0][0], &in[0][0] + kScreenRows * kScreenCols, &cells_[0][0]);
  dirty_ = true;
  present_locked();
}

void Screen::present() {
  std::lock_guard<std::mutex> g(mutex_);
  present_locked();
}

void Screen::begin_burst() {
  std::lock_guard<std::mutex> g(mutex_);
  ++burst_;
}

void Screen::end_burst() {
  std::lock_guard<std::mutex> g(mutex_);
  if (burst_ > 0) --burst_;
  present_locked();
}

void Screen::set_cursor_visible(bool visible) {
  std::lock_guard<std::mutex> g(mutex_);
  device_.set_cursor_visible(visible);
}

// Puts one character at the cursor; in the last column the cursor moves on
// to column 1 of the next row at once.
void Screen::put_char_locked(uint8_t c) {
  cells_[wy1_ + cy_ - 2][wx1_ + cx_ - 2] = Cell{c, attr_};
  dirty_ = true;
  if (cx_ < window_cols()) {
    ++cx_;
  } else {
    new_line_locked();
  }
}

void Screen::new_line_locked() {
  cx_ = 1;
  if (cy_ < window_rows()) {
    ++cy_;
  } else {
    scroll_window_locked();
  }
}

// Moves the window's rows up by one; the bottom row becomes blank.
void Screen::scroll_window_locked() {
  for (int y = wy1_; y < wy2_; ++y) {
    std::copy(&cells_[y][wx1_ - 1], &cells_[y][wx2_], &cells_[y - 1][wx1_ - 1]);
  }
  fill_locked(wx1_, wy2_, wx2_, wy2_);
}

void Screen::fill_locked(int x1, int y1, int x2, int y2) {
  for (int y = y1; y <= y2; ++y) {
    for (int x = x1; x <= x2; ++x) cells_[y - 1][x - 1] = Cell{' ', attr_};
  }
  dirty_ = true;
}

// Presenting happens under the model's lock, so the device is never called
// from two threads at once and always sees a whole, consistent grid.
void Screen::present_locked() {
  if (!dirty_ || burst_ > 0) return;
  dirty_ = false;
  device_.present(cells_);
}

void Screen::transcribe_locked(std::string_view cp866) {
  if (!transcript_ || cp866.empty()) return;
  if (listener_ != nullptr) listener_->text(cp866, attr_);
  if (device_.interactive()) return;
  device_.transcript(cp866);
  transcript_mid_line_ = true;
}

void Screen::end_transcript_line_locked() {
  if (listener_ != nullptr) listener_->boundary();
  if (!transcript_mid_line_ || device_.interactive()) return;
  device_.transcript_line_break();
  transcript_mid_line_ = false;
}

// An explicit line break: the only one the transcript and the log ever get
// (a line feed inside a text is a glyph like any other byte).
void Screen::break_transcript_locked() {
  if (!transcript_) return;
  if (listener_ != nullptr) listener_->boundary();
  if (device_.interactive()) return;
  device_.transcript_line_break();
  transcript_mid_line_ = false;
}

}  // namespace qv
