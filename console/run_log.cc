#include "console/run_log.h"

#include <string>

#include "console/messages.h"
#include "platform/cp866.h"
#include "script/text_utils.h"

namespace qv {

namespace {

LogDetail detail_of(const Text& log_type) {
  return upper_case(log_type).view() == "SHORT" ? LogDetail::kShort : LogDetail::kFull;
}

// A report stands where messages stand: not while an external program owns
// the console, nor while a panel or a counter is being drawn.
bool may_report_now(Run& run) {
  return run.screen.transcript_on() && run.drawing.clock_drawing.load();
}

// The red report of a log that cannot be written; it leaves the colour as
// it found it, since it may come right before another message's text.
void report_log_failure(Run& run) {
  const uint8_t attribute = run.screen.attribute();
  QuietLog quiet(run);
  run.msg.set(1, tr(run, "Can not write the log file ", "Не могу записать файл протокола "_oem));
  set_colour(run, kRed);
  run.screen.begin_message();
  run.screen.write(run.msg.line[1]);
  run.screen.write(run.log.path());
  run.screen.text_colour(attribute & 0x0F);
  run.screen.text_background(static_cast<uint8_t>(attribute >> 4));
}

}  // namespace

void open_run_log(Run& run) {
  if (!run.settings.log_exist) return;
  run.log.start(run.settings.log_name, detail_of(run.settings.log_type));
  run.log.write_now(tr(run, "Start of the run", "Начало работы"_oem), LogLineKind::kRun);
  write_run_log(run);
}

void write_run_log(Run& run) {
  if (!run.log.active()) return;
  run.log.write_pending();
  if (!run.log.failure_news() || !may_report_now(run)) return;
  run.log.failure_reported();
  report_log_failure(run);
}

void mark_transfer_line(Run& run) {
  run.log.mark(LogLineKind::kTransfer);
}

void mark_info_line(Run& run) {
  run.log.mark(LogLineKind::kInfo);
}

void close_run_log(Run& run, int exit_code) {
  if (!run.log.active()) return;
  run.log.write_pending();
  std::string line(tr(run, "End of the run, exit code ", "Конец работы, код выхода "_oem));
  line += std::to_string(exit_code);
  run.log.write_now(line, LogLineKind::kRun);
  run.log.stop();
}

QuietLog::QuietLog(Run& run) : run_(run), was_quiet_(run.log.quiet()) {
  run_.log.set_quiet(true);
}

QuietLog::~QuietLog() {
  run_.log.set_quiet(was_quiet_);
}

}  // namespace qv
