// The console device: presents the 80 x 25 screen model, or writes the
// headless transcript when the output is no terminal / console.
#pragma once

#include <cstdint>
#include <string_view>

namespace qv {

constexpr int kScreenCols = 80;
constexpr int kScreenRows = 25;

// One character cell: a CP866 byte (a control byte is shown as its glyph)
// and a colour attribute
// (low nibble foreground 0..15, high nibble background 0..15).
struct Cell {
  uint8_t ch = ' ';
  uint8_t attr = 7;
  friend bool operator==(const Cell& a, const Cell& b) { return a.ch == b.ch && a.attr == b.attr; }
};

using CellGrid = Cell[kScreenRows][kScreenCols];

class ConsoleDevice {
 public:
  virtual ~ConsoleDevice() = default;
  // True when cells are presented (a terminal or console); false headless.
  virtual bool interactive() const = 0;
  // Shows the grid; a renderer sends only what changed since the last call.
  virtual void present(const CellGrid& cells) = 0;
  // Headless only: appends CP866 characters to the transcript line; every
  // byte is one character, a control byte shown as its glyph (renderer makes
  // UTF-8), so a line ends only through transcript_line_break.
  virtual void transcript(std::string_view cp866) = 0;
  // Headless only: ends the transcript line and writes it out at once.
  virtual void transcript_line_break() = 0;
  // Shows or hides the cursor.
  virtual void set_cursor_visible(bool visible) = 0;
  // True when a key press is waiting (it is not consumed). Headless: true only
  // when a byte can be read from standard input; end of input is no key.
  virtual bool key_waiting() = 0;
  // Waits until a key is pressed, without reading it. Headless: also returns
  // at end of input. Returns early when `stop_requested` says so.
  virtual void wait_key() = 0;
  // Hands the terminal to a child program (leaves full-screen mode).
  virtual void suspend() = 0;
  // Takes the terminal back after a child program; the next present redraws all.
  virtual void resume() = 0;
};

}  // namespace qv
