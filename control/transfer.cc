#include "control/transfer.h"

#include <memory>
#include <string>
#include <vector>

#include "console/messages.h"
#include "console/run_log.h"
#include "console/status.h"
#include "control/guards.h"
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
// Names a file in flight may take before the engine gives up.
constexpr int kPartialNameTries = 100;

char* copy_buffer() {
  static std::vector<char> buffer(static_cast<std::size_t>(kCopyBufferSize));
  return buffer.data();
}

// Everything one transfer works with.
struct Transfer {
  Text source;
  Text name;     // the source's file name
  Text dir;      // the target directory; grows under the CREATE_DIR policy
  Text target;   // dir joined with name
  Text partial;  // the name the target is written under until it is complete
  bool move = false;
  bool source_known = false;  // the source's attributes were read
  uint32_t source_attributes = 0;
  FileInfo source_info;      // of the open source
  std::unique_ptr<File> in;  // the source, held exclusively; null when it could not be taken
  bool replacing = false;    // an old target is replaced (OVERWRITE_FILE)
  uint32_t old_target_attributes = 0;
  int64_t size = 0;  // bytes copied
};

enum class Settled { kReady, kGiveUp, kCannotCreate };

// --- reports ---

void report_already_exists(Run& run, const Transfer& t) {
  run.msg.set(1, tr(run, "File ", "Файл "_oem));
  run.msg.set(2, tr(run, " already exist", " уже cуществует"_oem));
  start_message_line(run);
  run.screen.write(run.msg.line[1].view());
  run.screen.write(t.target.view());
  run.screen.write(run.msg.line[2].view());
}

void report_cannot_delete(Run& run, const Transfer& t) {
  run.msg.set(1, tr(run, "Can not delete file :", "Не могу удалить файл :"_oem));
  set_colour(run, kRed);
  start_message_line(run);
  run.screen.write(run.msg.line[1].view());
  run.screen.write(' ');
  run.screen.write(t.target.view());
  run.screen.write(" !!!");
  pause_after_report(run);
}

void report_removed(Run& run, const Transfer& t) {
  run.msg.set(1, tr(run, "File", "Файл"_oem));
  run.msg.set(2, tr(run, "is successfully removed", "успешно удален"_oem));
  set_colour(run, kRed);
  start_message_line(run);
  run.screen.write(run.msg.line[1].view());
  run.screen.write(' ');
  run.screen.write(t.target.view());
  run.screen.write(' ');
  run.screen.write(run.msg.line[2].view());
  run.screen.write("!!!");
  pause_after_report(run);
}

void report_cannot_create(Run& run, const Transfer& t) {
  run.msg.set(1, tr(run, "Can not create file :", "Не могу создать файл :"_oem));
  set_colour(run, kRed);
  start_message_line(run);
  run.screen.write(run.msg.line[1].view());
  run.screen.write(' ');
  set_colour(run, kYellow);
  run.screen.write(t.target.view());
  set_colour(run, kRed);
  run.screen.write(" !!!");
  pause_after_report(run);
}

