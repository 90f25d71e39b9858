// The run: one record of all run-wide state, passed by reference to every
// operation, so that a test can hold two runs side by side.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "console/drawing_state.h"
#include "console/message_log.h"
#include "console/screen.h"
#include "control/refusals.h"
#include "control/unknown_files.h"
#include "platform/dir_search.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "script/script_state.h"
#include "settings/clock_fields.h"
#include "settings/settings.h"

namespace qv {

// A directory that received the file of a dispatch.
struct DoneTarget {
  std::string shown;         // its path for reports, ending with a separator
  std::shared_ptr<Dir> dir;  // the directory itself, as the file went into it
};

// The input directory a search stands in.
struct InputInHand {
  std::unique_ptr<Dir> dir;
  FileInfo identity;          // device and index of `dir`
  std::string path;           // as searched, ending with a separator (for reports)
  std::unique_ptr<Dir> hold;  // where this search's taken files wait; made on first use
  Text hold_name;
};

// Counters, flags and lists of the main cycle and the transfer engine.
struct RunState {
  int32_t exit_code = 0;
  int64_t found_files = 0;
  int64_t byte_count = 0;
  bool transfer_done = false;
  std::vector<Text> expanded_inputs;
  std::vector<Text> expanded_outputs;
  std::vector<DoneTarget> done_targets;
  int current_input = 0;  // 1-based position in expanded_inputs
  InputInHand input;      // declared before the search that lists it
  std::unique_ptr<DirSearch> current_search;
  RefusalMemory refusals;
  // Output directories (device, index) whose leftovers were removed this run.
  std::set<std::pair<uint64_t, uint64_t>> cleaned_outputs;
};

// The five shared message lines (at most 80 characters each); index 1..5.
struct MessageLines {
  Text line[6];
  void set(int n, std::string_view s) {
    line[n].assign(s.substr(0, s.size() < 80 ? s.size() : 80));
  }
};

struct Run {
  explicit Run(Platform& platform)
      : os(platform), log(platform.log, platform.clock), screen(platform.console) {
    screen.set_listener(&log);
  }
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  Platform& os;
  MessageLog log;  // hears the screen, so it outlives it
  Screen screen;
  Settings settings;
  MessageLines msg;
  ClockFields clock;
  DrawingState drawing;
  PanelCursors panels;
  ScriptState script;
  RunState state;
  UnknownFiles unknown;  // files no mask of the cycle picked up
  Text program_dir;      // directory of the executable, no trailing separator
  Text start_dir;        // current directory at start
  Text settings_path;    // program_dir + "\Quorvane.cfg"
  // Runs once before the next message (then is cleared): the main cycle
  // delivers the files its batch holds, so that their reports come first.
  std::function<void()> before_message;
  // The pause that lets a person read the start-up messages; a bench driver,
  // which times the main cycle only, turns it off.
  bool start_pause = true;
};

// The text of the chosen language.
inline std::string_view tr(const Run& run, std::string_view english, std::string_view russian) {
  return run.settings.lang == 1 ? russian : english;
}

// Writes what the log holds back (console/run_log.h).
void write_run_log(Run& run);

// A pause of the run (virtual on the fake clock). What was written before it
// is complete, so the log gets it first.
inline void pause_ms(Run& run, int64_t ms) {
  write_run_log(run);
  if (ms > 0) run.os.clock.sleep_ms(ms);
}

// What a step that may end the run returns: the exit code when it ends it.
using Ending = std::optional<int>;

}  // namespace qv
