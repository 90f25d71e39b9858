// The main body of the program: the order in which a run is prepared, handed
// to the main cycle and taken down again.
#include "control/startup.h"

#include "console/banner.h"
#include "console/clock_threads.h"
#include "console/run_log.h"
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

// The last line of every run that reaches the main cycle, then a line break.
void write_farewell(Run& run) {
  run.msg.set(1, tr(run, "Good Luck! Good-By :─) !"_oem, "Удачи! Всего лучшего :─) !"_oem));
  run.screen.write_line(run.msg.line[1]);
  run.screen.present();
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
  if (Ending e = load_settings(run, run.settings_path)) return e;
  macro_refresh(run);
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
