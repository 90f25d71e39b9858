// The real platform of a POSIX machine: the terminal console when standard
// output is a terminal, the headless one otherwise.
#include "platform/backend.h"

#include <unistd.h>

#include "platform/posix/posix_internal.h"
#include "platform/posix/system_posix.h"

namespace qv::posix {
namespace {

class PosixPlatform : public RealPlatform {
 public:
  PosixPlatform(int argc, char** argv)
      : fs_(make_real_file_system()),
        console_(choose_console()),
        env_(argc, argv),
        process_(env_),
        log_(make_real_log_file()),
        platform_{*fs_, *console_, env_, clock_, process_, *log_} {}

  Platform& platform() override { return platform_; }

 private:
  static std::unique_ptr<ConsoleDevice> choose_console() {
    std::unique_ptr<ConsoleDevice> console;
    if (::isatty(STDOUT_FILENO) && ::isatty(STDIN_FILENO))
      console = make_terminal_console(stop_flag());
    if (!console) console = make_headless_console(STDIN_FILENO, STDOUT_FILENO, stop_flag());
    return console;
  }

  std::unique_ptr<FileSystem> fs_;
  std::unique_ptr<ConsoleDevice> console_;
  PosixEnvironment env_;
  PosixClock clock_;
  PosixProcess process_;
  std::unique_ptr<LogFile> log_;
  Platform platform_;
};

}  // namespace
}  // namespace qv::posix

namespace qv {

std::unique_ptr<RealPlatform> make_real_platform(int argc, char** argv) {
  // Before the terminal is set up, so curses leaves our handlers alone.
  posix::install_signal_handlers();
  return std::make_unique<posix::PosixPlatform>(argc, argv);
}

}  // namespace qv
