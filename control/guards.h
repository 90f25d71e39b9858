// Drive, space and size guards and the file-system tests around a transfer.
// A guard writes its own report when it refuses.
#pragma once

#include <cstdint>

#include "control/run.h"

namespace qv {

bool check_target_drive(Run& run, const Text& path);
bool directory_exists(Run& run, const Text& path);
bool file_exists(Run& run, const Text& path);
void create_directory_path(Run& run, const Text& path);
int64_t file_size(Run& run, const Text& path);
bool check_file_size(Run& run, const Text& path);
bool check_output_dir_size(Run& run, const Text& dir, int64_t allowance);

}  // namespace qv
