// The task script: located beside the executable, kept open for the run,
// read statement line by statement line, reopened at every rewind.
#pragma once

#include "control/run.h"

namespace qv {

// Finds and opens Quorvane.Qvr; reports a missing script (exit code 6).
Ending locate_script(Run& run);
// Fills raw line, statement line and line number; the statement line is
// empty only at the end of the file.
void read_statement_line(Run& run);
// True when the script has no line left. A read error ends it as well: it is
// reported once and sets read_failed.
bool script_at_end(Run& run);
// Reopens the script at its first line; the line number becomes 0.
void rewind_script(Run& run);

}  // namespace qv
