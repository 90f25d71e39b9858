// Drive, space and size guards and the file-system tests around a transfer.
// A guard writes its own report when it refuses; every guard reads metadata
// only and never opens a file.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "control/run.h"

namespace qv {

// Every file counts, no sub-directory does: read-only, hidden, system,
// volume label, archive.
inline constexpr uint32_t kFileMask =
    kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrVolume | kAttrArchive;

// `dir` joined directly with `name` for a report: whole when it fits in a
// text, else as much as fits followed by "...".
Text fit_path(std::string_view dir, std::string_view name = {});

// The drive of `path`: a letter, present, with room; else its report.
bool check_target_drive(Run& run, const Text& path);
// True when `path` (a trailing separator dropped) is a directory; a bare
// drive "D:" always is.
bool directory_exists(Run& run, const Text& path);
// True when `dir` holds a file (hidden and system ones too, never a
// directory) named `name`; `info` then describes it.
bool file_exists(Dir& dir, const Text& name, FileInfo& info);
// Opens directory `path`, first creating it and its missing parents, and
// reports whether it is there now. Null when it is not.
std::unique_ptr<Dir> create_directory_path(Run& run, const Text& path);
// "The target catalogue ... Is successfully created." or "I can not create ...".
void report_directory_made(Run& run, std::string_view path, bool made);

// False when a file of `size` bytes is over MAX_FILE_SIZE.
bool file_size_allowed(const Run& run, int64_t size);
void report_file_size(Run& run, const Text& path, int64_t size);
bool check_file_size(Run& run, const Text& path, int64_t size);

// False when the files directly in `dir` (null: a missing directory, which
// holds 0 bytes) come to more than `allowance` bytes.
bool output_dir_size_allowed(const Run& run, Dir* dir, int64_t allowance);
void report_output_dir_size(Run& run, const Text& path);
bool check_output_dir_size(Run& run, Dir* dir, const Text& path, int64_t allowance);

}  // namespace qv
