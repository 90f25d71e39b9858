#include "control/transfer.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "console/messages.h"
#include "console/run_log.h"
#include "console/status.h"
#include "control/guards.h"
#include "control/hold.h"
#include "platform/cp866.h"
#include "platform/dir_search.h"
#include "script/text_utils.h"
#include "settings/loader.h"

namespace qv {

namespace {

// One buffer for every copy of the run, sized for throughput.
constexpr int64_t kCopyBufferSize = int64_t{1} << 20;
// Largest piece handed to a copy inside the system at once.
constexpr int64_t kSystemCopyPiece = int64_t{64} << 20;

char* copy_buffer() {
  static std::vector<char> buffer(static_cast<std::size_t>(kCopyBufferSize));
  return buffer.data();
}

// --- reports ---

void report_already_exists(Run& run, const Text& target) {
  run.msg.set(1, tr(run, "File ", "Файл "_oem));
  run.msg.set(2, tr(run, " already exist", " уже cуществует"_oem));
  start_message_line(run);
  run.screen.write(run.msg.line[1].view());
  run.screen.write(target.view());
  run.screen.write(run.msg.line[2].view());
}

void report_cannot_delete(Run& run, const Text& path) {
  run.msg.set(1, tr(run, "Can not delete file :", "Не могу удалить файл :"_oem));
  set_colour(run, kRed);
  start_message_line(run);
  run.screen.write(run.msg.line[1].view());
  run.screen.write(' ');
  run.screen.write(path.view());
  run.screen.write(" !!!");
  pause_after_report(run);
}

void report_removed(Run& run, const Text& target) {
  run.msg.set(1, tr(run, "File", "Файл"_oem));
  run.msg.set(2, tr(run, "is successfully removed", "успешно удален"_oem));
  set_colour(run, kRed);
  start_message_line(run);
  run.screen.write(run.msg.line[1].view());
  run.screen.write(' ');
  run.screen.write(target.view());
  run.screen.write(' ');
  run.screen.write(run.msg.line[2].view());
  run.screen.write("!!!");
  pause_after_report(run);
}

// Red, the path set off in yellow, red again; then the pause.
void report_with_path(Run& run, std::string_view english, std::string_view russian,
                      const Text& path) {
  run.msg.set(1, tr(run, english, russian));
  set_colour(run, kRed);
  start_message_line(run);
  run.screen.write(run.msg.line[1].view());
  run.screen.write(' ');
  set_colour(run, kYellow);
  run.screen.write(path.view());
  set_colour(run, kRed);
  run.screen.write(" !!!");
  pause_after_report(run);
}

void report_cannot_create(Run& run, const Text& target) {
  report_with_path(run, "Can not create file :", "Не могу создать файл :"_oem, target);
}

void report_cannot_take(Run& run, const Text& source) {
  report_with_path(run, "Can not take file :", "Не могу взять файл :"_oem, source);
}

// " O=> " for a move, " *=> " for a copy.
void report_done(Run& run, const Text& source, const Text& dir, int64_t size, bool move) {
  run.msg.set(1, move ? " O=> " : " *=> ");
  run.msg.set(2, tr(run, " bytes.", " байт."_oem));
  start_message_line(run);
  run.screen.write(source.view());
  run.screen.write(run.msg.line[1].view());
  run.screen.write(dir.view());
  run.screen.write(' ');
  run.screen.write_number(size);
  run.screen.write(run.msg.line[2].view());
  mark_transfer_line(run);
}

// A move refused by the size limit no longer counts as found.
void take_back_found_file(Run& run) {
  run.state.found_files -= 1;
  save_done_cursor(run);
  show_found_files(run, run.state.found_files);
  select_done_panel(run);
}

// --- the copy ---

// One piece of the copy: inside the system where the platform can, else
// through the buffer. Returns the bytes copied, 0 at the end of the source,
// -1 after a read error or a short write.
int64_t copy_piece(File& from, File& to, bool& in_system) {
  if (in_system) {
    int64_t n = from.copy_to(to, kSystemCopyPiece);
    if (n != File::kNoSystemCopy) return n;
    in_system = false;
  }
  char* buffer = copy_buffer();
  int64_t n = from.read(buffer, kCopyBufferSize);
  if (n <= 0) return n;
  return to.write(buffer, n) == n ? n : -1;
}

// Copies from the start of `from` to its end; the byte count, or -1.
int64_t copy_bytes(File& from, File& to) {
  if (from.rewind() != Error::kNone) return -1;
  bool in_system = true;
  int64_t total = 0;
  for (;;) {
    int64_t n = copy_piece(from, to, in_system);
    if (n <= 0) return n < 0 ? -1 : total;
    total += n;
  }
}

// The CREATE_DIR setting ends with a separator from its first use on.
const Text& create_dir_step(Run& run) {
  Text& step = run.settings.create_dir;
  if (step.empty() || !is_separator(step.back())) step += native_separator(run);
  return step;
}

// One output of a dispatch.
struct Output {
  std::string shown;           // the final directory, for reports
  std::shared_ptr<Dir> named;  // the directory its path names
  std::shared_ptr<Dir> dir;    // the final directory itself
  FileInfo id;                 // its device and index
  bool move = false;           // the last output: the file is moved there
  bool replace = false;        // an old file of the same name is replaced
  std::unique_ptr<File> copy;  // the copy in flight, then published
  bool published = false;
};

// A step that one landing takes once for a directory (device, index) or a
// whole file system (device alone), and how it went.
struct DoneOnce {
  uint64_t device, index;
  Error result;
};
using DoneOnceList = std::vector<DoneOnce>;
// Copies in flight on each file system (device, count).
using CopyCounts = std::vector<std::pair<uint64_t, int>>;

// True when `out` shares its file system with other copies of the landing,
// so that one commit can serve them all (a commit of the whole file system
// also writes what other programs left there: not worth it for one copy).
bool shares_commit(const Output& out, const CopyCounts& counts) {
  return std::any_of(counts.begin(), counts.end(),
                     [&](const auto& c) { return c.first == out.id.device && c.second > 1; });
}

constexpr uint64_t kWholeFileSystem = ~uint64_t{0};

// The result of `act` for (device, index), acted on the first time only.
template <typename Act>
Error once(DoneOnceList& done, uint64_t device, uint64_t index, Act act) {
  for (const DoneOnce& d : done) {
    if (d.device == device && d.index == index) return d.result;
  }
  const Error err = act();
  done.push_back(DoneOnce{device, index, err});
  return err;
}

}  // namespace

// One file of a batch: taken, written into every output that needs a copy,
// then landed with the others.
class Dispatch {
 public:
  Dispatch(Run& run, const RawEntry& file)
      : run_(run), in_(run.state.input), name_(file.name), info_(file.info) {}
  bool prepare_all(const std::vector<Destination>& to);
  void start_flush();
  bool flush_copies(const CopyCounts& counts);
  void count_copies(CopyCounts& counts) const;
  bool commit_copies(DoneOnceList& committed, const CopyCounts& counts);
  bool publish_copies();
  bool sync_dirs(DoneOnceList& synced);
  bool move_source();
  void finish(std::vector<DoneTarget>& done);
  void give_up();
  int handles() const;
  int64_t bytes_written() const;
  // The directory the path of output `i` named (after a prepare_all() that
  // succeeded).
  std::shared_ptr<Dir> named_dir(std::size_t i) const { return outs_[i].named; }

