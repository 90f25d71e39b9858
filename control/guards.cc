#include "control/guards.h"

#include "console/messages.h"
#include "platform/cp866.h"
#include "platform/dir_search.h"
#include "script/text_utils.h"
#include "settings/loader.h"

namespace qv {

namespace {

// Below this many free bytes a drive takes no more files.
constexpr uint64_t kMinFreeSpace = 1'024'000;
// Every file counts, no sub-directory does.
constexpr uint32_t kFileMask =
    kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrVolume | kAttrArchive;
constexpr int64_t kErrorPause = 3000;

// "D:" alone names the drive itself, which always exists.
bool is_bare_drive(std::string_view p) {
  return p.size() == 2 && p[1] == ':';
}

// Writes message line n, the fixed piece a report copied there.
void write_line_piece(Run& run, int n) {
  run.screen.write(run.msg.line[n].view());
}

// The second line of a drive report: "Add. Inf. " and the path.
void write_additional_info(Run& run, const Text& path) {
  run.msg.set(2, tr(run, "Add. Inf. ", "Доп. Инф. "_oem));
  start_message_line(run);
  write_line_piece(run, 2);
  run.screen.write(path.view());
}

void report_incorrect_drive(Run& run, const Text& path) {
  run.msg.set(1, tr(run, "An Incorrect name drive,", "Неверное имя драйва,"_oem));
  set_colour(run, kRed);
  start_message_line(run);
  write_line_piece(run, 1);
  run.screen.write(path.view());
  run.screen.write(": !!!");
  write_additional_info(run, path);
  pause_ms(run, kErrorPause);
  run.screen.new_line();
  set_colour(run, kLightGrey);
}

void report_missing_drive(Run& run, const Text& path) {
  run.msg.set(1, tr(run, "Not Exist drive ", "Несуществующий диск,"_oem));
  set_colour(run, kRed);
  start_message_line(run);
  write_line_piece(run, 1);
  if (!path.empty()) run.screen.write(static_cast<char>(upper_char(path[0])));
  run.screen.write(": !!!");
  write_additional_info(run, path);
  pause_ms(run, kErrorPause);
  set_colour(run, kLightGrey);
}

void report_little_space(Run& run, const Text& path, uint64_t free_bytes) {
  run.msg.set(
      1, tr(run, " There is not enough of place on a disk!!! ", " Мало места на диске !!! "_oem));
  run.msg.set(2, tr(run, " byte.", " байт."_oem));
  set_colour(run, kRed);
  start_message_line(run);
  write_line_piece(run, 1);
  run.screen.write(' ');
  if (!path.empty()) run.screen.write(path[0]);
  run.screen.write(": ");
  run.screen.write_number(static_cast<int64_t>(free_bytes));
  write_line_piece(run, 2);
  set_colour(run, kLightGrey);
}

}  // namespace

bool check_target_drive(Run& run, const Text& path) {
  DriveSpace space = run.os.fs.drive_space(path);
  if (space.status == DriveSpace::kIncorrectName) {
    report_incorrect_drive(run, path);
    return false;
  }
  if (space.status == DriveSpace::kNotExist) {
    report_missing_drive(run, path);
    return false;
  }
  if (space.free < kMinFreeSpace) {
    report_little_space(run, path, space.free);
    return false;
  }
  return true;
}

bool directory_exists(Run& run, const Text& path) {
  Text p = path;
  if (p.size() > 1 && is_separator(p.back())) p.truncate(p.size() - 1);
  if (is_bare_drive(p.view())) return true;
  if (p.empty()) return false;
  // Looked up by its exact name: a name holding '*' or '?' is no mask here.
  FileInfo info;
  if (run.os.fs.stat(p, info) != Error::kNone) return false;
  return (info.attributes & kAttrDirectory) != 0;
}

bool file_exists(Run& run, const Text& path) {
  if (path.empty() || is_partial_name(file_name_of(path.view()).view())) return false;
  FileInfo info;
  if (run.os.fs.stat(path, info) != Error::kNone) return false;
  return attributes_admitted(info.attributes, kFileMask);
}

void create_directory_path(Run& run, const Text& path) {
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (!is_separator(path[i])) continue;
    Text prefix(path.view().substr(0, i));
    // The root and a bare drive are never created; a failure here shows in
    // the final test below.
    if (prefix.empty() || is_bare_drive(prefix.view()) || is_separator(prefix.back())) continue;
    if (!directory_exists(run, prefix)) run.os.fs.make_dir(prefix);
  }
  start_message_line(run);
  if (directory_exists(run, path)) {
    run.msg.set(1, tr(run, "The target catalogue ", "Выходной каталог "_oem));
    run.msg.set(2, tr(run, "Is successfully created", "успешно создан"_oem));
    write_line_piece(run, 1);
    run.screen.write(path.view());
    run.screen.write(' ');
    write_line_piece(run, 2);
    run.screen.write('.');
  } else {
    run.msg.set(1, tr(run, "I can not create ", "Не могу создать "_oem));
    write_line_piece(run, 1);
    run.screen.write(path.view());
  }
}

int64_t file_size(Run& run, const Text& path) {
  // Taken from the metadata, so a file held open elsewhere keeps its true size.
  FileInfo info;
  if (run.os.fs.stat(path, info) != Error::kNone) return 0;
  if ((info.attributes & kAttrDirectory) != 0) return 0;
  return static_cast<int64_t>(info.size);
}

bool check_file_size(Run& run, const Text& path) {
  int64_t limit = run.settings.max_file_size;
  if (limit <= 0) return true;
  int64_t size = file_size(run, path);
  if (size <= limit) return true;
  run.msg.set(1, tr(run, "Restriction of the size of a file", "ограничение размера файла"_oem));
  set_colour(run, kRed);
  start_message_line(run);
  run.screen.write(path.view());
  run.screen.write(' ');
  write_line_piece(run, 1);
  run.screen.write(" (");
  run.screen.write_number(size);
  run.screen.write(" > ");
  run.screen.write_number(limit);
  run.screen.write(")");
  pause_after_report(run);
  return false;
}

bool check_output_dir_size(Run& run, const Text& dir, int64_t allowance) {
  if (run.settings.max_output_dir_size == 0) return true;
  Text base = add_backslash(dir);
  int64_t total = 0;
  bool refused = total > allowance;  // an empty or missing directory counts as 0
  DirSearch search(run.os.fs, base + "*.*", kFileMask);
  for (; !refused && search.found(); search.next()) {
    total += file_size(run, base + search.entry().name.view());
    refused = total > allowance;
  }
  search.close();
  if (!refused) return true;
  run.msg.set(1, tr(run, "Restriction of the size output dir",
                    "Ограничение размера выходного каталога"_oem));
  set_colour(run, kRed);
  start_message_line(run);
  write_line_piece(run, 1);
  run.screen.write(' ');
  run.screen.write(dir.view());
  run.screen.write(' ');
  run.screen.write_number(run.settings.max_output_dir_size);
  set_colour(run, kLightGrey);
  return false;
}

}  // namespace qv
