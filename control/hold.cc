#include "control/hold.h"

namespace qv {

namespace {

bool is_hold_name(const Text& name) {
  return name.view().substr(0, kHoldPrefix.size()) == kHoldPrefix;
}

// The regular files of a directory (read whole before any is renamed).
std::vector<Text> files_in(Dir& dir) {
  std::vector<Text> out;
  Error err = Error::kNone;
  std::unique_ptr<DirReader> reader = dir.list(err);
  RawEntry entry;
  while (reader && reader->next(entry)) {
    if ((entry.info.attributes & kAttrDirectory) == 0) out.push_back(entry.name);
  }
  return out;
}

}  // namespace

Dir* hold_dir(InputInHand& in, Error& err) {
  err = Error::kNone;
  if (!in.hold && in.dir) in.hold = in.dir->make_hold_dir(in.hold_name, err);
  return in.hold.get();
}

void release_hold_dir(InputInHand& in) {
  if (!in.hold) return;
  // Let go first: a held directory cannot be removed everywhere. One that
  // still holds a file that could not be put back stays for the recovery.
  in.hold.reset();
  in.dir->remove_dir(in.hold_name);
}

void recover_taken_files(InputInHand& in, const std::vector<Text>& in_flight) {
  for (const Text& name : in_flight) {
    if (!is_hold_name(name)) continue;
    Error err = Error::kNone;
    std::unique_ptr<Dir> left = in.dir->open_dir(name, err);
    if (!left || !left->hold()) continue;  // not a directory, or its taker is alive
    for (const Text& file : files_in(*left)) left->rename(file, *in.dir, file);
    left.reset();
    in.dir->remove_dir(name);
  }
}

}  // namespace qv
