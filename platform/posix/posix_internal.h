// Shared pieces of the POSIX backend: the one errno mapping, the path
// conversion at the file-system boundary and the process-wide stop flag.
#pragma once

#include <sys/stat.h>

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

#include "platform/console_device.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace qv::posix {

// The one place where errno values become the portable error space.
Error error_from_errno(int err);

// A system path (CP866, '\' or '/' separators) as the OS wants it: UTF-8 with
// '/' only, trailing separators dropped (but "/" kept). False when the path is
// empty or holds a NUL byte.
bool native_path(const Text& path, std::string& out);

// The CP866 text of a name the system gave: '?' for each character CP866
// lacks and for each byte that is not UTF-8.
std::string shown_text(std::string_view native);
// The shown text of a directory the system named (the program's own, the
// start directory); records it with its native name when CP866 cannot hold
// the name whole.
std::string record_system_dir(std::string_view native);
// A path that begins with the shown text of a recorded directory, as the OS
// wants it: that directory's native name, then the rest as native_path()
// makes it. False when the path begins with no recorded directory.
bool native_path_of_recorded(const Text& path, std::string& out);

// The attribute bits and sizes of a stat record; `name` decides "hidden".
FileInfo info_from_stat(const struct stat& st, std::string_view name);

// Set by SIGINT, SIGTERM and SIGHUP once the handlers are installed.
std::atomic<bool>& stop_flag();
// Installs the stop-request handlers; ignores SIGPIPE and the lease-break
// signal, which must never end the program.
void install_signal_handlers();

// Arguments after the program name: valid UTF-8 made of characters that
// Windows-1251 holds becomes Windows-1251 bytes; anything else stays as is.
std::string argument_to_1251(std::string_view utf8);

// The headless console: transcript to `out_fd`, keys from `in_fd`.
std::unique_ptr<ConsoleDevice> make_headless_console(int in_fd, int out_fd,
                                                     const std::atomic<bool>& stop);
// The terminal console (ncursesw), or null when the terminal cannot be used.
std::unique_ptr<ConsoleDevice> make_terminal_console(const std::atomic<bool>& stop);

}  // namespace qv::posix
