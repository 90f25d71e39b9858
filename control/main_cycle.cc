// The main cycle: each turn asks the interpreter for a block, tests the exit
// conditions and sends every file found in the block's input directories to
// its output directories.
#include "control/main_cycle.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/messages.h"
#include "console/status.h"
#include "control/covering_note.h"
#include "control/guards.h"
#include "control/hold.h"
#include "control/transfer.h"
#include "control/young_files.h"
#include "platform/cp866.h"
#include "script/interpreter.h"
#include "script/text_utils.h"
#include "settings/macros.h"

namespace qv {

namespace {

constexpr int64_t kReportPause = 3000;  // ms after an error report
constexpr int kExitUnreadableScript = 6;

// The file the current search stands on, in its input directory (for reports).
Text current_source(const Run& run) {
  return fit_path(run.state.input.path, run.state.current_search->entry().name.view());
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

// Directory D of the sub-directory policy below `dir`: the first level of the
// chain COPY\COPY\... that holds no file named `name`; null when that level
// does not exist yet. `shown` grows by the levels entered.
std::unique_ptr<Dir> free_chain_level(Run& run, Dir& dir, const Text& name, std::string& shown) {
  const Text& step = run.settings.create_dir;
  const std::string step_shown = add_backslash(run, step).str();
  bool made = false;
  Error err = Error::kNone;
  std::unique_ptr<Dir> level = enter_levels(dir, step.view(), false, made, err);
  shown += step_shown;
  FileInfo there;
  while (level && file_exists(*level, name, there)) {
    level = enter_levels(*level, step.view(), false, made, err);
    shown += step_shown;
  }
  return level;
}

// The output-directory size guard for one expanded output directory; `checked`
// is the directory it was run on.
bool output_has_room(Run& run, const Text& dir_path, const RawEntry& file, Text& checked) {
  checked = dir_path;
  if (run.settings.max_output_dir_size == 0) return true;
  const int64_t allowance = run.settings.max_output_dir_size - static_cast<int64_t>(file.info.size);
  Error err = Error::kNone;
  std::unique_ptr<Dir> dir = run.os.fs.open_dir(dir_path, err);
  FileInfo there;
  if (!dir || !file_exists(*dir, file.name, there))
    return output_dir_size_allowed(run, dir.get(), allowance);
  if (run.settings.if_file_exist == IfFileExist::kCreateDir) {
    std::string shown = dir_path.str();
    std::unique_ptr<Dir> level = free_chain_level(run, *dir, file.name, shown);
    checked = fit_path(shown);
    return !level || output_dir_size_allowed(run, level.get(), allowance);
  }
  return output_dir_size_allowed(run, dir.get(), allowance + static_cast<int64_t>(there.size));
}

// A refusal of the current file: reported the first time only, for as long
// as the file stays as it is.
template <typename Report>
bool refuse(Run& run, Refusal why, Report report) {
  RunState& st = run.state;
  const RawEntry& file = st.current_search->entry();
  if (st.refusals.first_time(st.input.identity, file.name, file.info, why)) report();
  return false;
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

// Opens the directory of expanded input entry `p` (with the directory part
// of the search mask, if it has one) as the input directory in hand.
bool open_input(Run& run, int p) {
  InputInHand& in = run.state.input;
  in = InputInHand{};
  const Text dir = run.state.expanded_inputs[p - 1] + directory_of(run.script.mask.view()).view();
  in.path = dir.str();
  Error err = Error::kNone;
  in.dir = run.os.fs.open_dir(dir.empty() ? Text(".") : dir, err);
  if (in.dir && in.dir->info(in.identity) == Error::kNone) return true;
  in = InputInHand{};
  return false;
}

// Names in flight in the input directory: those the search passed over, or,
// when it looked up one exact name, those of a listing of its own.
std::vector<Text> names_in_flight(Run& run, const Text& mask) {
  if (mask.view().find_first_of("*?") != std::string_view::npos)
    return run.state.current_search->in_flight();
  DirSearch all(*run.state.input.dir, "*", 0);
  while (all.found()) all.next();
  return all.in_flight();
}

// Delivers the files of `batch`; the covering notes of each follow it at once.
void land_batch(Run& run, Batch& batch) {
  run.before_message = nullptr;
  batch.land([&](std::vector<DoneTarget>& done) {
    show_bytes(run);
    if (!run.settings.analis_sopr) return;
    run.state.done_targets = std::move(done);
    send_covering_notes(run);
    run.state.done_targets.clear();
  });
}

// Adds the file the search stands on to `batch` and advances the search. The
// batch lands at once when covering notes are read (they are found by the
// search standing on their data file) or an output-directory size limit is
// set (the guard must see every file sent before it judges the next).
void dispatch_file(Run& run, Batch& batch) {
  RunState& st = run.state;
  std::vector<Destination> to;
  for (const Text& output : st.expanded_outputs) to.push_back(Destination{output.str(), nullptr});
  if (batch.add(st.current_search->entry(), to)) {
    run.before_message = [&run, &batch] { land_batch(run, batch); };
  }
  if (run.settings.analis_sopr || run.settings.max_output_dir_size != 0 || batch.full()) {
    land_batch(run, batch);
  }
  st.current_search->next();
}

// Searches expanded input entry `p` with the block's mask and sends on every
// file that passes the candidate check, until a key or a stop request; then
// puts back what crashed takers left there.
void search_input_directory(Run& run, int p) {
  RunState& st = run.state;
  st.current_input = p;
  if (!open_input(run, p)) return;
  const Text mask = file_name_of(run.script.mask.view());
  st.current_search = std::make_unique<DirSearch>(
      *st.input.dir, mask, run.settings.file_attr,
      run.unknown.watch(st.expanded_inputs[p - 1], run.script.mask, run.settings.file_attr));
  Batch batch(run);
  while (st.current_search->found() && !key_or_stop(run)) {
    if (!check_candidate(run)) {
      st.current_search->next();
      continue;
    }
    ++st.found_files;
    show_found(run);
    dispatch_file(run, batch);
  }
  land_batch(run, batch);
  const std::vector<Text> in_flight = names_in_flight(run, mask);
  st.current_search.reset();
  release_hold_dir(st.input);
  recover_taken_files(st.input, in_flight);
  st.input = InputInHand{};
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
  const RawEntry& file = st.current_search->entry();
  if (still_arriving(run, file.info)) return false;
  const int64_t size = static_cast<int64_t>(file.info.size);
  if (!file_size_allowed(run, size)) {
    return refuse(run, Refusal::kFileSize,
                  [&] { report_file_size(run, current_source(run), size); });
  }
  st.expanded_outputs.clear();
  for (const Text& output : run.script.outputs) {
    st.expanded_outputs.push_back(add_backslash(run, expand_macros(run, output)));
    Text checked;
    if (!output_has_room(run, st.expanded_outputs.back(), file, checked)) {
      return refuse(run, Refusal::kOutputDirSize, [&] {
        report_output_dir_size(run, checked);
        report_processing_error(run);
      });
    }
  }
  return true;
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
