#include "control/covering_note.h"

#include <vector>

#include "control/transfer.h"
#include "platform/dir_search.h"
#include "script/line_reader.h"
#include "script/text_utils.h"

namespace qv {

namespace {

// The input directory of the data file just dispatched ("" when none).
Text current_input_dir(const Run& run) {
  int p = run.state.current_input;
  if (p < 1 || p > static_cast<int>(run.state.expanded_inputs.size())) return {};
  return run.state.expanded_inputs[static_cast<std::size_t>(p - 1)];
}

// The name of the data file the main search stands on ("" when none).
Text current_data_file(const Run& run) {
  const DirSearch* search = run.state.current_search.get();
  if (search == nullptr || !search->found()) return {};
  return search->entry().name;
}

bool contains(std::string_view haystack, std::string_view needle) {
  return haystack.find(needle) != std::string_view::npos;
}

}  // namespace

void send_covering_notes(Run& run) {
  Text dir = current_input_dir(run);
  if (current_data_file(run).empty()) return;
  DirSearch notes(run.os.fs, dir + run.settings.mask_sopr.view(), run.settings.file_attr);
  for (; notes.found(); notes.next()) {
    Text note = notes.entry().name;
    if (note_mentions_file(run, note)) dispatch_covering_note(run, note);
  }
  notes.close();
}

bool note_mentions_file(Run& run, const Text& note_name) {
  Text wanted = upper_case(current_data_file(run));
  if (wanted.empty()) return false;
  Error err = Error::kNone;
  // A note that cannot be read (held elsewhere, vanished) names nothing.
  std::unique_ptr<LineReader> reader =
      LineReader::open(run.os.fs, current_input_dir(run) + note_name.view(), err);
  if (!reader) return false;
  Text line;
  while (reader->next(line)) {
    if (contains(upper_case(line).view(), wanted.view())) return true;
  }
  return false;
}

void dispatch_covering_note(Run& run, const Text& note_name) {
  Text source = current_input_dir(run) + note_name.view();
  const std::vector<Text>& targets = run.state.done_targets;
  if (targets.empty()) return;
  // The note goes only where its data file went: copied wherever the data
  // file was copied, and moved only when the data file was moved.
  for (std::size_t i = 0; i + 1 < targets.size(); ++i) {
    if (!targets[i].empty()) transfer_file(run, source, targets[i], "Copy");
  }
  if (!targets.back().empty()) transfer_file(run, source, targets.back(), "Move");
}

}  // namespace qv
