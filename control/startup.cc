// The main body of the program: the order in which a run is prepared, handed
// to the main cycle and taken down again.
#include "control/startup.h"

#include "console/banner.h"
#include "console/clock_threads.h"
#include "console/run_log.h"
#include "console/messages.h"
#include "console/status.h"
#include "control/main_cycle.h"
#include "platform/cp866.h"
#include "script/reader.h"
#include "script/text_utils.h"
#include "settings/command_line.h"
#include "settings/loader.h"
#include "settings/macros.h"
#include "settings/settings_table.h"

namespace qv {

namespace {

constexpr int64_t kPauseBeforeScreen = 2700;  // ms, to read the start-up messages
constexpr int64_t kPauseAfterFarewell = 900;  // ms, to read the farewell line
constexpr int kExitOwnFiles = 6;              // the program's own files cannot be read

// The settings file and the task script lie beside the executable. Where the
// executable's directory cannot be held whole with their names, a cut path
// would name another directory's files: the run is refused instead.
Ending refuse_overlong_program_dir(Run& run) {
  if (own_file_paths_fit(run)) return std::nullopt;
  run.msg.set(1, tr(run, "The path of the program is longer than 255 characters :",
                    "Путь программы длиннее 255 символов :"_oem));
  set_colour(run, kRed);
  start_message_line(run);
  run.screen.write(run.msg.line[1]);
  run.screen.write(' ');
  run.screen.write(run.os.env.executable_path());
  run.screen.write(" !!!");
  pause_after_report(run);
  return kExitOwnFiles;
}

// The last line of every run that reaches the main cycle, then a line break.
void write_farewell(Run& run) {
  run.msg.set(1, tr(run, "Good Luck! Good-By :─) !"_oem, "Удачи! Всего лучшего :─) !"_oem));
  run.screen.write_line(run.msg.line[1]);
  run.screen.present();
}

// The CREATE_DIR level is joined onto target directories over and over: it
// ends with the platform's separator from the start, so that the chain of
// sub-directories never gets another one.
void end_create_dir_with_separator(Run& run) {
  run.settings.create_dir = add_backslash(run, run.settings.create_dir);
}

}  // namespace

void initialise_modules(Run& run) {
  store_startup_dirs(run);
  set_defaults(run.settings);
  run.drawing.elapsed.store(0);
  run.drawing.clock_drawing.store(true);
  run.drawing.title_drawing.store(true);
  settings_path(run);
  run.script.inputs.clear();
  run.script.outputs.clear();
  run.state.exit_code = 0;
}

Ending start_up(Run& run) {
  draw_banner(run);
  const bool has_arguments = !run.os.env.arguments().empty();
  if (has_arguments) {
    if (Ending e = help_switches(run)) return e;
  }
  if (Ending e = refuse_overlong_program_dir(run)) return e;
  if (Ending e = load_settings(run, run.settings_path)) return e;
  macro_refresh(run);
  end_create_dir_with_separator(run);
  if (!has_arguments) help_hint(run);
  if (Ending e = other_switches(run)) return e;
  open_run_log(run);
  if (run.start_pause) pause_ms(run, kPauseBeforeScreen);
  return locate_script(run);
}

void shut_down(Run& run) {
  stop_clock_thread(run);
  stop_title_thread(run);
  draw_banner(run);
  write_farewell(run);
  pause_ms(run, kPauseAfterFarewell);
}

Ending begin_run(Run& run) {
  if (Ending early = start_up(run)) {
    close_run_log(run, *early);
    run.screen.present();
    return early;
  }
  start_clock_thread(run);
  start_title_thread(run);
  draw_status_screen(run);
  return std::nullopt;
}

int run_program(Platform& platform) {
  Run run(platform);
  initialise_modules(run);
  if (Ending early = begin_run(run)) return *early;
  run_main_cycle(run);
  close_run_log(run, run.state.exit_code);
  shut_down(run);
  return run.state.exit_code;
}

}  // namespace qv
