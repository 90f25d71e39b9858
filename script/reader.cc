// The task-script reader: finds Quorvane.Qvr beside the executable, keeps it
// open for the run, hands out statement lines and reopens it at each rewind.
#include "script/reader.h"

#include "platform/cp866.h"
#include "platform/dir_search.h"
#include "script/line_reader.h"
#include "script/text_utils.h"
#include "settings/loader.h"

namespace qv {

ScriptState::ScriptState() = default;
ScriptState::~ScriptState() = default;

namespace {

constexpr std::string_view kScriptName = "Quorvane.Qvr";
// Ordinary files only: read-only, hidden, system, volume label, archive.
constexpr uint32_t kScriptSearchMask = 0x2F;
// Exit code of a run whose task script cannot be found or opened.
constexpr int kMissingScriptCode = 6;

// The script path: the program directory and the fixed name.
Text script_path_of(const Run& run, const Text& dir) {
  return join_path(dir, kScriptName, native_separator(run));
}

// True when the search finds the script as an ordinary file.
bool script_exists(Run& run, const Text& path) {
  DirSearch search(run.os.fs, path, kScriptSearchMask);
  bool found = search.found();
  search.close();
  return found;
}

// The raw line with its comment removed and its edge blanks trimmed.
Text statement_of(const Text& raw) {
  return trim_set(kWordDelimiters, 2, strip_comment(raw));
}

// Opens the script at its path; false when it cannot be opened.
bool open_script(Run& run) {
  Error err = Error::kNone;
  run.script.file = LineReader::open(run.os.fs, run.script.path, err, run.os.env.utf8_text_files());
  return run.script.file != nullptr;
}

}  // namespace

Ending locate_script(Run& run) {
  run.script.path = script_path_of(run, run.program_dir);
  run.script.line_number = 0;
  // A script that is found but cannot be opened is reported as missing too:
  // the run has nothing to interpret either way.
  if (script_exists(run, run.script.path) && open_script(run)) return std::nullopt;
  report_missing_file(run, tr(run, "for interpretation", "для интерпретации"_oem), run.script.path);
  return kMissingScriptCode;
}

bool script_at_end(Run& run) {
  ScriptState& s = run.script;
  if (s.file == nullptr) return true;
  if (!s.file->at_end()) return false;
  if (s.file->failed() && !s.read_failed) {
    s.read_failed = true;
    report_read_error(run, s.path);
  }
  return true;
}

void read_statement_line(Run& run) {
  ScriptState& s = run.script;
  s.raw_line.clear();
  while (!script_at_end(run) && statement_of(s.raw_line).empty()) {
    ++s.line_number;
    s.file->next(s.raw_line);
  }
  s.statement_line = statement_of(s.raw_line);
}

void rewind_script(Run& run) {
  run.script.file.reset();
  run.script.line_number = 0;
  run.script.raw_line.clear();
  run.script.statement_line.clear();
  // A script that cannot be reopened reads as an empty one until the next
  // rewind finds it again.
  open_script(run);
}

}  // namespace qv
