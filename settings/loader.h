// The settings loader and the report layouts shared with the task script.
#pragma once

#include "control/run.h"

namespace qv {

// Forms program_dir + "\Quorvane.cfg" and empties the loader's buffers.
void settings_path(Run& run);
// Reads a settings file (INCLUDE nests); returns the exit code on a fault.
Ending load_settings(Run& run, const Text& path);
void report_missing_file(Run& run, std::string_view kind_words, const Text& path);
void report_word_count(Run& run, const Text& path, const Text& raw_line, int32_t line_number,
                       int32_t count);
void report_unbalanced_quote(Run& run, const Text& path, const Text& raw_line, int32_t line_number);
// The type name is already in message line 1.
void report_bad_value(Run& run, const Text& key, const Text& value, const Text& path,
                      int32_t line_number);
void report_script_warning(Run& run, const Text& path, const Text& raw_line, int32_t line_number,
                           std::string_view message1, std::string_view message2);
void pause_after_report(Run& run);

}  // namespace qv
