// The status screen: frame, counter block, history panel, unknown-files panel
// and done-operations panel. Main thread only. Callers that update a counter
// or the history panel call save_done_cursor first and select_done_panel after.
#pragma once

#include <cstdint>
#include <string_view>

#include "control/run.h"

namespace qv {

void draw_status_screen(Run& run);
void select_history_panel(Run& run);
void save_history_cursor(Run& run);
void add_history_entry(Run& run, std::string_view text);
void select_unknown_panel(Run& run);
void save_unknown_cursor(Run& run);
void add_unknown_entry(Run& run, std::string_view text);
void save_done_cursor(Run& run);
void select_done_panel(Run& run);
void show_cycle_count(Run& run);
void show_found_files(Run& run, int64_t count);
void show_byte_count(Run& run, int64_t count);
void show_dir_counts(Run& run, int32_t inputs, int32_t outputs);

}  // namespace qv
