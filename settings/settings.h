// The settings table: one record of typed variables, filled at start and
// read directly by every subsystem.
#pragma once

#include <cstdint>

#include "platform/text.h"

namespace qv {

enum class IfFileExist : int32_t { kCreateDir = 0, kOverwriteFile = 1 };

struct Settings {
  Text language;     // at most 19 characters
  uint8_t lang = 0;  // 1 = Russian, 0 = English
  uint32_t file_attr = 37;
  bool multy_task = true;
  bool log_exist = false;
  Text log_type;  // at most 10 characters
  Text log_name;
  bool run_batnik = false;
  bool use_smart_run = false;
  bool valid_exist_bat = true;
  Text name_batnik;
  int32_t delay_bat = 5000;
  bool analis_sopr = false;
  Text mask_sopr;
  bool find_uncheck = true;
  Text exclude_uncheck;
  int64_t valid_cycle_full_run = 0;
  uint8_t code_return_cycle = 0;
  int64_t number_time_work = 0;
  uint8_t code_return_time = 0;
  int32_t delay_interpr = 1000;
  int32_t delay_copy = 1000;
  int64_t max_file_size = 0;
  int64_t max_output_dir_size = 0;
  bool valid_drive = false;
  bool valid_space = false;
  bool valid_right = false;
  int32_t retry_count = 3;
  bool valid_continue = false;
  IfFileExist if_file_exist = IfFileExist::kCreateDir;
  Text create_dir;
  bool mem_info = false;
  int32_t min_file_age = 0;  // seconds a file must rest before it is taken; 0 = off
};

}  // namespace qv
