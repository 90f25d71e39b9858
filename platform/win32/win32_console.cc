#include "platform/win32/win32_console.h"

#include <string>

#include "platform/cp866.h"

namespace qv::win32 {

namespace {

// How often a wait for a key looks again at the stop request and the input.
constexpr DWORD kWaitStepMs = 50;

bool row_span(const Cell (&a)[kScreenCols], const Cell (&b)[kScreenCols], int& left, int& right) {
  left = 0;
  while (left < kScreenCols && a[left] == b[left]) ++left;
  if (left == kScreenCols) return false;
  right = kScreenCols - 1;
  while (a[right] == b[right]) --right;
  return true;
}

InputKind kind_of_input(HANDLE in) {
  DWORD mode = 0;
  if (in == nullptr || in == INVALID_HANDLE_VALUE) return InputKind::kNone;
  if (GetConsoleMode(in, &mode)) return InputKind::kConsole;
  switch (GetFileType(in)) {
    case FILE_TYPE_PIPE:
      return InputKind::kPipe;
    case FILE_TYPE_DISK:
      return InputKind::kFile;
    default:
      return InputKind::kNone;  // NUL and other devices never give a key
  }
}

}  // namespace

std::vector<CellRect> changed_rects(const CellGrid& shown, const CellGrid& next, bool all) {
  if (all) return {CellRect{0, kScreenRows - 1, 0, kScreenCols - 1}};
  std::vector<CellRect> out;
  bool open = false;
  for (int y = 0; y < kScreenRows; ++y) {
    int left = 0, right = 0;
    if (!row_span(shown[y], next[y], left, right)) {
      open = false;
      continue;
    }
    if (open) {
      CellRect& r = out.back();
      r.bottom = y;
      r.left = left < r.left ? left : r.left;
      r.right = right > r.right ? right : r.right;
    } else {
      out.push_back(CellRect{y, y, left, right});
      open = true;
    }
  }
  return out;
}

CHAR_INFO char_info_of(Cell cell) {
  CHAR_INFO ci;
  ci.Char.UnicodeChar = static_cast<WCHAR>(cp866_glyph(cell.ch));
  ci.Attributes = cell.attr;
  return ci;
}

bool is_key_press(const INPUT_RECORD& event) {
  if (event.EventType != KEY_EVENT || !event.Event.KeyEvent.bKeyDown) return false;
  switch (event.Event.KeyEvent.wVirtualKeyCode) {
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_CAPITAL:
    case VK_NUMLOCK:
    case VK_SCROLL:
    case VK_LWIN:
    case VK_RWIN:
      return false;
    default:
      return true;
  }
}

Win32Console::Win32Console(HANDLE out, HANDLE in, const std::atomic<bool>& stop)
    : out_(out), in_(in), stop_(stop) {
  DWORD mode = 0;
  interactive_ = out_ != INVALID_HANDLE_VALUE && GetConsoleMode(out_, &mode);
  input_ = kind_of_input(in_);
  if (interactive_) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(out_, &info))
      origin_ = COORD{info.srWindow.Left, info.srWindow.Top};
  }
  take_input_mode();
}

Win32Console::~Win32Console() {
  give_back_input_mode();
  if (!interactive_) return;
  set_cursor_visible(true);
  place_cursor_after_drawing();
}

void Win32Console::take_input_mode() {
  if (input_ != InputKind::kConsole || in_mode_taken_) return;
  if (!GetConsoleMode(in_, &saved_in_mode_)) return;
  // Keys reach the program only without line input and echo.
  in_mode_taken_ = SetConsoleMode(in_, ENABLE_WINDOW_INPUT) != 0;
}

void Win32Console::give_back_input_mode() {
  if (!in_mode_taken_) return;
  SetConsoleMode(in_, saved_in_mode_);
  in_mode_taken_ = false;
}

void Win32Console::write_rect(const CellGrid& cells, const CellRect& r) {
  CHAR_INFO buf[kScreenRows * kScreenCols];
  int width = r.right - r.left + 1;
  for (int y = r.top; y <= r.bottom; ++y)
    for (int x = r.left; x <= r.right; ++x)
      buf[(y - r.top) * width + (x - r.left)] = char_info_of(cells[y][x]);
  COORD size{static_cast<SHORT>(width), static_cast<SHORT>(r.bottom - r.top + 1)};
  SMALL_RECT target{static_cast<SHORT>(origin_.X + r.left), static_cast<SHORT>(origin_.Y + r.top),
                    static_cast<SHORT>(origin_.X + r.right),
                    static_cast<SHORT>(origin_.Y + r.bottom)};
  WriteConsoleOutputW(out_, buf, size, COORD{0, 0}, &target);
}

