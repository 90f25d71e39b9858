// Environment, clock, process and the stop request on POSIX.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/cp866.h"
#include "platform/posix/posix_internal.h"
#include "platform/posix/system_posix.h"

extern char** environ;

namespace qv::posix {

namespace {
constexpr int kShellCannotExecute = 126;
constexpr int kShellNotFound = 127;
}  // namespace

std::atomic<bool>& stop_flag() {
  static std::atomic<bool> flag{false};
  return flag;
}

namespace {

void on_stop_signal(int) {
  stop_flag().store(true);
}

// CP866 of a UTF-8 text from the OS; bytes that are not UTF-8 CP866 can
// hold are kept as they are.
std::string string_from_os(std::string_view utf8) {
  std::string oem;
  if (utf8_to_cp866(utf8, oem)) return oem;
  return std::string(utf8);
}

// Windows-1251 byte of a code point, or -1.
int to_1251(char32_t c) {
  if (c < 0x80) return static_cast<int>(c);
  if (c >= 0x0410 && c <= 0x044F) return static_cast<int>(0xC0 + (c - 0x0410));
  switch (c) {
    case 0x0401:
      return 0xA8;  // Ё
    case 0x0451:
      return 0xB8;  // ё
    case 0x0404:
      return 0xAA;  // Є
    case 0x0454:
      return 0xBA;  // є
    case 0x0407:
      return 0xAF;  // Ї
    case 0x0457:
      return 0xBF;  // ї
    case 0x0406:
      return 0xB2;  // І
    case 0x0456:
      return 0xB3;  // і
    case 0x040E:
      return 0xA1;  // Ў
    case 0x045E:
      return 0xA2;  // ў
    default:
      return -1;
  }
}

}  // namespace

void install_signal_handlers() {
  struct sigaction sa {};
  sa.sa_handler = on_stop_signal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &sa, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGIO, SIG_IGN);
}

std::string argument_to_1251(std::string_view utf8) {
  std::string out;
  std::size_t i = 0;
  while (i < utf8.size()) {
    char32_t c = cp866_detail::decode_utf8(utf8.data(), utf8.size(), i);
    int b = c == 0xFFFFFFFF ? -1 : to_1251(c);
    if (b < 0) return std::string(utf8);
    out += static_cast<char>(b);
  }
  return out;
}

std::optional<std::string> PosixEnvironment::get(const char* name) {
  const char* value = ::getenv(name);
  if (value == nullptr) return std::nullopt;
  return string_from_os(value);
}

std::string PosixEnvironment::executable_path() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  std::string_view native(buf, static_cast<std::size_t>(n));
  std::size_t slash = native.rfind('/');
  if (slash == std::string_view::npos) return shown_text(native);
  return record_system_dir(native.substr(0, slash)) + "/" + shown_text(native.substr(slash + 1));
}

Text PosixEnvironment::current_directory() {
  char buf[PATH_MAX];
  if (::getcwd(buf, sizeof buf) == nullptr) return Text();
  return Text(record_system_dir(buf));
}

std::vector<std::string> PosixEnvironment::arguments() {
  std::vector<std::string> out;
  for (int i = 1; i < argc_; ++i) out.push_back(argument_to_1251(argv_[i]));
  return out;
}

LocalTime PosixClock::local_time() {
  struct timespec ts;
  ::clock_gettime(CLOCK_REALTIME, &ts);
  struct tm tm {};
  ::localtime_r(&ts.tv_sec, &tm);
  LocalTime t;
  t.year = tm.tm_year + 1900;
  t.month = tm.tm_mon + 1;
  t.day = tm.tm_mday;
  t.weekday = tm.tm_wday;
  t.hour = tm.tm_hour;
  t.minute = tm.tm_min;
  t.second = tm.tm_sec > 59 ? 59 : tm.tm_sec;
  t.hundredths = static_cast<int32_t>(ts.tv_nsec / 10'000'000);
  return t;
}

int64_t PosixClock::monotonic_ms() {
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

int64_t PosixClock::now_ns() {
  struct timespec ts;
  ::clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

void PosixClock::sleep_ms(int64_t ms) {
  if (ms <= 0) return;
  struct timespec left;
  left.tv_sec = static_cast<time_t>(ms / 1000);
  left.tv_nsec = static_cast<long>(ms % 1000) * 1'000'000;
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

namespace {

// The signals a child must see with their default action again.
void reset_child_signals(posix_spawnattr_t& attr) {
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGIO}) sigaddset(&defaults, sig);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
}

}  // namespace

std::string shell_command_line(const Text& command) {
  std::string_view v = command.view();
  std::size_t start = v.find_first_not_of(" \t");
  if (start == std::string_view::npos) return cp866_to_utf8(v);
  const bool quoted = v[start] == '"';
  const std::size_t word = quoted ? start + 1 : start;
  std::size_t end = v.find_first_of(quoted ? std::string_view("\"") : " \t\"", word);
  if (end == std::string_view::npos) end = v.size();
  std::string program;
  if (end == word || !native_path(Text(v.substr(word, end - word)), program)) {
    return cp866_to_utf8(v);
  }
  return cp866_to_utf8(v.substr(0, word)) + program + cp866_to_utf8(v.substr(end));
}

std::vector<std::string> command_argv(const std::optional<std::string>& comspec,
                                      const Text& command) {
  std::string line = shell_command_line(command);
  if (comspec && !comspec->empty()) return {cp866_to_utf8(*comspec), "/C", line};
  return {"/bin/sh", "-c", line};
}

bool PosixProcess::run_command(const Text& command_line) {
  std::vector<std::string> args = command_argv(env_.get("COMSPEC"), command_line);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  reset_child_signals(attr);
  pid_t pid;
  int rc = ::posix_spawnp(&pid, argv[0], nullptr, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  // The shell's answers for a program it could not run: found but not
  // executable (126), not found (127). Any other end is the program's own.
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
  return code != kShellCannotExecute && code != kShellNotFound;
}

bool PosixProcess::stop_requested() {
  return stop_flag().load();
}

}  // namespace qv::posix
