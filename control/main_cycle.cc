// The main cycle: each turn asks the interpreter for a block, tests the exit
// conditions and sends every file found in the block's input directories to
// its output directories.
#include "control/main_cycle.h"

#include <optional>

#include "console/messages.h"
#include "console/status.h"
#include "control/covering_note.h"
#include "control/guards.h"
#include "control/transfer.h"
#include "platform/cp866.h"
#include "script/interpreter.h"
#include "script/text_utils.h"
#include "settings/macros.h"

namespace qv {

namespace {

constexpr int64_t kReportPause = 3000;  // ms after an error report
constexpr int kExitUnreadableScript = 6;

// The file the current search stands on, in its expanded input directory.
Text current_source(const Run& run) {
  const RunState& st = run.state;
  return st.expanded_inputs[st.current_input - 1] + st.current_search->entry().name.view();
}

// Red message, then the limit and a full stop when there is one.
void write_exit_message(Run& run, std::string_view english, std::string_view russian,
                        std::optional<int64_t> limit) {
  run.msg.set(1, tr(run, english, russian));
  set_colour(run, kRed);
  start_message_line(run);
  run.screen.write(run.msg.line[1]);
  if (limit) {
    run.screen.write_number(*limit);
    run.screen.write('.');
  }
  set_colour(run, kLightGrey);
  run.screen.present();
}

bool cycle_limit_reached(Run& run) {
  const int64_t limit = run.settings.valid_cycle_full_run;
  if (limit == 0 || run.script.cycle <= limit) return false;
  write_exit_message(run, "Exit by amount cycles of perfomance files configuration "_oem,
                     "Выход по количеству циклов выполнения файлов конфигурации "_oem, limit);
  run.state.exit_code = run.settings.code_return_cycle;
  return true;
}

// A read error in the task script ends the run as a script that cannot be
// opened does; the reader has reported it.
bool script_unreadable(Run& run) {
  if (!run.script.read_failed) return false;
  run.state.exit_code = kExitUnreadableScript;
  return true;
}

bool time_limit_reached(Run& run) {
  const int64_t limit = run.settings.number_time_work;
  if (limit == 0 || run.drawing.elapsed.load() < limit) return false;
  write_exit_message(run, "Exit on time work of the program without bat-file "_oem,
                     "Выход по времени работы программы без бат-файла "_oem, limit);
  run.state.exit_code = run.settings.code_return_time;
  return true;
}

void show_block_sizes(Run& run) {
  save_done_cursor(run);
  show_dir_counts(run, static_cast<int32_t>(run.script.inputs.size()),
                  static_cast<int32_t>(run.script.outputs.size()));
  select_done_panel(run);
}

// Directory D of the sub-directory policy: the first level of the chain
// `dir`COPY\COPY\... that holds no file named `name`. Stops when the path
// cannot grow any more (an empty sub-directory name, or the length limit).
Text free_chain_directory(Run& run, const Text& dir, const Text& name) {
  Text d = add_backslash(run, dir + run.settings.create_dir.view());
  while (file_exists(run, d + name.view())) {
    Text deeper = add_backslash(run, d + run.settings.create_dir.view());
    if (deeper == d) break;
    d = deeper;
  }
  return d;
}

// The output-directory size guard for one expanded output directory.
bool output_has_room(Run& run, const Text& dir, const Text& name, int64_t size) {
  const int64_t allowance = run.settings.max_output_dir_size - size;
  const Text target = dir + name.view();
  if (!file_exists(run, target)) return check_output_dir_size(run, dir, allowance);
  if (run.settings.if_file_exist == IfFileExist::kCreateDir) {
    const Text d = free_chain_directory(run, dir, name);
    return !directory_exists(run, d) || check_output_dir_size(run, d, allowance);
  }
  return check_output_dir_size(run, dir, allowance + file_size(run, target));
}

void show_found(Run& run) {
  save_done_cursor(run);
  show_found_files(run, run.state.found_files);
  select_done_panel(run);
}

void show_bytes(Run& run) {
  save_done_cursor(run);
  show_byte_count(run, run.state.byte_count);
  select_done_panel(run);
}

// Searches expanded input entry `p` with the block's mask and sends on every
// file that passes the candidate check, until a key or a stop request.
void search_input_directory(Run& run, int p) {
  RunState& st = run.state;
  st.current_input = p;
  const Text pattern = st.expanded_inputs[p - 1] + run.script.mask.view();
  st.current_search = std::make_unique<DirSearch>(run.os.fs, pattern, run.settings.file_attr);
  while (st.current_search->found() && !key_or_stop(run)) {
    if (!check_candidate(run)) {
      st.current_search->next();
      continue;
    }
    ++st.found_files;
    show_found(run);
    dispatch_file(run);
    show_bytes(run);
  }
  st.current_search->close();
  st.current_search.reset();
}

void carry_out_block(Run& run) {
  RunState& st = run.state;
  st.expanded_inputs.clear();
  const int count = static_cast<int>(run.script.inputs.size());
  for (int p = 1; p <= count; ++p) {
    st.expanded_inputs.push_back(add_backslash(run, expand_macros(run, run.script.inputs[p - 1])));
    search_input_directory(run, p);
  }
}

// A block is carried out only when it has an output directory and the step
// handed it over as a block (not cut short by a faulty script line).
bool block_to_carry_out(const Run& run) {
  return !run.script.outputs.empty() && run.script.block_ready;
}

}  // namespace

bool key_or_stop(Run& run) {
  return run.os.console.key_waiting() || run.os.process.stop_requested();
}

void run_main_cycle(Run& run) {
  for (;;) {
    pause_ms(run, run.settings.delay_interpr);
    interpretation_step(run);
    show_block_sizes(run);
    if (script_unreadable(run) || cycle_limit_reached(run) || time_limit_reached(run)) return;
    if (block_to_carry_out(run)) carry_out_block(run);
    if (key_or_stop(run)) {
      write_exit_message(run, "Exit on pressing a key."_oem, "Выход по нажатию клавиши."_oem,
                         std::nullopt);
      return;
    }
  }
}

bool check_candidate(Run& run) {
  RunState& st = run.state;
  const Text name = st.current_search->entry().name;
  const Text source = current_source(run);
  if (!check_file_size(run, source)) return false;
  st.expanded_outputs.clear();
  const int64_t size = file_size(run, source);
  for (const Text& output : run.script.outputs) {
    st.expanded_outputs.push_back(add_backslash(run, expand_macros(run, output)));
    if (!output_has_room(run, st.expanded_outputs.back(), name, size)) {
      report_processing_error(run);
      return false;
    }
  }
  return true;
}

void dispatch_file(Run& run) {
  RunState& st = run.state;
  const Text source = current_source(run);
  const std::size_t n = st.expanded_outputs.size();
  for (std::size_t i = 0; i + 1 < n; ++i)
    st.done_targets.push_back(transfer_file(run, source, st.expanded_outputs[i], "Copy"));
  if (n > 0)
    st.done_targets.push_back(transfer_file(run, source, st.expanded_outputs[n - 1], "Move"));
  if (run.settings.analis_sopr) send_covering_notes(run);
  st.current_search->next();
  st.done_targets.clear();
}

void report_processing_error(Run& run) {
  run.msg.set(1, tr(run, "at processing a file", "при обработке файла"_oem));
  set_colour(run, kRed);
  start_message_line(run);
  run.screen.write(run.msg.line[1]);
  run.screen.write(' ');
  run.screen.write(current_source(run));
  set_colour(run, kLightGrey);
  run.screen.present();
  pause_ms(run, kReportPause);
}

}  // namespace qv
