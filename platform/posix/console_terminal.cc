// The terminal console: the 80 x 25 model drawn at the top left of the
// terminal with ncursesw. A present only keeps the grid; it is drawn at most
// every kDrawEvery, by the present itself when a draw is due, else by a
// drawing thread when the time comes, so a burst of thousands of presents
// costs a few draws and the last grid is always on the screen soon after.
// Only cells that changed since the last draw are handed to curses, which in
// turn sends only what the terminal lacks. At the end the last screen is
// printed as plain text below the shell's output, so the exit banner and the
// farewell line stay visible after the program has gone.
#define _XOPEN_SOURCE_EXTENDED 1
#include <curses.h>
#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "platform/cp866.h"
#include "platform/posix/posix_internal.h"

namespace qv::posix {
namespace {

// Curses colour numbers of the console palette 0..7 (bright ones add 8).
constexpr short kCursesColour[8] = {COLOR_BLACK, COLOR_BLUE,    COLOR_GREEN,  COLOR_CYAN,
                                    COLOR_RED,   COLOR_MAGENTA, COLOR_YELLOW, COLOR_WHITE};

// The shortest time between two draws (25 a second).
constexpr std::chrono::milliseconds kDrawEvery{40};
// How often the input queue is asked for a resize when no key is waiting.
constexpr std::chrono::milliseconds kResizeCheckEvery{250};

using Clock = std::chrono::steady_clock;

class TerminalConsole : public ConsoleDevice {
 public:
  TerminalConsole(SCREEN* screen, const std::atomic<bool>& stop) : screen_(screen), stop_(stop) {
    cbreak();
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    leaveok(stdscr, TRUE);
    set_up_colours();
    drawer_ = std::thread([this] { draw_when_due(); });
  }

  ~TerminalConsole() override {
    std::unique_lock<std::mutex> hold(mutex_);
    closing_ = true;
    wake_.notify_one();
    hold.unlock();
    drawer_.join();
    hold.lock();
    if (pending_) draw_locked();
    endwin();
    delscreen(screen_);
    print_last_screen();
  }

  bool interactive() const override { return true; }

  void present(const CellGrid& cells) override {
    std::lock_guard<std::mutex> hold(mutex_);
    std::memcpy(wanted_, cells, sizeof wanted_);
    const bool waiting_already = pending_;
    pending_ = true;
    if (suspended_) return;  // drawn on resume
    if (Clock::now() >= next_draw_) {
      draw_locked();
    } else if (!waiting_already) {
      wake_.notify_one();  // else the drawing thread has its time set already
    }
  }

  void transcript(std::string_view) override {}
  void transcript_line_break() override {}

  void set_cursor_visible(bool visible) override {
    std::lock_guard<std::mutex> hold(mutex_);
    curs_set(visible ? 1 : 0);
  }

  bool key_waiting() override {
    std::lock_guard<std::mutex> hold(mutex_);
    // Asking curses draws the screen on the way, so it is asked only when a
    // byte waits or a resize may have come. A key once seen stays in
    // curses' queue, no longer on the descriptor.
    if (key_queued_) return true;
    const Clock::time_point now = Clock::now();
    if (!input_waiting(0) && now < next_resize_check_) return false;
    next_resize_check_ = now + kResizeCheckEvery;
    nodelay(stdscr, TRUE);
    int ch = getch();
    if (ch == KEY_RESIZE) {
      full_redraw_ = true;
      return false;
    }
    if (ch == ERR) return false;
    ungetch(ch);
    key_queued_ = true;
    return true;
  }

  void wait_key() override {
    while (!key_waiting() && !stop_.load()) {
      input_waiting(100);
    }
  }

  void suspend() override {
    std::lock_guard<std::mutex> hold(mutex_);
    if (pending_) draw_locked();
    suspended_ = true;
    def_prog_mode();
    endwin();
  }

  void resume() override {
    std::lock_guard<std::mutex> hold(mutex_);
    suspended_ = false;
    reset_prog_mode();
    clearok(curscr, TRUE);
    full_redraw_ = true;
    draw_locked();
  }

 private:
  // True when a byte waits on standard input, waiting up to `timeout_ms`.
  static bool input_waiting(int timeout_ms) {
    struct pollfd p = {STDIN_FILENO, POLLIN, 0};
    return ::poll(&p, 1, timeout_ms) > 0;
  }

