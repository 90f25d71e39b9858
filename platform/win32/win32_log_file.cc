// Appending to the log on Windows: the file is opened for appending with
// every sharing mode (others may read, move or remove it meanwhile), written
// in CP866 with CR LF, and closed again for each line.
#include <windows.h>

#include <string>

#include "platform/log_file.h"
#include "platform/win32/win32_util.h"

namespace qv::win32 {
namespace {

bool write_all(HANDLE file, std::string_view data) {
  while (!data.empty()) {
    DWORD put = 0;
    if (!WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &put, nullptr) || put == 0)
      return false;
    data.remove_prefix(put);
  }
  return true;
}

class Win32LogFile : public LogFile {
 public:
  bool append_line(const Text& path, std::string_view cp866_line) override {
    if (path.empty()) return false;
    HANDLE file = CreateFileW(widen_path(path.view()).c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    if (GetFileType(file) != FILE_TYPE_DISK) {  // a device or a pipe is no log
      CloseHandle(file);
      return false;
    }
    std::string line(cp866_line);
    // A control byte never reaches the log raw: it could break a line in two.
    for (char& c : line) {
      if (static_cast<uint8_t>(c) < 0x20 || c == 0x7F) c = '?';
    }
    line += "\r\n";
    bool written = write_all(file, line);
    bool closed = CloseHandle(file) != 0;
    return written && closed;
  }
};

}  // namespace
}  // namespace qv::win32

namespace qv {

std::unique_ptr<LogFile> make_real_log_file() {
  return std::make_unique<win32::Win32LogFile>();
}

}  // namespace qv