void Win32Console::present(const CellGrid& cells) {
  if (!interactive_) return;
  std::lock_guard<std::mutex> g(m_);
  for (const CellRect& r : changed_rects(shown_, cells, !shown_valid_)) write_rect(cells, r);
  for (int y = 0; y < kScreenRows; ++y)
    for (int x = 0; x < kScreenCols; ++x) shown_[y][x] = cells[y][x];
  shown_valid_ = true;
}

void Win32Console::transcript(std::string_view cp866) {
  if (interactive_ || cp866.empty()) return;
  write_out(cp866_to_glyphs_utf8(cp866));
}

void Win32Console::transcript_line_break() {
  if (!interactive_) write_out("\n");
}

void Win32Console::write_out(const std::string& utf8) {
  const char* p = utf8.data();
  std::size_t left = utf8.size();
  while (left > 0) {
    DWORD put = 0;
    if (!WriteFile(out_, p, static_cast<DWORD>(left), &put, nullptr) || put == 0) return;
    p += put;
    left -= put;
  }
}

void Win32Console::set_cursor_visible(bool visible) {
  if (!interactive_) return;
  CONSOLE_CURSOR_INFO ci;
  if (!GetConsoleCursorInfo(out_, &ci)) ci.dwSize = 25;
  ci.bVisible = visible ? TRUE : FALSE;
  SetConsoleCursorInfo(out_, &ci);
}

bool Win32Console::console_key_waiting() {
  INPUT_RECORD event;
  DWORD count = 0;
  // Events that are no key press are dropped, so that the next one is seen.
  while (PeekConsoleInputW(in_, &event, 1, &count) && count == 1) {
    if (is_key_press(event)) return true;
    if (!ReadConsoleInputW(in_, &event, 1, &count)) return false;
  }
  return false;
}

bool Win32Console::stream_key_waiting(bool& at_end) {
  at_end = true;
  if (input_ == InputKind::kPipe) {
    DWORD avail = 0;
    if (!PeekNamedPipe(in_, nullptr, 0, nullptr, &avail, nullptr)) return false;  // writer gone
    at_end = false;
    return avail > 0;
  }
  if (input_ == InputKind::kFile) {
    LARGE_INTEGER pos{}, size{}, zero{};
    if (!SetFilePointerEx(in_, zero, &pos, FILE_CURRENT) || !GetFileSizeEx(in_, &size))
      return false;
    return pos.QuadPart < size.QuadPart;
  }
  return false;
}

bool Win32Console::key_waiting() {
  if (input_ == InputKind::kConsole) return console_key_waiting();
  bool at_end = true;
  return stream_key_waiting(at_end);
}

void Win32Console::wait_key() {
  while (!stop_.load()) {
    if (input_ == InputKind::kConsole) {
      if (console_key_waiting()) return;
      WaitForSingleObject(in_, kWaitStepMs);
      continue;
    }
    bool at_end = true;
    if (stream_key_waiting(at_end) || at_end) return;
    Sleep(kWaitStepMs);
  }
}

void Win32Console::suspend() {
  give_back_input_mode();
  std::lock_guard<std::mutex> g(m_);
  shown_valid_ = false;
}

void Win32Console::resume() {
  take_input_mode();
  std::lock_guard<std::mutex> g(m_);
  shown_valid_ = false;
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (interactive_ && GetConsoleScreenBufferInfo(out_, &info))
    origin_ = COORD{info.srWindow.Left, info.srWindow.Top};
}

void Win32Console::place_cursor_after_drawing() {
  std::lock_guard<std::mutex> g(m_);
  if (!shown_valid_) return;
  int last = -1;
  for (int y = 0; y < kScreenRows; ++y)
    for (int x = 0; x < kScreenCols; ++x)
      if (shown_[y][x].ch != ' ' && shown_[y][x].ch != 0) last = y;
  if (last < 0) {
    SetConsoleCursorPosition(out_, origin_);
    return;
  }
  // A line break after the last drawn row scrolls the console when that row
  // is the bottom one, so what follows the program never covers it.
  SetConsoleCursorPosition(out_, COORD{origin_.X, static_cast<SHORT>(origin_.Y + last)});
  DWORD put = 0;
  WriteConsoleW(out_, L"\r\n", 2, &put, nullptr);
}

}  // namespace qv::win32
