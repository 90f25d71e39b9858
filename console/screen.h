// The 80 x 25 screen model: cells {CP866 byte, colour attribute} with the
// text-window rules (window, cursor, wrap, scroll, colours). Everything draws
// into it: the main thread through the text window, the drawing threads by
// direct cell writes. A ConsoleDevice presents it, or, headless, receives the
// transcript of what the main thread writes through the window.
//
// Coordinates are 1-based, column first. Window-relative for the cursor,
// screen-absolute for window(), put_text() and cell().
#pragma once

#include <cstdint>
#include <mutex>
#include <string_view>

#include "platform/console_device.h"

namespace qv {

enum Colour : uint8_t {
  kBlack = 0,
  kGreen = 2,
  kCyan = 3,
  kRed = 4,
  kLightGrey = 7,
  kDarkGrey = 8,
  kLightGreen = 10,
  kYellow = 14,
  kWhite = 15,
};

// Hears what the main thread writes through the text windows while the
// transcript is on, on every kind of console (the message log listens here).
// Called with the screen's lock held: a listener never calls the screen.
class WindowTextListener {
 public:
  virtual ~WindowTextListener() = default;
  // Text written at the cursor in colour `attribute`; a '\n' in it is a line break.
  virtual void text(std::string_view cp866, uint8_t attribute) = 0;
  // A message begins, or the window was cleared: what came before is a line of its own.
  virtual void boundary() = 0;
};

class Screen {
 public:
  explicit Screen(ConsoleDevice& device);

  // --- text window (main thread) ---
  // Selects the window with screen corners (x1,y1)-(x2,y2); cursor to (1,1).
  void window(int x1, int y1, int x2, int y2);
  // Selects the whole screen (1,1)-(80,25).
  void full_window();
  // Fills the window with blanks in the current colours; cursor to (1,1).
  // Headless, it also ends an unfinished transcript line, since what follows
  // starts afresh.
  void clear_window();
  // Puts the cursor at a window-relative place (ignored when outside).
  void goto_xy(int x, int y);
  int where_x() const;
  int where_y() const;
  void text_colour(uint8_t foreground);
  void text_background(uint8_t background);
  uint8_t attribute() const;
  // Writes text at the cursor: wraps after the last column, scrolls the
  // window (only the window) when the cursor would leave its bottom row.
  // Every byte is one character cell, control bytes included (they are shown
  // as their glyphs): only new_line() breaks a line.
  void write(std::string_view cp866);
  void write(char c);
  // A number in decimal, right-aligned in `width` columns (0 = no width).
  void write_number(int64_t n, int width = 0);
  // A line break: column 1 of the next row, scrolling at the bottom.
  void new_line();
  // write(text) then new_line().
  void write_line(std::string_view cp866 = {});
  // A message begins: a line break when the cursor is not in column 1, and
  // in any case a new transcript line, so that no two messages share one
  // even where the last one ended exactly at the window's edge.
  void begin_message();
  // Ends an open transcript line without touching the screen: a report that
  // starts where the cursor stands still starts a transcript line of its own.
  void end_transcript_line();

  // Headless transcript: while off, window output is not copied into it
  // (status-screen drawing, panel and counter updates turn it off).
  void set_transcript(bool on);
  bool transcript_on() const;
  // The listener of window output (null: none).
  void set_listener(WindowTextListener* listener);

  // --- direct cell writes (any thread); the cursor does not move ---
  void put_text(int x, int y, std::string_view cp866, uint8_t attribute);
  Cell cell(int x, int y) const;
  void save_cells(CellGrid& out) const;
  void restore_cells(const CellGrid& in);

  // Hands the grid to the device when a cell changed since the last hand-over.
  // Every write call and put_text ends with it, unless a burst is held open.
  void present();
  // Holds presenting back until the matching end_burst (bursts may nest), so
  // that a screen built of many small writes reaches the device once.
  void begin_burst();
  // Closes a burst; the outermost one presents what changed.
  void end_burst();
  // Shows or hides the console cursor.
  void set_cursor_visible(bool visible);

  ConsoleDevice& device() { return device_; }

 private:
  // The helpers below expect mutex_ to be held.
  void put_char_locked(uint8_t c);
  void new_line_locked();
  void scroll_window_locked();
  void fill_locked(int x1, int y1, int x2, int y2);
  void present_locked();
  void transcribe_locked(std::string_view cp866);
  void end_transcript_line_locked();
  void break_transcript_locked();
  int window_cols() const { return wx2_ - wx1_ + 1; }
  int window_rows() const { return wy2_ - wy1_ + 1; }

  ConsoleDevice& device_;
  mutable std::mutex mutex_;
  CellGrid cells_;
  int wx1_ = 1, wy1_ = 1, wx2_ = kScreenCols, wy2_ = kScreenRows;
  int cx_ = 1, cy_ = 1;
  uint8_t attr_ = kLightGrey;
  bool transcript_ = true;
  bool transcript_mid_line_ = false;  // the transcript's last line is open
  WindowTextListener* listener_ = nullptr;
  bool dirty_ = true;  // cells changed since the last present
  int burst_ = 0;      // depth of open bursts
};

}  // namespace qv
