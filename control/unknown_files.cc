#include "control/unknown_files.h"

#include "console/status.h"
#include "control/run.h"

namespace qv {

namespace {

// Bounds of what one cycle keeps and of what a run remembers as listed.
constexpr std::size_t kMaxDirs = 256;
constexpr std::size_t kMaxKeptNames = 512;
constexpr std::size_t kMaxListed = 65536;

// FNV-1a of a directory and a name, told apart by a byte no name holds.
uint64_t key_of(std::string_view dir, std::string_view name) {
  uint64_t h = 14695981039346656037ull;
  auto mix = [&h](std::string_view s) {
    for (char c : s) {
      h ^= static_cast<uint8_t>(c);
      h *= 1099511628211ull;
    }
  };
  mix(dir);
  mix(std::string_view("\0", 1));
  mix(name);
  return h;
}

}  // namespace

SearchObserver* UnknownFiles::watch(const Text& dir, const Text& mask, uint32_t attr_mask) {
  attr_mask_ = attr_mask;
  current_ = -1;
  for (std::size_t i = 0; i < dirs_.size(); ++i) {
    if (dirs_[i].dir == dir) current_ = static_cast<int>(i);
  }
  if (current_ < 0) {
    if (dirs_.size() >= kMaxDirs) return nullptr;
    dirs_.push_back(DirCycle{dir, {}, {}});
    current_ = static_cast<int>(dirs_.size() - 1);
  }
  std::vector<Text>& masks = dirs_[static_cast<std::size_t>(current_)].masks;
  for (const Text& m : masks) {
    if (m == mask) return this;
  }
  masks.push_back(mask);  // one per mask line of the script at most
  return this;
}

void UnknownFiles::passed_over(const RawEntry& entry) {
  if (current_ < 0 || kept_count_ >= kMaxKeptNames) return;
  if ((entry.info.attributes & kAttrDirectory) != 0) return;
  if (!attributes_admitted(entry.info.attributes, attr_mask_)) return;
  DirCycle& d = dirs_[static_cast<std::size_t>(current_)];
  const uint64_t key = key_of(d.dir.view(), entry.name.view());
  if (listed_.count(key) != 0 || !kept_.insert(key).second) return;
  d.names.push_back(entry.name);
  ++kept_count_;
}

bool UnknownFiles::known(const DirCycle& d, const Text& name, std::string_view also_known) const {
  for (const Text& mask : d.masks) {
    if (wildcard_match(mask.view(), name.view())) return true;
  }
  return !also_known.empty() && wildcard_match(also_known, name.view());
}

std::vector<UnknownFiles::Entry> UnknownFiles::end_cycle(std::string_view also_known) {
  std::vector<Entry> out;
  for (const DirCycle& d : dirs_) {
    for (const Text& name : d.names) {
      if (known(d, name, also_known) || listed_.size() >= kMaxListed) continue;
      listed_.insert(key_of(d.dir.view(), name.view()));
      out.push_back(Entry{name, d.dir});
    }
  }
  dirs_.clear();
  kept_.clear();
  kept_count_ = 0;
  current_ = -1;
  return out;
}

void list_unknown_files(Run& run) {
  const Settings& s = run.settings;
  const std::string_view notes = s.analis_sopr ? s.mask_sopr.view() : std::string_view();
  const std::vector<UnknownFiles::Entry> entries = run.unknown.end_cycle(notes);
  if (entries.empty()) return;
  save_done_cursor(run);
  for (const UnknownFiles::Entry& e : entries) {
    Text line = e.name;
    line.append(" (");
    line += e.dir.view();
    line.append(")");
    add_unknown_entry(run, line.view());
  }
  select_done_panel(run);
}

}  // namespace qv
