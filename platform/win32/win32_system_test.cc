#ifdef _WIN32

#include "platform/win32/win32_system.h"

#include <gtest/gtest.h>

namespace qv::win32 {
namespace {

// Ctrl+C, Ctrl+Break and closing the window become a stop request that the
// run answers; they never end the program on the spot.
TEST(Win32System, ConsoleControlEventsBecomeAStopRequest) {
  signal_main_finished();  // so the close event need not wait for the run
  Win32Process process;
  for (DWORD type :
       {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT}) {
    stop_flag() = false;
    bool stops = type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT || type == CTRL_CLOSE_EVENT;
    EXPECT_EQ(on_console_control(type), stops ? TRUE : FALSE) << type;
    EXPECT_EQ(process.stop_requested(), stops) << type;
  }
  stop_flag() = false;
}

}  // namespace
}  // namespace qv::win32

#endif  // _WIN32
