// Process, environment, clock, named locks and the stop request.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/text.h"

namespace qv {

class Environment {
 public:
  virtual ~Environment() = default;
  // Value of an environment variable (CP866, whole: PATH is often longer
  // than a Text), or nullopt when unset.
  virtual std::optional<std::string> get(const char* name) = 0;
  // Full name of the running executable, CP866, whole (it may be longer than
  // a Text), with '\' as on the command line the Windows system gives (the
  // POSIX backend writes it with '/'; both are separators throughout). A
  // character CP866 lacks shows as '?'; paths that begin with the directory
  // so shown still reach it (platform/shown_dirs.h).
  virtual std::string executable_path() = 0;
  // Current directory at the time of the call, CP866, shown and reached as
  // the executable's directory is.
  virtual Text current_directory() = 0;
  // Command-line arguments after the program name, as bytes of Windows-1251
  // (the POSIX backend turns UTF-8 arguments into Windows-1251).
  virtual std::vector<std::string> arguments() = 0;
  // Separator of the entries of PATH (';' on Windows, ':' on POSIX).
  virtual char path_list_separator() const { return ';'; }
  // True where the system writes text in UTF-8 (POSIX): a settings file or
  // task script that is UTF-8 text is then read as such.
  virtual bool utf8_text_files() const { return false; }
  // Separator the system puts into the paths it joins or extends ('\' on
  // Windows, '/' on POSIX); paths the operator wrote keep theirs.
  virtual char path_separator() const { return '\\'; }
};

// Local date and time, as the clock fields hold them.
struct LocalTime {
  int32_t year = 0, month = 0, day = 0, weekday = 0;  // weekday 0 = Sunday
  int32_t hour = 0, minute = 0, second = 0, hundredths = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Local date and time now.
  virtual LocalTime local_time() = 0;
  // Monotonic milliseconds (for nothing but measuring).
  virtual int64_t monotonic_ms() = 0;
  // Wall-clock time now, nanoseconds since 1970-01-01 UTC (the scale of file times).
  virtual int64_t now_ns() = 0;
  // Sleeps ms milliseconds (the fake advances its virtual time instead).
  virtual void sleep_ms(int64_t ms) = 0;
};

// A lock shared by name with other instances of the program run by the same
// account in the same session; no other account can create or hold it.
class NamedLock {
 public:
  virtual ~NamedLock() = default;
  // Waits at most timeout_ms for the lock: true when it is held (unlock()
  // must follow), false when some other holder kept it that long.
  virtual bool lock_within(int64_t timeout_ms) = 0;
  // Releases the lock that lock_within took.
  virtual void unlock() = 0;
};

class Process {
 public:
  virtual ~Process() = default;
  // Runs a command line through the command interpreter (COMSPEC /C ...,
  // or /bin/sh -c on POSIX when COMSPEC is unset) in the same console and
  // waits for it. Returns false when the program could not be started:
  // nothing started, or the interpreter answered that it could not run it.
  virtual bool run_command(const Text& command_line) = 0;
  // Opens (creating if needed) the lock of that name.
  virtual std::unique_ptr<NamedLock> named_lock(const char* name) = 0;
  // True once a stop was requested (signal, Ctrl+C, Ctrl+Break, console close).
  virtual bool stop_requested() = 0;
};

}  // namespace qv
