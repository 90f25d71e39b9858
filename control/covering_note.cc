#include "control/covering_note.h"

#include <vector>

#include "control/transfer.h"
#include "platform/dir_search.h"
#include "script/line_reader.h"
#include "script/text_utils.h"

namespace qv {

namespace {

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
  Dir* dir = run.state.input.dir.get();
  if (dir == nullptr || current_data_file(run).empty()) return;
  for (DirSearch notes(*dir, run.settings.mask_sopr, run.settings.file_attr); notes.found();
       notes.next()) {
    const RawEntry note = notes.entry();
    if (note_mentions_file(run, note.name)) dispatch_covering_note(run, note);
  }
}

bool note_mentions_file(Run& run, const Text& note_name) {
  Text wanted = upper_case(current_data_file(run));
  Dir* dir = run.state.input.dir.get();
  if (wanted.empty() || dir == nullptr) return false;
  Error err = Error::kNone;
  std::unique_ptr<LineReader> reader = LineReader::open(*dir, note_name, err);
  if (!reader) return false;
  Text line;
  while (reader->next(line)) {
    if (contains(upper_case(line).view(), wanted.view())) return true;
  }
  return false;
}

void dispatch_covering_note(Run& run, const RawEntry& note) {
  std::vector<Destination> to;
  for (const DoneTarget& target : run.state.done_targets) {
    if (!target.dir) return;  // the data file did not get everywhere
    to.push_back(Destination{target.shown, target.dir});
  }
  std::vector<DoneTarget> done;
  send_file(run, note, to, done);
}

}  // namespace qv
