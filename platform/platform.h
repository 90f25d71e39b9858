// The platform a run works on: built by main() from a real backend, or by a
// test from the fake. The logic reaches the OS only through this record.
#pragma once

#include "platform/console_device.h"
#include "platform/file_system.h"
#include "platform/log_file.h"
#include "platform/system.h"

namespace qv {

struct Platform {
  FileSystem& fs;
  ConsoleDevice& console;
  Environment& env;
  Clock& clock;
  Process& process;
  LogFile& log;
};

}  // namespace qv
