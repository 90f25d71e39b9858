// The interpretation step: reads statements up to the next command that can
// be carried out, or to the end of the script, and leaves the block (input
// list, output list, search mask) for the main cycle. The step that finds the
// script at its end closes the script cycle and starts the next one.
#include "script/interpreter.h"

#include <algorithm>

#include "console/status.h"
#include "control/unknown_files.h"
#include "platform/cp866.h"
#include "script/external.h"
#include "script/reader.h"
#include "script/text_utils.h"
#include "settings/loader.h"

namespace qv {

namespace {

enum class Command { kDo, kDoIn, kDoOut, kDoAll, kUnknown };

// What a statement asks of the step.
enum class Next { kRead, kCarryOut, kStop };

// The command named by a word, in any of its three spellings, any case.
Command command_of(const Text& word) {
  struct Spelling {
    std::string_view english, russian, code;
    Command command;
  };
  static constexpr Spelling kSpellings[] = {
      {"DO", "ДЕЛАТЬ"_oem, "**", Command::kDo},
      {"DO-IN", "ДЕЛАТЬ-ВХОДНЫЕ"_oem, "0*", Command::kDoIn},
      {"DO-OUT", "ДЕЛАТЬ-ВЫХОДНЫЕ"_oem, "*0", Command::kDoOut},
      {"DO-ALL", "ДЕЛАТЬ-ВСЕ"_oem, "00", Command::kDoAll},
  };
  Text upper = upper_case(word);
  for (const Spelling& s : kSpellings) {
    if (upper == s.english || upper == s.russian || upper == s.code) return s.command;
  }
  return Command::kUnknown;
}

// True when the updates of the status screen are still wanted: no cycle
// limit, or the cycle under way is within it.
bool within_shown_cycles(const Run& run) {
  int64_t limit = run.settings.valid_cycle_full_run;
  return limit == 0 || run.script.cycle <= limit;
}

// A yellow warning about the current line of the script.
void warn(Run& run, std::string_view message1, std::string_view message2 = {}) {
  const ScriptState& s = run.script;
  report_script_warning(run, s.path, s.raw_line, s.line_number, message1, message2);
}

// Empties what the previous command asked to be emptied.
void apply_clear_flags(Run& run) {
  ScriptState& s = run.script;
  if (s.clear_inputs) s.inputs.clear();
  s.clear_inputs = false;
  run.state.expanded_inputs.clear();
  if (s.clear_outputs) s.outputs.clear();
  s.clear_outputs = false;
  run.state.expanded_outputs.clear();
}

// Lists the finished cycle's unknown files (in the cycle's own colour),
// counts the cycle, runs the external program and rewinds.
void close_script_cycle(Run& run) {
  list_unknown_files(run);
  ++run.script.cycle;
  if (within_shown_cycles(run)) {
    save_done_cursor(run);
    show_cycle_count(run);
    select_done_panel(run);
  }
  end_of_cycle_run(run);
  rewind_script(run);
  run.script.inputs.clear();
  run.script.outputs.clear();
}

// A directory line: an input before the block's mask, an output after it.
void add_directory(Run& run, const Text& word) {
  ScriptState& s = run.script;
  if (word.empty()) return;
  if (s.mask_defined) {
    s.outputs.push_back(word);
  } else if (std::find(s.inputs.begin(), s.inputs.end(), word) == s.inputs.end()) {
    s.inputs.push_back(word);
  }
}

// A mask line: sets the block's mask and writes it into the history panel.
void mask_statement(Run& run, const Text& mask) {
  ScriptState& s = run.script;
  if (s.mask_defined) {
    warn(run,
         tr(run, "Incorrect syntax of a mask!!!", "Маска для поиска уже была определена!!!"_oem),
         tr(run, "The Mask will be redefined!!!", "Маска будет переопределена!!!"_oem));
  }
  s.mask_defined = true;
  s.mask = mask;
  if (!within_shown_cycles(run)) return;
  save_done_cursor(run);
  select_history_panel(run);
  add_history_entry(run, s.mask);
  save_history_cursor(run);
  select_done_panel(run);
}

// Sets the clear flags that the next step applies.
void set_clear_flags(ScriptState& s, Command command) {
  s.clear_inputs = command == Command::kDoIn || command == Command::kDoAll;
  s.clear_outputs = command == Command::kDoOut || command == Command::kDoAll;
}

// A command whose block lacks inputs or outputs: reported, not carried out.
void refuse_command(Run& run, Command command) {
  ScriptState& s = run.script;
  bool no_inputs = s.inputs.empty();
  bool no_outputs = s.outputs.empty();
  if (no_inputs) {
    warn(run, tr(run, "Number of the input catalogues 0!", "Количество входных каталогов 0!"_oem));
    if (command == Command::kDoOut || command == Command::kDoAll) {
      s.outputs.clear();
      run.state.expanded_outputs.clear();
      s.clear_outputs = false;
    }
  }
  if (no_outputs) {
    warn(run,
         tr(run, "Number of the target catalogues 0!", "Количество выходных каталогов 0!"_oem));
    if (command == Command::kDoIn || command == Command::kDoAll) {
      s.inputs.clear();
      run.state.expanded_inputs.clear();
      s.clear_inputs = false;
    }
  }
}

// A command line: carry the block out if it has inputs and outputs.
Next command_statement(Run& run, const Text& word) {
  Command command = command_of(word);
  if (command == Command::kUnknown) {
    warn(run, tr(run, "Unknown command ( 2 word )", "Неизвестая команда ( 2 слово )"_oem));
    return Next::kRead;
  }
  set_clear_flags(run.script, command);
  if (!run.script.inputs.empty() && !run.script.outputs.empty()) return Next::kCarryOut;
  refuse_command(run, command);
  return Next::kRead;
}

// True when the line's first word is the keyword, compared upper-cased.
bool is_keyword(const Text& first_word, std::string_view keyword) {
  return upper_case(first_word) == upper_case(Text(keyword));
}

// Acts on one statement line of `count` words.
Next statement(Run& run, int32_t count) {
  const Text& line = run.script.statement_line;
  bool quote_error = false;
  Text first = extract_word(1, line, kWordDelimiters, quote_error);
  if (count == 1) {
    add_directory(run, first);
    return Next::kRead;
  }
  Text second = extract_word(2, line, kWordDelimiters, quote_error);
  if (is_keyword(first, "Mask:")) {
    mask_statement(run, second);
    return Next::kRead;
  }
  if (count == 2 && is_keyword(first, "Command:")) return command_statement(run, second);
  if (count == 2) {
    warn(run, tr(run, "Unknown 1 word!", "Неизвестное 1 слово!"_oem));
  } else {
    warn(run, tr(run, "Incorrect syntax!", "Неверный синтаксис!"_oem));
  }
  return Next::kRead;
}

// Reads and acts on the next statement line.
Next next_statement(Run& run) {
  read_statement_line(run);
  ScriptState& s = run.script;
  if (s.statement_line.empty()) return Next::kRead;
  bool quote_error = false;
  int32_t count = word_count(s.statement_line, kWordDelimiters, quote_error);
  if (quote_error) {
    report_unbalanced_quote(run, s.path, s.raw_line, s.line_number);
    return Next::kStop;
  }
  if (count >= 4) {
    report_word_count(run, s.path, s.raw_line, s.line_number, count);
    return Next::kStop;
  }
  return statement(run, count);
}

}  // namespace

void interpretation_step(Run& run) {
  apply_clear_flags(run);
  run.script.mask_defined = false;
  run.script.mask.clear();
  if (script_at_end(run) && !run.script.read_failed) close_script_cycle(run);
  while (!script_at_end(run)) {
    Next next = next_statement(run);
    if (next == Next::kCarryOut) break;
    if (next == Next::kStop) {
      // The block gathered so far is incomplete: the main cycle must not
      // carry it out. The lists stay for the steps to come.
      run.script.block_ready = false;
      return;
    }
  }
  run.script.block_ready = !run.script.read_failed;  // never a block cut short by a read error
}

}  // namespace qv
