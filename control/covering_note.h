// Covering notes travel with the data file that they name.
#pragma once

#include "control/run.h"

namespace qv {

void send_covering_notes(Run& run);
bool note_mentions_file(Run& run, const Text& note_name);
void dispatch_covering_note(Run& run, const Text& note_name);

}  // namespace qv
