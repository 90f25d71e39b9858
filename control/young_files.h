// Files still arriving: where no lock shows that another program is still
// writing a file (a network share, an account that cannot take a lease), a
// file is left alone until it has rested MIN_FILE_AGE seconds.
#pragma once

#include "control/run.h"
#include "platform/file_system.h"

namespace qv {

// True when MIN_FILE_AGE is on and the entry changed less than that many
// seconds ago: it is left, without a report, for a later turn.
bool still_arriving(Run& run, const FileInfo& entry);

}  // namespace qv
