#ifdef _WIN32

#include "platform/win32/win32_system.h"

#include <gtest/gtest.h>

#include <optional>
#include <thread>

#include "platform/cp866.h"
#include "platform/win32/win32_util.h"

namespace qv::win32 {
namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name) {
    wchar_t buf[2048];
    DWORD n = GetEnvironmentVariableW(name, buf, 2048);
    had_ = n > 0 && n < 2048;
    if (had_) old_.assign(buf, n);
    SetEnvironmentVariableW(name, value);
  }
  ~ScopedVariable() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }

 private:
  const wchar_t* name_;
  bool had_ = false;
  std::wstring old_;
};

TEST(Win32System, EnvironmentValuesArriveAsCp866AndSetButEmptyIsNotUnset) {
  Win32Environment env;
  for (const wchar_t* value : {L"\x0414\x0430 1", L"", static_cast<const wchar_t*>(nullptr)}) {
    ScopedVariable v(L"QV_TEST_VALUE", value);
    std::optional<Text> got = env.get("QV_TEST_VALUE");
    ASSERT_EQ(got.has_value(), value != nullptr);
    EXPECT_TRUE(!got || got->view() == (*value ? "Да 1"_oem : "")) << got->str();
  }
  EXPECT_NE(env.executable_path().view().find(".exe"), std::string_view::npos);
}

TEST(Win32System, CommandsRunThroughTheInterpreterOfComspecAndAreWaitedFor) {
  Win32Process process;
  for (const wchar_t* comspec : {static_cast<const wchar_t*>(nullptr), L"C:\\no\\such.exe"}) {
    ScopedVariable v(L"COMSPEC", comspec);
    EXPECT_FALSE(process.run_command("exit 0"));
  }
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  std::wstring marker = std::wstring(tmp) + L"qv_cmd_" + std::to_wstring(GetCurrentProcessId());
  DeleteFileW(marker.c_str());
  Text line = "echo ran> \"";
  line += narrow_lossy(marker);
  line += '"';
  ASSERT_TRUE(process.run_command(line));
  EXPECT_NE(GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES) << "not waited for";
  DeleteFileW(marker.c_str());
}

TEST(Win32System, ANamedLockExcludesOtherHoldersOfTheName) {
  Win32Process process;
  int counter = 0;
  auto work = [&] {
    auto lock = process.named_lock("QvTestLock");  // each thread opens the name itself
    for (int i = 0; i < 2000; ++i) {
      lock->lock();
      int seen = counter;
      std::this_thread::yield();  // invites a lost update if the lock fails
      counter = seen + 1;
      lock->unlock();
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 4000);
}

TEST(Win32System, ConsoleControlEventsBecomeAStopRequest) {
  struct Case {
    DWORD type;
    BOOL handled;
  } cases[] = {{CTRL_C_EVENT, TRUE},
               {CTRL_BREAK_EVENT, TRUE},
               {CTRL_CLOSE_EVENT, TRUE},
               {CTRL_LOGOFF_EVENT, FALSE},
               {CTRL_SHUTDOWN_EVENT, FALSE}};
  signal_main_finished();  // so the close event need not wait for the run
  Win32Process process;
  for (const Case& c : cases) {
    stop_flag() = false;
    EXPECT_EQ(on_console_control(c.type), c.handled) << c.type;
    EXPECT_EQ(process.stop_requested(), c.handled == TRUE) << c.type;
  }
  stop_flag() = false;
}

}  // namespace
}  // namespace qv::win32

#endif  // _WIN32
