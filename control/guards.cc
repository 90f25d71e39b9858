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
constexpr std::string_view kCut = "...";
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

Text fit_path(std::string_view dir, std::string_view name) {
  std::string whole = std::string(dir) + std::string(name);
  if (whole.size() <= Text::kMax) return Text(whole);
  return Text(std::string_view(whole).substr(0, Text::kMax - kCut.size())) + kCut;
}

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

bool file_exists(Dir& dir, const Text& name, FileInfo& info) {
  if (name.empty() || is_partial_name(name.view())) return false;
  return dir.stat(name, info) == Error::kNone && attributes_admitted(info.attributes, kFileMask);
}

std::unique_ptr<Dir> create_directory_path(Run& run, const Text& path) {
  Error err = Error::kNone;
  std::unique_ptr<Dir> dir = make_directories(run.os.fs, path, err);
  report_directory_made(run, path.view(), dir != nullptr);
  return dir;
}

void report_directory_made(Run& run, std::string_view path, bool made) {
  start_message_line(run);
  if (made) {
    run.msg.set(1, tr(run, "The target catalogue ", "Выходной каталог "_oem));
    run.msg.set(2, tr(run, "Is successfully created", "успешно создан"_oem));
    write_line_piece(run, 1);
    run.screen.write(fit_path(path).view());
    run.screen.write(' ');
    write_line_piece(run, 2);
    run.screen.write('.');
  } else {
    run.msg.set(1, tr(run, "I can not create ", "Не могу создать "_oem));
    write_line_piece(run, 1);
    run.screen.write(fit_path(path).view());
  }
}

bool file_size_allowed(const Run& run, int64_t size) {
  return run.settings.max_file_size <= 0 || size <= run.settings.max_file_size;
}

void report_file_size(Run& run, const Text& path, int64_t size) {
  run.msg.set(1, tr(run, "Restriction of the size of a file", "ограничение размера файла"_oem));
  set_colour(run, kRed);
  start_message_line(run);
  run.screen.write(path.view());
  run.screen.write(' ');
  write_line_piece(run, 1);
  run.screen.write(" (");
  run.screen.write_number(size);
  run.screen.write(" > ");
  run.screen.write_number(run.settings.max_file_size);
  run.screen.write(")");
  pause_after_report(run);
}

bool check_file_size(Run& run, const Text& path, int64_t size) {
  if (file_size_allowed(run, size)) return true;
  report_file_size(run, path, size);
  return false;
}

bool output_dir_size_allowed(const Run& run, Dir* dir, int64_t allowance) {
  if (run.settings.max_output_dir_size == 0) return true;
  int64_t total = 0;
  if (total > allowance) return false;  // an empty or missing directory counts as 0
  if (dir == nullptr) return true;
  // The sizes come from the listing itself; the search stops at the first
  // entry that takes the total past the allowance.
  for (DirSearch search(*dir, "*.*", kFileMask); search.found(); search.next()) {
    total += static_cast<int64_t>(search.entry().info.size);
    if (total > allowance) return false;
  }
  return true;
}

void report_output_dir_size(Run& run, const Text& path) {
  run.msg.set(1, tr(run, "Restriction of the size output dir",
                    "Ограничение размера выходного каталога"_oem));
  set_colour(run, kRed);
  start_message_line(run);
  write_line_piece(run, 1);
  run.screen.write(' ');
  run.screen.write(path.view());
  run.screen.write(' ');
  run.screen.write_number(run.settings.max_output_dir_size);
  set_colour(run, kLightGrey);
}

bool check_output_dir_size(Run& run, Dir* dir, const Text& path, int64_t allowance) {
  if (output_dir_size_allowed(run, dir, allowance)) return true;
  report_output_dir_size(run, path);
  return false;
}

}  // namespace qv
