// The real platform of Windows: console (or headless), file system,
// environment, clock, process and the console control handler.
#include <windows.h>

#include "platform/backend.h"
#include "platform/win32/win32_console.h"
#include "platform/win32/win32_system.h"

namespace qv {

namespace {

class Win32Platform : public RealPlatform {
 public:
  Win32Platform()
      : fs_(make_real_file_system()),
        console_(GetStdHandle(STD_OUTPUT_HANDLE), GetStdHandle(STD_INPUT_HANDLE),
                 win32::stop_flag()) {
    win32::install_stop_handler();
  }
  // The run is over: a console-close handler may let the system end us now.
  ~Win32Platform() override { win32::signal_main_finished(); }

  Platform& platform() override { return platform_; }

 private:
  std::unique_ptr<FileSystem> fs_;
  win32::Win32Console console_;
  win32::Win32Environment env_;
  win32::Win32Clock clock_;
  win32::Win32Process process_;
  std::unique_ptr<LogFile> log_ = make_real_log_file();
  Platform platform_{*fs_, console_, env_, clock_, process_, *log_};
};

}  // namespace

std::unique_ptr<RealPlatform> make_real_platform(int /*argc*/, char** /*argv*/) {
  // The arguments are taken from the wide command line instead, so that
  // names outside the ANSI code page arrive intact.
  return std::make_unique<Win32Platform>();
}

}  // namespace qv
