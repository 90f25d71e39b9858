#ifdef _WIN32

#include "platform/win32/win32_system.h"

#include <gtest/gtest.h>

#include <thread>

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

// Named locks stay in the session of the running account, whatever prefix
// the name comes with, and a wait for one held elsewhere gives up in time.
TEST(Win32System, NamedLocksAreSessionLocalAndTheirWaitIsBounded) {
  const std::pair<const char*, const wchar_t*> names[] = {
      {"Hint", L"Local\\Hint"},
      {"Global\\Hint", L"Local\\Hint"},
      {"gLoBaL\\Time_Unic", L"Local\\Time_Unic"},
      {"Local\\Hint", L"Local\\Hint"},
      {"GlobalHint", L"Local\\GlobalHint"}};
  for (const auto& [name, expected] : names) EXPECT_EQ(session_mutex_name(name), expected) << name;

  Win32Process process;
  std::unique_ptr<NamedLock> mine = process.named_lock("qv-test-lock");
  ASSERT_TRUE(mine->lock_within(100));
  bool other_got_it = true;
  std::thread([&] {
    std::unique_ptr<NamedLock> other = process.named_lock("Global\\qv-test-lock");
    other_got_it = other->lock_within(30);
  }).join();
  EXPECT_FALSE(other_got_it);
  mine->unlock();
}

}  // namespace
}  // namespace qv::win32

#endif  // _WIN32
