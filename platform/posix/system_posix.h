// Environment, clock and process of the POSIX backend.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/system.h"

namespace qv::posix {

class PosixEnvironment : public Environment {
 public:
  PosixEnvironment(int argc, char** argv) : argc_(argc), argv_(argv) {}
  // Value of a variable, UTF-8 turned into CP866 where it can be.
  std::optional<std::string> get(const char* name) override;
  // The executable from /proc/self/exe, '/' separators kept; its directory
  // is recorded when CP866 cannot hold its name.
  std::string executable_path() override;
  // getcwd() in CP866, recorded as the executable's directory is.
  Text current_directory() override;
  // argv[1..] as Windows-1251 bytes where they are Cyrillic UTF-8.
  std::vector<std::string> arguments() override;
  char path_list_separator() const override { return ':'; }
  bool utf8_text_files() const override { return true; }
  char path_separator() const override { return '/'; }

 private:
  int argc_;
  char** argv_;
};

class PosixClock : public Clock {
 public:
  // localtime_r of the real-time clock.
  LocalTime local_time() override;
  // CLOCK_MONOTONIC in milliseconds.
  int64_t monotonic_ms() override;
  // CLOCK_REALTIME in nanoseconds.
  int64_t now_ns() override;
  // nanosleep for the whole time, resumed after signals.
  void sleep_ms(int64_t ms) override;
};

class PosixProcess : public Process {
 public:
  explicit PosixProcess(Environment& env) : env_(env) {}
  // COMSPEC /C line when COMSPEC is set, else /bin/sh -c line; waits for
  // it. False when nothing started or the shell could not run the program
  // (126, 127); the program's own exit code is not looked at.
  bool run_command(const Text& command_line) override;
  // flock on a lock file in the lock directory (open_lock_directory), plus a
  // thread mutex; without a private directory, the thread mutex alone.
  std::unique_ptr<NamedLock> named_lock(const char* name) override;
  // True after SIGINT, SIGTERM or SIGHUP.
  bool stop_requested() override;

 private:
  Environment& env_;
};

// The file name of a named lock: "quorvane-<name>.lock", the name reduced to
// letters, digits, '_' and '-'.
std::string lock_file_name(const char* name);
// The directory of the named locks, opened, or -1 when none is private:
// `runtime_dir` when it is absolute, the account's own, not a link and closed
// to everyone else (mode 0700), else <temp_dir>/quorvane-<uid>, made with mode
// 0700 or found to be just such a directory.
int open_lock_directory(const char* runtime_dir, const std::string& temp_dir);
// A command line as the shell gets it, in UTF-8: its first word (the
// program path, quoted or not) as native_path() makes it ('/' for '\', a
// recorded directory in its native name), the rest as written.
std::string shell_command_line(const Text& command);
// The argument vector run_command starts for a command line.
std::vector<std::string> command_argv(const std::optional<std::string>& comspec,
                                      const Text& command);

}  // namespace qv::posix
