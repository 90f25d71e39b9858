#include "platform/win32/win32_system.h"

#include <shellapi.h>

#include <cctype>
#include <chrono>
#include <map>
#include <mutex>

#include "platform/win32/win32_util.h"

namespace qv::win32 {

namespace {

// What the command interpreter answers when it cannot run the command.
constexpr DWORD kInterpreterCannotRun = 9009;

// How long a console-close handler lets the main thread finish its file;
// the system ends the process a little after five seconds anyway.
constexpr DWORD kCloseGraceMs = 4500;

HANDLE main_finished_event() {
  static HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}

// A string of a call that reports the length it needs (GetCurrentDirectoryW,
// GetEnvironmentVariableW): asks again with a bigger buffer when needed.
template <typename Fill>
std::wstring grow_string(Fill fill) {
  std::wstring buf(260, L'\0');
  for (int tries = 0; tries < 4; ++tries) {
    DWORD n = fill(buf.data(), static_cast<DWORD>(buf.size()));
    if (n < buf.size()) {
      buf.resize(n);
      return buf;
    }
    buf.resize(n + 1);
  }
  return {};
}

// The local time record of a SYSTEMTIME.
LocalTime local_time_of(const SYSTEMTIME& st) {
  LocalTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day = st.wDay;
  t.weekday = st.wDayOfWeek;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  t.hundredths = st.wMilliseconds / 10;
  return t;
}

// The in-process stand-in of a named mutex that the system would not give
// (a name taken by an object of another kind): threads of this process still
// exclude each other.
std::recursive_timed_mutex& fallback_mutex(const std::string& name) {
  static std::mutex guard;
  static std::map<std::string, std::recursive_timed_mutex> by_name;
  std::lock_guard<std::mutex> g(guard);
  return by_name[name];
}

class Win32NamedLock : public NamedLock {
 public:
  Win32NamedLock(HANDLE h, const std::string& name)
      : h_(h), fallback_(h ? nullptr : &fallback_mutex(name)) {}
  ~Win32NamedLock() override {
    if (h_) CloseHandle(h_);
  }
  bool lock_within(int64_t timeout_ms) override {
    if (!h_) return fallback_->try_lock_for(std::chrono::milliseconds(timeout_ms));
    // An abandoned mutex (its holder ended without releasing) is ours now.
    DWORD got = WaitForSingleObject(h_, static_cast<DWORD>(timeout_ms));
    return got == WAIT_OBJECT_0 || got == WAIT_ABANDONED;
  }
  void unlock() override {
    if (h_)
      ReleaseMutex(h_);
    else
      fallback_->unlock();
  }

 private:
  HANDLE h_;
  std::recursive_timed_mutex* fallback_;
};

}  // namespace

BOOL WINAPI on_console_control(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      stop_flag().store(true);
      return TRUE;
    case CTRL_CLOSE_EVENT:
      stop_flag().store(true);
      // Returning ends the process: wait until the run is over first.
      WaitForSingleObject(main_finished_event(), kCloseGraceMs);
      return TRUE;
    default:
      return FALSE;
  }
}

std::atomic<bool>& stop_flag() {
  static std::atomic<bool> flag{false};
  return flag;
}

void install_stop_handler() {
  main_finished_event();
  SetConsoleCtrlHandler(on_console_control, TRUE);
}

void signal_main_finished() {
  SetEvent(main_finished_event());
}

std::vector<std::string> arguments_of(const wchar_t* command_line) {
  std::vector<std::string> out;
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(command_line, &argc);
  if (!argv) return out;
  for (int i = 1; i < argc; ++i) out.push_back(to_windows_1251(argv[i]));
  LocalFree(argv);
  return out;
}

std::optional<std::string> Win32Environment::get(const char* name) {
  std::wstring wname = widen(name);
  SetLastError(ERROR_SUCCESS);
  std::wstring value = grow_string(
      [&](wchar_t* buf, DWORD size) { return GetEnvironmentVariableW(wname.c_str(), buf, size); });
  if (value.empty() && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
  std::string oem;
  narrow_to_cp866(value, oem);
  return oem;
}

std::string Win32Environment::executable_path() {
  std::wstring buf(32768, L'\0');
  DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
  buf.resize(n < buf.size() ? n : 0);
  std::size_t slash = buf.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return narrow_lossy(buf).str();
  std::string name = narrow_lossy(std::wstring_view(buf).substr(slash + 1)).str();
  return record_system_dir(std::wstring_view(buf).substr(0, slash)) + "\\" + name;
}

Text Win32Environment::current_directory() {
  return Text(record_system_dir(
      grow_string([](wchar_t* buf, DWORD size) { return GetCurrentDirectoryW(size, buf); })));
}

std::vector<std::string> Win32Environment::arguments() {
  return arguments_of(GetCommandLineW());
}

LocalTime Win32Clock::local_time() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return local_time_of(st);
}

int64_t Win32Clock::monotonic_ms() {
  return static_cast<int64_t>(GetTickCount64());
}

int64_t Win32Clock::now_ns() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return filetime_to_ns(ft);
}

void Win32Clock::sleep_ms(int64_t ms) {
  while (ms > 0) {
    DWORD step = ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(ms);
    Sleep(step);
    ms -= step;
  }
}

bool Win32Process::run_command(const Text& command_line) {
  std::optional<std::string> comspec = Win32Environment().get("COMSPEC");
  if (!comspec || comspec->empty()) return false;
  std::wstring interpreter = widen(*comspec);
  std::wstring line = L"\"" + interpreter + L"\" /C " + widen(command_line.view());
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(interpreter.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &si, &pi))
    return false;
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  // The interpreter's answer for a program it cannot find or run; any other
  // end is the program's own and is not looked at.
  return code != kInterpreterCannotRun;
}

std::wstring session_mutex_name(std::string_view name) {
  for (std::string_view prefix : {"global\\", "local\\"}) {
    bool has = name.size() >= prefix.size();
    for (std::size_t i = 0; has && i < prefix.size(); ++i)
      has = std::tolower(static_cast<unsigned char>(name[i])) == prefix[i];
    if (has) name.remove_prefix(prefix.size());
  }
  return L"Local\\" + widen(name);
}

std::unique_ptr<NamedLock> Win32Process::named_lock(const char* name) {
  HANDLE h = CreateMutexW(nullptr, FALSE, session_mutex_name(name).c_str());
  return std::make_unique<Win32NamedLock>(h, name);
}

}  // namespace qv::win32
