// Covering notes travel with the data file that they name.
#pragma once

#include "control/run.h"

namespace qv {

// Sends every note of the input directory in hand that names the data file
// just dispatched to where that file went.
void send_covering_notes(Run& run);
// True when a line of note `note_name` holds the data file's name, compared
// case-insensitively; a note that cannot be read names nothing.
bool note_mentions_file(Run& run, const Text& note_name);
// Copies the note into every directory the data file reached but the last
// and moves it into the last, as one dispatch of its own.
void dispatch_covering_note(Run& run, const RawEntry& note);

}  // namespace qv