  // Hands curses the cells that changed since the last draw and draws.
  void draw_locked() {
    for (int y = 0; y < kScreenRows; ++y)
      for (int x = 0; x < kScreenCols; ++x)
        if (full_redraw_ || !(wanted_[y][x] == shown_[y][x])) put_cell(y, x, wanted_[y][x]);
    full_redraw_ = false;
    refresh();
    pending_ = false;
    next_draw_ = Clock::now() + kDrawEvery;
  }

  // The drawing thread: draws a grid that waits once its time has come.
  void draw_when_due() {
    std::unique_lock<std::mutex> hold(mutex_);
    while (!closing_) {
      if (pending_ && !suspended_ && Clock::now() >= next_draw_) draw_locked();
      if (pending_ && !suspended_) {
        wake_.wait_until(hold, next_draw_);
      } else {
        wake_.wait(hold);
      }
    }
  }

  void set_up_colours() {
    if (!has_colors()) return;
    start_color();
    full_palette_ = COLORS >= 16 && COLOR_PAIRS > 256;
    int shades = full_palette_ ? 16 : 8;
    for (int bg = 0; bg < shades; ++bg)
      for (int fg = 0; fg < shades; ++fg)
        init_pair(static_cast<short>(bg * shades + fg + 1), curses_colour(fg), curses_colour(bg));
    colours_ = true;
  }

  static short curses_colour(int console_colour) {
    return static_cast<short>(kCursesColour[console_colour & 7] + (console_colour & 8));
  }

  void put_cell(int y, int x, Cell cell) {
    shown_[y][x] = cell;
    wchar_t wide[2] = {static_cast<wchar_t>(cp866_glyph(cell.ch)), L'\0'};
    int fg = cell.attr & 15, bg = cell.attr >> 4;
    attr_t attrs = A_NORMAL;
    short pair = 0;
    if (colours_ && full_palette_) {
      pair = static_cast<short>(bg * 16 + fg + 1);
    } else if (colours_) {
      pair = static_cast<short>((bg & 7) * 8 + (fg & 7) + 1);
      if (fg & 8) attrs |= A_BOLD;
    }
    cchar_t cc;
    setcchar(&cc, wide, attrs, pair, nullptr);
    mvadd_wch(y, x, &cc);
  }

  // The last presented screen as plain UTF-8 lines, up to its last
  // non-blank row, trailing blanks cut.
  void print_last_screen() {
    std::string text;
    int last = kScreenRows - 1;
    while (last >= 0 && row_text(last).empty()) --last;
    for (int y = 0; y <= last; ++y) text += row_text(y) + "\n";
    std::size_t done = 0;
    while (done < text.size()) {
      ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
  }

  std::string row_text(int y) const {
    std::string line;
    for (int x = 0; x < kScreenCols; ++x) append_utf8(line, cp866_glyph(shown_[y][x].ch));
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
  }

  SCREEN* screen_;
  const std::atomic<bool>& stop_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread drawer_;
  bool closing_ = false;
  bool suspended_ = false;   // the terminal is lent to another program
  bool key_queued_ = false;  // a key waits in curses' own queue
  CellGrid wanted_{};        // the last grid presented
  bool pending_ = false;     // it is not drawn yet
  Clock::time_point next_draw_{};
  Clock::time_point next_resize_check_{};
  CellGrid shown_{};  // what curses was last given
  bool full_redraw_ = true;
  bool colours_ = false;
  bool full_palette_ = false;
};

bool utf8_character_type() {
  std::string_view codeset = ::nl_langinfo(CODESET);
  return codeset == "UTF-8" || codeset == "utf8";
}

// Takes the environment's locale; where its character type is not UTF-8 (C,
// POSIX, a legacy code page: services, containers), takes a UTF-8 one
// instead, since ncursesw draws box lines and Cyrillic letters only there.
void choose_utf8_locale() {
  ::setlocale(LC_ALL, "");
  if (utf8_character_type()) return;
  for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
    if (::setlocale(LC_CTYPE, name) != nullptr && utf8_character_type()) return;
  }
}

}  // namespace

std::unique_ptr<ConsoleDevice> make_terminal_console(const std::atomic<bool>& stop) {
  choose_utf8_locale();
  SCREEN* screen = newterm(nullptr, stdout, stdin);
  if (screen == nullptr) return nullptr;
  set_term(screen);
  return std::make_unique<TerminalConsole>(screen, stop);
}

}  // namespace qv::posix
