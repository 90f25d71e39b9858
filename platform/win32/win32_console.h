// The console device of Windows: presents the 80 x 25 model in the console
// window, or writes the UTF-8 transcript when the output is no console.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/console_device.h"

namespace qv::win32 {

// A rectangle of cells to write in one call, bounds inclusive (0-based).
struct CellRect {
  int top = 0, bottom = 0, left = 0, right = 0;
  friend bool operator==(const CellRect&, const CellRect&) = default;
};

// The writes that bring `shown` to `next`: on each row the span from the first
// to the last changed cell; runs of changed rows become one rectangle that
// covers the union of their spans. `all` asks for the whole screen.
std::vector<CellRect> changed_rects(const CellGrid& shown, const CellGrid& next, bool all);

// The console cell of a model cell: its CP866 byte as a Unicode character,
// the colour attribute unchanged (both use the same colour bits).
CHAR_INFO char_info_of(Cell cell);

// True for an input event that counts as a key press: a key going down,
// other than a lone modifier or lock key.
bool is_key_press(const INPUT_RECORD& event);

// What standard input is, as far as the key tests care.
enum class InputKind { kConsole, kPipe, kFile, kNone };

class Win32Console : public ConsoleDevice {
 public:
  // Presents cells when standard output is a console; headless otherwise.
  // `stop` is the process's stop request, which ends a wait for a key.
  Win32Console(HANDLE out, HANDLE in, const std::atomic<bool>& stop);
  // Gives the console back as it was found: input mode, visible cursor, and
  // the cursor below what was drawn.
  ~Win32Console() override;

  bool interactive() const override { return interactive_; }
  void present(const CellGrid& cells) override;
  void transcript(std::string_view cp866) override;
  void transcript_line_break() override;
  void set_cursor_visible(bool visible) override;
  bool key_waiting() override;
  void wait_key() override;
  void suspend() override;
  void resume() override;

 private:
  void take_input_mode();
  void give_back_input_mode();
  void write_rect(const CellGrid& cells, const CellRect& r);
  // Writes transcript bytes to standard output, whole unless it fails.
  void write_out(const std::string& utf8);
  bool console_key_waiting();
  bool stream_key_waiting(bool& at_end);
  void place_cursor_after_drawing();

  HANDLE out_;
  HANDLE in_;
  const std::atomic<bool>& stop_;
  bool interactive_ = false;
  InputKind input_ = InputKind::kNone;
  DWORD saved_in_mode_ = 0;
  bool in_mode_taken_ = false;
  COORD origin_{0, 0};  // console position of the model's top-left cell
  std::mutex m_;        // guards what follows
  CellGrid shown_{};
  bool shown_valid_ = false;
};

}  // namespace qv::win32
