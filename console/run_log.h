// The log of a run: opened after the settings and the switches, fed by the
// screen, written back at every message start and every pause, and closed
// with the exit code before the banner comes back.
#pragma once

#include "console/message_log.h"
#include "control/run.h"

namespace qv {

// Starts the log when LOG_EXIST is on and writes the run's first line.
void open_run_log(Run& run);

// Writes what the log holds back, and reports on the screen, once, a log
// that cannot be written (at the next place where a message may stand).
void write_run_log(Run& run);

// The line being written reports a transfer (it stays in a Short log).
void mark_transfer_line(Run& run);

// The line being written is ordinary text, whatever its colours.
void mark_info_line(Run& run);

// Writes the run's last line with the exit code and ends the log.
void close_run_log(Run& run, int exit_code);

// Keeps window output out of the log while it lives.
class QuietLog {
 public:
  explicit QuietLog(Run& run);
  ~QuietLog();
  QuietLog(const QuietLog&) = delete;
  QuietLog& operator=(const QuietLog&) = delete;

 private:
  Run& run_;
  bool was_quiet_;
};

}  // namespace qv
