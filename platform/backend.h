// The platform of the machine the program runs on (POSIX or Win32 backend).
#pragma once

#include <memory>

#include "platform/platform.h"

namespace qv {

class RealPlatform {
 public:
  virtual ~RealPlatform() = default;
  virtual Platform& platform() = 0;
};

// Builds the real backend: console (terminal, Win32 console, or headless
// when the output is not one), file system, environment, clock, process and
// the stop-request handlers (signals / console control events).
std::unique_ptr<RealPlatform> make_real_platform(int argc, char** argv);

}  // namespace qv

namespace qv {

// The real file system alone (for the backend contract tests).
std::unique_ptr<FileSystem> make_real_file_system();

}  // namespace qv
