// Environment, clock, process, named locks and the stop request on Windows.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system.h"

namespace qv::win32 {

// The stop request of the process: set by the console control handler.
std::atomic<bool>& stop_flag();

// Installs the handler that turns Ctrl+C, Ctrl+Break and closing the console
// window into a stop request instead of ending the process.
void install_stop_handler();

// The console control handler: Ctrl+C, Ctrl+Break and closing the window
// set the stop request and are handled (TRUE); other events are not.
BOOL WINAPI on_console_control(DWORD type);

// Tells a pending console-close handler that the main thread is done, so it
// need not wait any longer before the system ends the process.
void signal_main_finished();

// Splits a command line by the rules of the system (quotes, backslashes) and
// returns every argument after the program name, as Windows-1251 bytes.
std::vector<std::string> arguments_of(const wchar_t* command_line);

class Win32Environment : public Environment {
 public:
  std::optional<std::string> get(const char* name) override;
  // GetModuleFileNameW in CP866, whole; its directory is recorded when
  // CP866 cannot hold its name.
  std::string executable_path() override;
  // GetCurrentDirectoryW in CP866, recorded as the executable's directory is.
  Text current_directory() override;
  std::vector<std::string> arguments() override;
  char path_list_separator() const override { return ';'; }
};

class Win32Clock : public Clock {
 public:
  LocalTime local_time() override;
  int64_t monotonic_ms() override;
  int64_t now_ns() override;
  void sleep_ms(int64_t ms) override;
};

// The name of a named lock in the session's own namespace, Local\<name>; a
// Global\ or Local\ prefix of the name is dropped first, so that a lock is
// never shared with other sessions and their accounts.
std::wstring session_mutex_name(std::string_view name);

class Win32Process : public Process {
 public:
  // COMSPEC /C line in this console, waited for. False when COMSPEC is
  // unset, nothing started, or the interpreter could not run the program.
  bool run_command(const Text& command_line) override;
  // A named mutex of the session (session_mutex_name).
  std::unique_ptr<NamedLock> named_lock(const char* name) override;
  bool stop_requested() override { return stop_flag().load(); }
};

}  // namespace qv::win32
