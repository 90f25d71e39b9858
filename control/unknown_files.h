// Files that no mask picks up. The searches of a script cycle tell which
// entries of an input directory their mask passed over; at the end of the
// cycle those that no mask the directory was searched with matches are
// listed in the unknown-files panel, each once per run. Nothing is listed
// twice, no directory is read an extra time, and memory stays bounded
// however large a directory is.
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/dir_search.h"
#include "platform/text.h"

namespace qv {

struct Run;

class UnknownFiles : public SearchObserver {
 public:
  struct Entry {
    Text name;
    Text dir;
  };

  // The observer to hand to one search of `dir` with `mask`: it keeps the
  // files (no directories) that `attr_mask` admits and the mask passed over.
  // Null once the cycle has seen too many directories to keep another.
  SearchObserver* watch(const Text& dir, const Text& mask, uint32_t attr_mask);
  // Ends the cycle: the files kept that no mask of their directory matches,
  // nor `also_known` when it is not empty, and that were not listed before.
  std::vector<Entry> end_cycle(std::string_view also_known);

  void passed_over(const RawEntry& entry) override;

 private:
  struct DirCycle {
    Text dir;
    std::vector<Text> masks;
    std::vector<Text> names;
  };

  bool known(const DirCycle& d, const Text& name, std::string_view also_known) const;

  std::vector<DirCycle> dirs_;           // this cycle's input directories
  std::unordered_set<uint64_t> kept_;    // this cycle's names, per directory
  std::unordered_set<uint64_t> listed_;  // names listed in this run
  std::size_t kept_count_ = 0;
  int current_ = -1;  // index in dirs_ of the search under way
  uint32_t attr_mask_ = 0;
};

// At the end of a script cycle: writes the cycle's unknown files into the
// unknown-files panel, "name (directory)", in the panel's colour of the cycle.
void list_unknown_files(Run& run);

}  // namespace qv