 private:
  bool prepare(const Destination& to, bool move);
  bool take();
  bool refuse_take(Error err, bool stuck);
  bool open_target(Output& out, const Destination& to);
  bool settle(Output& out);
  bool enter_chain(Output& out);
  void clean_leftovers(Output& out);
  bool crosses_device(Output& out);
  bool name_pending(const Output& out) const;
  bool copy_into(Output& out);
  bool write_copy(File& copy);
  bool land_alone();
  bool publish(Output& out);
  bool rename_into(Output& out);
  bool remove_source();
  bool still_held();
  void put_back();
  int64_t size() const { return static_cast<int64_t>(info_.size); }
  Text source() const { return fit_path(in_.path, name_.view()); }
  Text target(const Output& out) const { return fit_path(out.shown, name_.view()); }

  Run& run_;
  InputInHand& in_;
  Text name_;
  FileInfo info_;  // of the entry found, then of the source taken
  std::unique_ptr<File> src_;
  bool moved_ = false;  // the source was renamed into the last output
  std::vector<Output> outs_;
};

namespace {

// Keeps in `group` the dispatches whose `step` succeeds and gives up the
// others.
template <typename Step>
void keep_if(std::vector<Dispatch*>& group, Step step) {
  std::vector<Dispatch*> kept;
  for (Dispatch* d : group) {
    if (step(*d)) {
      kept.push_back(d);
    } else {
      d->give_up();
    }
  }
  group = std::move(kept);
}

// The copies in flight of `group` landed: the writeback of every copy
// started, then the data of each on the disk, then one commit of each file
// system, then all named, then each directory that gained a name synced
// once. Each step for all copies before the next, so that one file-system
// commit serves them all, and no name ever shows a copy that is not on the
// disk. A dispatch whose step fails is given up and left out.
void land_copies(std::vector<Dispatch*>& group) {
  for (Dispatch* d : group) d->start_flush();
  CopyCounts counts;
  for (Dispatch* d : group) d->count_copies(counts);
  keep_if(group, [&](Dispatch& d) { return d.flush_copies(counts); });
  DoneOnceList committed, synced;
  keep_if(group, [&](Dispatch& d) { return d.commit_copies(committed, counts); });
  keep_if(group, [](Dispatch& d) { return d.publish_copies(); });
  keep_if(group, [&](Dispatch& d) { return d.sync_dirs(synced); });
}

}  // namespace

bool Dispatch::prepare_all(const std::vector<Destination>& to) {
  if (to.empty() || !in_.dir) return false;
  for (std::size_t i = 0; i < to.size(); ++i) {
    if (!prepare(to[i], i + 1 == to.size())) {
      give_up();
      return false;
    }
  }
  return true;
}

// Takes the source on the first output, settles the target directory and
// name, and writes the copy; a move on the source's own file system waits
// for the commit.
bool Dispatch::prepare(const Destination& to, bool move) {
  if (!check_file_size(run_, source(), size()) && move) {
    take_back_found_file(run_);
    return false;
  }
  pause_ms(run_, run_.settings.delay_copy);
  if (!src_ && !take()) return false;
  if (!check_target_drive(run_, fit_path(to.path))) return false;
  outs_.emplace_back();
  Output& out = outs_.back();
  out.move = move;
  if (!open_target(out, to) || !settle(out)) return false;
  clean_leftovers(out);
  return (move && !crosses_device(out)) || copy_into(out);
}

// Opens the source exclusively and moves it into the hold directory: of two
// takers only one gets it. From here on the source is reached only through
// its handle.
bool Dispatch::take() {
  Error err = Error::kNone;
  src_ = in_.dir->open_source(name_, err);
  if (!src_ && err == Error::kNone) err = Error::kIo;
  if (src_ && src_->info(info_) != Error::kNone) err = Error::kIo;
  const bool opened = err == Error::kNone;
  Dir* hold = opened ? hold_dir(in_, err) : nullptr;
  if (hold) err = src_->move_to(*hold, name_, false);
  if (err != Error::kNone) {
    src_.reset();
    // Opened but not allowed out of its directory: a source that cannot be
    // deleted, whatever else would be done with it.
    return refuse_take(err, opened && err == Error::kAccessDenied);
  }
  run_.state.refusals.forget(in_.identity, name_);
  return true;
}

// Another taker got the file first, or another file took its name: nothing
// to say, the next turn looks again. Any other refusal is reported once for
// as long as the file stays as it is; `stuck`: the file may not leave its
// directory, so it is reported as a source that cannot be deleted.
bool Dispatch::refuse_take(Error err, bool stuck) {
  if (err == Error::kNotFound || err == Error::kChanged) return false;
  if (run_.state.refusals.first_time(in_.identity, name_, info_, Refusal::kTake)) {
    if (stuck) {
      report_cannot_delete(run_, source());
    } else {
      report_cannot_take(run_, source());
    }
  }
  return false;
}

bool Dispatch::open_target(Output& out, const Destination& to) {
  out.shown = to.path;
  out.named = to.dir;
  if (!out.named) {  // not opened yet, by the caller or an earlier file of the batch
    const Text path = fit_path(to.path);
    if (!directory_exists(run_, path)) {
      out.named = create_directory_path(run_, path);
    } else {
      Error err = Error::kNone;
      out.named = run_.os.fs.open_dir(path, err);
      if (!out.named) report_cannot_create(run_, target(out));
    }
  }
  out.dir = out.named;
  return out.dir != nullptr;
}

// Applies the existing-target policy: down the CREATE_DIR chain to a level
// without the name, or replacing the old file. The input directory counts as
// holding the name: the source is never its own target.
bool Dispatch::settle(Output& out) {
  for (;;) {
    FileInfo there;
    const bool source_dir = out.dir->info(out.id) == Error::kNone && out.id.same_file(in_.identity);
    if (!source_dir && !name_pending(out) && !file_exists(*out.dir, name_, there)) return true;
    report_already_exists(run_, target(out));
    if (run_.settings.if_file_exist == IfFileExist::kOverwriteFile) {
      if (source_dir || there.same_file(info_)) {
        report_cannot_create(run_, target(out));
        return false;
      }
      out.replace = true;
      return true;
    }
    if (!enter_chain(out)) return false;
  }
}

bool Dispatch::enter_chain(Output& out) {
  const Text& step = create_dir_step(run_);
  bool made = false;
  Error err = Error::kNone;
  std::unique_ptr<Dir> level = enter_levels(*out.dir, step.view(), true, made, err);
  out.shown += step.view();
  if (!level || made) report_directory_made(run_, out.shown, level != nullptr);
  if (!level) return false;
  out.dir = std::move(level);
  return true;
}

// Files in flight that crashed runs left go before the first write of the run.
void Dispatch::clean_leftovers(Output& out) {
  if (run_.state.cleaned_outputs.insert({out.id.device, out.id.index}).second) {
    out.dir->remove_leftovers();
  }
}

// True when an earlier output of this dispatch is to give the name to its
// copy in the same directory (copies are named only at the commit).
bool Dispatch::name_pending(const Output& out) const {
  for (const Output& earlier : outs_) {
    if (&earlier == &out) break;
    if (earlier.copy && earlier.id.same_file(out.id)) return true;
  }
  return false;
}

bool Dispatch::crosses_device(Output& out) {
  return out.id.device != info_.device;
}

// Writes the whole source into a file in flight; it is flushed and named at
// the commit.
bool Dispatch::copy_into(Output& out) {
  Error err = Error::kNone;
  out.copy = out.dir->create_temp(err);
  const bool whole = out.copy && write_copy(*out.copy);
  if (whole && !src_->held()) {
    report_cannot_take(run_, source());  // written to while it was read
    return false;
  }
  if (!whole) report_cannot_create(run_, target(out));
  return whole;
}

// The bytes, the attributes and the time stamp.
bool Dispatch::write_copy(File& copy) {
  return copy_bytes(*src_, copy) == size() && copy.set_attributes(info_) == Error::kNone &&
         copy.set_mtime(info_.mtime_ns) == Error::kNone;
}

void Dispatch::start_flush() {
  for (Output& out : outs_) {
    if (out.copy && !out.published) out.copy->start_flush();
  }
}

// Each copy's data on the disk; a copy that shares no commit flushed whole.
bool Dispatch::flush_copies(const CopyCounts& counts) {
  for (Output& out : outs_) {
    if (!out.copy || out.published) continue;
    File& copy = *out.copy;
    if ((shares_commit(out, counts) ? copy.flush_data() : copy.flush()) == Error::kNone) continue;
    report_cannot_create(run_, target(out));
    return false;
  }
  return true;
}

void Dispatch::count_copies(CopyCounts& counts) const {
  for (const Output& out : outs_) {
    if (!out.copy || out.published) continue;
    auto at = std::find_if(counts.begin(), counts.end(),
                           [&](const auto& c) { return c.first == out.id.device; });
    if (at == counts.end()) {
      counts.emplace_back(out.id.device, 1);
    } else {
      ++at->second;
    }
  }
}

// One commit of each file system that holds several copies of the landing,
// shared through `committed`; where it fails, each copy is flushed whole.
bool Dispatch::commit_copies(DoneOnceList& committed, const CopyCounts& counts) {
  for (Output& out : outs_) {
    if (!out.copy || out.published || !shares_commit(out, counts)) continue;
    File& copy = *out.copy;
    const Error err =
        once(committed, out.id.device, kWholeFileSystem, [&] { return copy.flush_file_system(); });
    if (err == Error::kNone || copy.flush() == Error::kNone) continue;
    report_cannot_create(run_, target(out));
    return false;
  }
  return true;
}

bool Dispatch::publish_copies() {
  for (Output& out : outs_) {
    if (out.copy && !out.published && !publish(out)) return false;
  }
  return true;
}

bool Dispatch::publish(Output& out) {
  if (out.dir->publish(*out.copy, name_, out.replace) != Error::kNone) {
    if (out.replace) {
      report_cannot_delete(run_, target(out));
    } else {
      report_cannot_create(run_, target(out));
    }
    return false;
  }
  out.published = true;
  if (out.replace) report_removed(run_, target(out));
  return true;
}

// Every directory that gained a name by a copy, synced once for all the
// dispatches that share `synced`.
bool Dispatch::sync_dirs(DoneOnceList& synced) {
  for (Output& out : outs_) {
    if (!out.published) continue;
    Dir& dir = *out.dir;
    if (once(synced, out.id.device, out.id.index, [&] { return dir.sync(); }) == Error::kNone) {
      continue;
    }
    report_cannot_create(run_, target(out));
    return false;
  }
  return true;
}

// The last output: the source renamed into it, or removed once its copy there
// is in place.
bool Dispatch::move_source() {
  Output& last = outs_.back();
  if (!last.copy) return rename_into(last);
  return remove_source();
}

// This dispatch's own copies landed, outside a batch.
bool Dispatch::land_alone() {
  std::vector<Dispatch*> group{this};
  land_copies(group);
  return !group.empty();
}

// The move on one file system: a rename of the file taken.
bool Dispatch::rename_into(Output& out) {
  if (!still_held()) return false;
  Error err = src_->move_to(*out.dir, name_, out.replace);
  if (err == Error::kCrossDevice) {
    // A boundary the device numbers did not show: copied after all.
    return copy_into(out) && land_alone() && remove_source();
  }
  if (err != Error::kNone) {
    if (out.replace) {
      report_cannot_delete(run_, target(out));
    } else {
      report_cannot_create(run_, target(out));
    }
    return false;
  }
  moved_ = true;
  if (!still_held()) return false;
  if (out.replace) report_removed(run_, target(out));
  return true;
}

bool Dispatch::remove_source() {
  if (!still_held()) return false;
  if (src_->remove() == Error::kNone) return true;
  report_cannot_delete(run_, source());
  return false;
}

// False, with the report, when another program opened or changed the source
// since it was taken.
bool Dispatch::still_held() {
  if (src_->held()) return true;
  report_cannot_take(run_, source());
  return false;
}

// The reports of a delivered file, in output order, and the counters.
void Dispatch::finish(std::vector<DoneTarget>& done) {
  for (Output& out : outs_) {
    report_done(run_, source(), fit_path(out.shown), size(), out.move);
    done.push_back(DoneTarget{out.shown, out.dir});
    if (out.copy) out.copy->close();
  }
  src_->close();
  run_.state.byte_count += size();
  run_.state.transfer_done = true;
}

// Takes back every copy this dispatch made (one that replaced an old file
// stays: it is whole, and the old one is gone by policy) and puts the source
// back under its own name.
void Dispatch::give_up() {
  for (Output& out : outs_) {
    if (!out.copy) continue;
    if (!(out.published && out.replace)) out.copy->remove();
    out.copy->close();
  }
  outs_.clear();
  put_back();
}

// The source and every output's directory and copy.
int Dispatch::handles() const {
  int n = src_ ? 1 : 0;
  for (const Output& out : outs_) n += 1 + (out.copy ? 1 : 0);
  return n;
}

int64_t Dispatch::bytes_written() const {
  int64_t n = 0;
  for (const Output& out : outs_) n += out.copy ? size() : 0;
  return n;
}

// A source that cannot go back (its name was taken meanwhile) waits in the
// hold directory, where the recovery finds it once the name is free.
void Dispatch::put_back() {
  if (!src_) return;
  if (src_->move_to(*in_.dir, name_, false) != Error::kNone && moved_ && in_.hold) {
    src_->move_to(*in_.hold, name_, false);
  }
  src_->close();
  src_.reset();
}

Batch::Batch(Run& run) : run_(run) {}

Batch::~Batch() {
  for (auto& d : files_) d->give_up();
}

bool Batch::add(const RawEntry& file, const std::vector<Destination>& to) {
  std::vector<Destination> at = to;
  for (Destination& d : at) {
    if (d.dir) continue;
    for (const Destination& opened : opened_) {
      if (opened.path == d.path) d.dir = opened.dir;
    }
  }
  auto d = std::make_unique<Dispatch>(run_, file);
  if (!d->prepare_all(at)) return false;
  for (std::size_t i = 0; i < at.size(); ++i) {
    if (!at[i].dir) opened_.push_back(Destination{at[i].path, d->named_dir(i)});
  }
  if (files_.empty()) started_ms_ = run_.os.clock.monotonic_ms();
  files_.push_back(std::move(d));
  return true;
}

bool Batch::full() const {
  int handles = 0;
  int64_t bytes = 0;
  for (const auto& d : files_) {
    handles += d->handles();
    bytes += d->bytes_written();
  }
  return handles >= kBatchHandles || bytes >= kBatchBytes ||
         (!files_.empty() && run_.os.clock.monotonic_ms() - started_ms_ >= kBatchMs);
}

void Batch::land(const std::function<void(std::vector<DoneTarget>&)>& delivered) {
  std::vector<Dispatch*> group;
  for (auto& d : files_) group.push_back(d.get());
  land_copies(group);
  for (Dispatch* d : group) {
    if (!d->move_source()) {
      d->give_up();
      continue;
    }
    std::vector<DoneTarget> done;
    d->finish(done);
    delivered(done);
  }
  files_.clear();
  opened_.clear();
}

bool send_file(Run& run, const RawEntry& file, const std::vector<Destination>& to,
               std::vector<DoneTarget>& done) {
  done.clear();
  Batch batch(run);
  if (!batch.add(file, to)) return false;
  batch.land([&](std::vector<DoneTarget>& where) { done = std::move(where); });
  return !done.empty();
}

std::unique_ptr<Dir> enter_levels(Dir& from, std::string_view step, bool make, bool& made,
                                  Error& err) {
  made = false;
  err = Error::kBadName;  // a step without a level
  std::unique_ptr<Dir> dir;
  std::size_t start = 0;
  while (start < step.size()) {
    std::size_t end = start;
    while (end < step.size() && !is_separator(step[end])) ++end;
    const Text name(step.substr(start, end - start));
    start = end + 1;
    if (name.empty() || name.view() == ".") continue;
    if (name.view() == "..") return nullptr;
    Dir& at = dir ? *dir : from;
    std::unique_ptr<Dir> next = at.open_dir(name, err);
    if (!next && make && err == Error::kNotFound) {
      err = at.make_dir(name);
      made = made || err == Error::kNone;
      if (err == Error::kNone || err == Error::kExists) next = at.open_dir(name, err);
    }
    if (!next) return nullptr;
    dir = std::move(next);
  }
  if (!dir) err = Error::kBadName;
  return dir;
}

}  // namespace qv
