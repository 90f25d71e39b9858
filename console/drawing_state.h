// What the main thread shares with the clock and title threads, lock-free.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "platform/system.h"

namespace qv {

struct DrawingState {
  std::atomic<int64_t> elapsed{0};  // seconds counted by the clock thread
  std::atomic<bool> clock_drawing{true};
  std::atomic<bool> title_drawing{true};
  std::atomic<bool> clock_stop{false};
  std::atomic<bool> title_stop{false};
  // The lock kept the last date line out; the clock thread draws it again.
  std::atomic<bool> date_line_pending{false};
  std::unique_ptr<NamedLock> clock_lock;  // "Time_Unic"
  std::unique_ptr<NamedLock> title_lock;  // "Hint"
  std::thread clock_thread;
  std::thread title_thread;

  DrawingState() = default;
  DrawingState(const DrawingState&) = delete;
  DrawingState& operator=(const DrawingState&) = delete;
  // A run that ends without stopping its drawing threads still ends them.
  ~DrawingState() {
    clock_stop = true;
    title_stop = true;
    if (clock_thread.joinable()) clock_thread.join();
    if (title_thread.joinable()) title_thread.join();
  }
};

// Panel cursors of the status screen (column, row, relative to the panel).
struct PanelCursors {
  int history_x = 1, history_y = 1;
  int unknown_x = 1, unknown_y = 1;
  int done_x = 1, done_y = 1;
};

}  // namespace qv
