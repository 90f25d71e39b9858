// The message log: every line the main thread writes through the text
// windows while the transcript is on is also appended to the log file, one
// log line per screen line or message, stamped with the local date and time
// at which it began. The screen feeds it as a WindowTextListener; lines are
// appended when the run calls write_pending, never under the screen's lock.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "console/screen.h"
#include "platform/log_file.h"
#include "platform/system.h"

namespace qv {

// What a log line is. LOG_TYPE Short keeps every kind but kInfo.
enum class LogLineKind : uint8_t {
  kInfo,      // ordinary text
  kTransfer,  // the report of a copy or a move
  kError,     // an error, a refusal or a warning (written in red or yellow)
  kRun,       // the start and the end of the run
};

enum class LogDetail : uint8_t { kFull, kShort };

class MessageLog : public WindowTextListener {
 public:
  MessageLog(LogFile& file, Clock& clock);

  // Logging begins: lines of `detail` go to the file at `path`.
  void start(const Text& path, LogDetail detail);
  // Logging ends; lines not yet written are dropped.
  void stop();
  bool active() const;
  const Text& path() const { return path_; }

  // The line being written is of this kind, whatever its colours say.
  void mark(LogLineKind kind);
  // While quiet, window output is not logged (a countdown rewritten in place).
  void set_quiet(bool quiet);
  bool quiet() const;

  // Appends the lines finished so far and the open one, which ends here.
  void write_pending();
  // Appends one line of the given kind at once (the start and end of the run).
  void write_now(std::string_view cp866, LogLineKind kind);
  // True once a write failed after the last one that worked (or after none):
  // the failure is to be reported, once, however long it lasts.
  bool failure_news() const;
  // The failure has been reported.
  void failure_reported();

  // --- WindowTextListener ---
  void text(std::string_view cp866, uint8_t attribute) override;
  void boundary() override;

 private:
  struct Line {
    std::string text;  // CP866
    LocalTime stamp;
    LogLineKind kind = LogLineKind::kInfo;
    bool marked = false;  // the kind was set by mark(), not by colour
  };

  void finish_line_locked();
  void append(const Line& line);

  LogFile& file_;
  Clock& clock_;
  mutable std::mutex mutex_;
  Text path_;
  LogDetail detail_ = LogDetail::kFull;
  bool active_ = false;
  bool quiet_ = false;
  Line open_;
  std::vector<Line> finished_;
  bool failing_ = false;  // the last append failed
  bool failure_news_ = false;
};

// "YYYY-MM-DD HH:MM:SS" of a local time.
std::string log_stamp(const LocalTime& t);

}  // namespace qv
