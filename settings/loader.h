// The settings loader and the report layouts shared with the task script.
#pragma once

#include "control/run.h"

namespace qv {

// Forms program_dir + "\Quorvane.cfg" and empties the loader's buffers.
void settings_path(Run& run);
// Reads a settings file (INCLUDE nests); returns the exit code on a fault.
Ending load_settings(Run& run, const Text& path);
// "The file of a <kind> is not found <path>", yellow on red.
void report_missing_file(Run& run, std::string_view kind_words, const Text& path);
// "Can not read file : <path> !!!" in red: a read error ended the file early.
void report_read_error(Run& run, const Text& path);
// A line that is not the expected number of words.
void report_word_count(Run& run, const Text& path, const Text& raw_line, int32_t line_number,
                       int32_t count);
// A line whose last quoted word has no closing quote.
void report_unbalanced_quote(Run& run, const Text& path, const Text& raw_line, int32_t line_number);
// The type name is already in message line 1.
void report_bad_value(Run& run, const Text& key, const Text& value, const Text& path,
                      int32_t line_number);
// A task-script warning in yellow, each line on a row of its own.
void report_script_warning(Run& run, const Text& path, const Text& raw_line, int32_t line_number,
                           std::string_view message1, std::string_view message2);
// Light grey again, then the 3000 ms pause that follows a report.
void pause_after_report(Run& run);

}  // namespace qv
