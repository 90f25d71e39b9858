// The external program of the end of a script cycle: found (optionally) on
// PATH, run through the command interpreter on the system's own console while
// the status screen is saved, followed by a countdown, then the screen is put
// back as it was.
#include "script/external.h"

#include "console/messages.h"
#include "console/run_log.h"
#include "console/status.h"
#include "platform/cp866.h"
#include "script/text_utils.h"
#include "settings/loader.h"

namespace qv {

namespace {

// True when the name is an existing file (not a directory).
bool file_exists(Run& run, const Text& name) {
  FileInfo info;
  if (run.os.fs.stat(name, info) != Error::kNone) return false;
  return (info.attributes & kAttrDirectory) == 0;
}

// Tries the name inside one PATH entry; fills full_name when it is there.
bool found_in_entry(Run& run, std::string_view entry, const Text& name, Text& full_name) {
  if (entry.empty()) return false;
  // A joined name longer than a text can hold would be cut into another name.
  if (entry.size() + 1 + name.size() > Text::kMax) return false;
  Text candidate = join_path(Text(entry), name.view(), native_separator(run));
  if (!file_exists(run, candidate)) return false;
  full_name = candidate;
  return true;
}

// A red report naming the program: its text, the program, " !!!".
void report_program(Run& run, std::string_view english, std::string_view russian) {
  run.msg.set(1, tr(run, english, russian));
  start_message_line(run);
  set_colour(run, kRed);
  run.screen.write(run.msg.line[1]);
  run.screen.write(' ');
  run.screen.write(run.settings.name_batnik);
  run.screen.write(" !!!");
  pause_after_report(run);
}

// The not-found message; nothing is started.
void report_not_found(Run& run) {
  report_program(run, "Сan't find a file for run :"_oem, "Не могу найти файл для запуска :"_oem);
}

// The first lines of the handed-over console: what is being run.
void announce_program(Run& run) {
  run.screen.full_window();
  run.screen.clear_window();
  run.screen.goto_xy(1, 1);
  set_colour(run, kRed);
  run.screen.write(tr(run, "Run ", "Запускаю "_oem));
  set_colour(run, kWhite);
  run.screen.write(run.settings.name_batnik);
  mark_info_line(run);
  run.screen.present();
  pause_ms(run, 1000);
  run.screen.new_line();
  run.screen.goto_xy(1, 2);
  run.screen.present();
}

// The program could not be started at all; the countdown still follows.
void report_cannot_start(Run& run) {
  report_program(run, "Can't start a file for run :", "Не могу запустить файл :"_oem);
}

// Runs the command through the interpreter with the terminal handed over.
// Only a program that could not be started is reported; its own exit code
// is not looked at.
void run_program(Run& run) {
  run.os.console.suspend();
  const bool started = run.os.process.run_command(run.settings.name_batnik);
  run.os.console.resume();
  if (!started) report_cannot_start(run);
}

// One line of the countdown on the bottom row, written over in place.
void show_countdown(Run& run, int64_t seconds) {
  run.screen.goto_xy(1, kScreenRows);
  set_colour(run, kRed);
  run.screen.write(tr(run, "---> Through ", "---> Через "_oem));
  set_colour(run, kWhite);
  run.screen.write_number(seconds);
  set_colour(run, kRed);
  run.screen.write(
      tr(run, " sec. restore the screen:)))!!! < ---", " сек. восстановлю экран:)))!!! <---"_oem));
  run.screen.present();
}

// The countdown before the status screen comes back. It is rewritten in
// place, so it stays out of the log, and its transcript line ends with it.
void count_down(Run& run) {
  QuietLog quiet(run);
  int64_t delay = run.settings.delay_bat < 0 ? 0 : run.settings.delay_bat;
  set_colour(run, kRed);
  pause_ms(run, delay % 1000);
  for (int64_t n = delay / 1000; n >= 0; --n) {
    show_countdown(run, n);
    pause_ms(run, n > 0 ? 1000 : delay % 1000);
  }
  run.screen.end_transcript_line();
}

}  // namespace

bool find_in_path(Run& run, const Text& command, Text& full_name) {
  full_name.clear();
  if (file_exists(run, command)) {
    full_name = command;
    return true;
  }
  std::optional<std::string> path = run.os.env.get("PATH");
  if (!path) return false;
  std::string_view rest = *path;
  char separator = run.os.env.path_list_separator();
  while (!rest.empty()) {
    std::size_t end = rest.find(separator);
    std::string_view entry = rest.substr(0, end);
    if (found_in_entry(run, entry, command, full_name)) return true;
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
  }
  return false;
}

void start_external_program(Run& run) {
  CellGrid saved;
  run.screen.save_cells(saved);
  run.drawing.clock_drawing = false;
  run.drawing.title_drawing = false;
  announce_program(run);
  run_program(run);
  count_down(run);
  run.screen.restore_cells(saved);
  run.screen.present();
  run.drawing.clock_drawing = true;
  run.drawing.title_drawing = true;
}

void end_of_cycle_run(Run& run) {
  const Settings& s = run.settings;
  if (!s.run_batnik) return;
  if (s.use_smart_run && !run.state.transfer_done) return;
  Text full_name;
  if (s.valid_exist_bat && !find_in_path(run, s.name_batnik, full_name)) {
    report_not_found(run);
    return;
  }
  save_done_cursor(run);
  start_external_program(run);
  select_done_panel(run);
  run.state.transfer_done = false;
}

}  // namespace qv