// " O=> " for a move, " *=> " for a copy.
void report_done(Run& run, const Transfer& t) {
  run.msg.set(1, t.move ? " O=> " : " *=> ");
  run.msg.set(2, tr(run, " bytes.", " байт."_oem));
  start_message_line(run);
  run.screen.write(t.source.view());
  run.screen.write(run.msg.line[1].view());
  run.screen.write(t.dir.view());
  run.screen.write(' ');
  run.screen.write_number(t.size);
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

// --- the source ---

// Remembers the source's attributes, clears them to archive only and takes
// the source exclusively. A failure leaves t.in null and is acted on later.
void take_source(Run& run, Transfer& t) {
  FileSystem& fs = run.os.fs;
  FileInfo info;
  if (fs.stat(t.source, info) != Error::kNone) return;
  t.source_known = true;
  t.source_attributes = info.attributes;
  fs.set_attributes(t.source, kAttrArchive);
  Error err = Error::kNone;
  t.in = fs.open_exclusive(t.source, err);
  if (t.in && t.in->info(t.source_info) != Error::kNone) t.source_info = info;
}

// Closes the source and gives the source (and an old target about to be
// replaced) back the attributes they had.
void release_source(Run& run, Transfer& t) {
  if (t.in) t.in->close();
  t.in.reset();
  if (t.source_known) run.os.fs.set_attributes(t.source, t.source_attributes);
  if (t.replacing) run.os.fs.set_attributes(t.target, t.old_target_attributes);
}

// Removes the file in flight, whatever attributes it has been given already.
void drop_partial(Run& run, Transfer& t) {
  if (t.partial.empty()) return;
  run.os.fs.set_attributes(t.partial, kAttrArchive);
  run.os.fs.remove(t.partial);
  t.partial.clear();
}

// --- the target ---

// The CREATE_DIR setting ends with a separator from its first use on.
const Text& create_dir_step(Run& run) {
  Text& step = run.settings.create_dir;
  if (step.empty() || !is_separator(step.back())) step += '\\';
  return step;
}

// Makes ready to replace an existing target: never the source itself, and
// only when its attributes can be cleared (else it could not be removed).
Settled prepare_replacement(Run& run, Transfer& t) {
  if (!t.in) return Settled::kCannotCreate;  // an untaken source never costs the old target
  FileInfo old_info;
  if (run.os.fs.stat(t.target, old_info) != Error::kNone) return Settled::kCannotCreate;
  if (old_info.device == t.source_info.device && old_info.index == t.source_info.index) {
    return Settled::kCannotCreate;  // one file under two names
  }
  if (run.os.fs.set_attributes(t.target, kAttrArchive) != Error::kNone) {
    release_source(run, t);
    report_cannot_delete(run, t);
    return Settled::kGiveUp;
  }
  t.replacing = true;
  t.old_target_attributes = old_info.attributes;
  return Settled::kReady;
}

// Settles the target directory and name: creates missing directories and
// applies the existing-target policy.
Settled settle_target(Run& run, Transfer& t) {
  for (;;) {
    if (!directory_exists(run, t.dir)) create_directory_path(run, t.dir);
    if (!directory_exists(run, t.dir)) return Settled::kGiveUp;
    // A name cut at the length limit would be another file: never write it.
    if (t.dir.size() + t.name.size() > Text::kMax) return Settled::kCannotCreate;
    t.target = t.dir + t.name.view();
    if (!file_exists(run, t.target)) return Settled::kReady;
    report_already_exists(run, t);
    if (run.settings.if_file_exist == IfFileExist::kOverwriteFile) {
      return prepare_replacement(run, t);
    }
    const Text& step = create_dir_step(run);
    if (t.dir.size() + step.size() > Text::kMax) return Settled::kCannotCreate;
    t.dir += step;
  }
}

// --- the copy ---

// Creates the file in flight in the target directory. A leftover of an
// earlier crash under one name never blocks: the next name is tried.
std::unique_ptr<File> create_partial(Run& run, Transfer& t) {
  for (int k = 0; k < kPartialNameTries; ++k) {
    Text name = t.dir + kPartialPrefix;
    name += std::to_string(k) + "~";
    name += t.name;
    Error err = Error::kNone;
    std::unique_ptr<File> out = run.os.fs.create_new(name, err);
    if (out) {
      t.partial = name;
      return out;
    }
    if (err != Error::kExists) return nullptr;
  }
  return nullptr;
}

// One piece of the copy: inside the system where the platform can, else
// through the buffer. Returns the bytes copied, 0 at the end of the source,
// -1 after a read error or a short write.
int64_t copy_piece(Transfer& t, File& out, bool& in_system) {
  if (in_system) {
    int64_t n = t.in->copy_to(out, kSystemCopyPiece);
    if (n != File::kNoSystemCopy) return n;
    in_system = false;
  }
  char* buffer = copy_buffer();
  int64_t n = t.in->read(buffer, kCopyBufferSize);
  if (n <= 0) return n;
  return out.write(buffer, n) == n ? n : -1;
}

// Copies until the source yields 0 bytes; false on a read error or a short write.
bool copy_bytes(Transfer& t, File& out) {
  bool in_system = true;
  for (;;) {
    int64_t n = copy_piece(t, out, in_system);
    if (n < 0) return false;
    if (n == 0) return true;
    t.size += n;
  }
}

// The copy is whole only when the source did not change while it was read.
bool source_unchanged(Transfer& t) {
  FileInfo now;
  if (t.in->info(now) != Error::kNone) return true;
  return static_cast<int64_t>(now.size) == t.size && now.size == t.source_info.size &&
         now.mtime_ns == t.source_info.mtime_ns;
}

// Writes the whole source under the partial name, flushed to the disk.
bool write_partial(Run& run, Transfer& t) {
  std::unique_ptr<File> out = create_partial(run, t);
  if (!out) return false;
  bool whole = copy_bytes(t, *out) && source_unchanged(t);
  whole = out->flush() == Error::kNone && whole;
  whole = out->close() == Error::kNone && whole;
  return whole;
}

// Carries the time stamp and the source's own attributes over to the copy;
// the source gets its attributes back on the way.
void carry_over_stamp(Run& run, Transfer& t) {
  FileSystem& fs = run.os.fs;
  t.in->close();
  t.in.reset();
  fs.set_mtime(t.partial, t.source_info.mtime_ns);
  fs.set_attributes(t.source, t.source_attributes);
  if (fs.copy_attributes(t.source, t.partial) != Error::kNone) {
    fs.set_attributes(t.partial, t.source_attributes);
  }
}

// Gives up after the target was settled: nothing stays behind but the source.
void give_up_copy(Run& run, Transfer& t) {
  drop_partial(run, t);
  release_source(run, t);
  report_cannot_create(run, t);
}

// Renames the complete file into place, replacing an old target atomically.
bool put_in_place(Run& run, Transfer& t) {
  if (run.os.fs.rename(t.partial, t.target, t.replacing) != Error::kNone) {
    drop_partial(run, t);
    release_source(run, t);
    if (t.replacing) {
      report_cannot_delete(run, t);
    } else {
      report_cannot_create(run, t);
    }
    return false;
  }
  t.partial.clear();
  if (t.replacing) report_removed(run, t);
  return true;
}

// A move deletes its source only now that the target is complete and in place;
// a source that cannot be deleted keeps its attributes and is found again.
void finish(Run& run, Transfer& t) {
  if (!t.move) {
    report_done(run, t);
    return;
  }
  run.state.byte_count += t.size;
  report_done(run, t);
  FileSystem& fs = run.os.fs;
  fs.set_attributes(t.source, kAttrArchive);
  if (fs.remove(t.source) != Error::kNone) fs.set_attributes(t.source, t.source_attributes);
}

}  // namespace

Text transfer_file(Run& run, const Text& source, const Text& target_dir,
                   std::string_view operation) {
  Transfer t;
  t.source = source;
  t.name = file_name_of(source.view());
  t.dir = add_backslash(target_dir);
  t.move = operation == "Move";
  if (!check_file_size(run, source) && t.move) {
    take_back_found_file(run);
    return {};
  }
  pause_ms(run, run.settings.delay_copy);
  take_source(run, t);
  if (!check_target_drive(run, t.dir)) {
    release_source(run, t);
    return {};
  }
  Settled settled = settle_target(run, t);
  if (settled == Settled::kGiveUp) {
    release_source(run, t);
    return {};
  }
  if (settled == Settled::kCannotCreate || !t.in || !write_partial(run, t)) {
    give_up_copy(run, t);
    return {};
  }
  carry_over_stamp(run, t);
  if (!put_in_place(run, t)) return {};
  finish(run, t);
  run.state.transfer_done = true;
  return t.dir;
}

}  // namespace qv
