// Text files written in UTF-8: where the system's own text is UTF-8, a
// settings file or task script that is valid UTF-8 and holds non-ASCII
// characters is read as UTF-8 and turned into CP866 as it is read; any other
// file is CP866 as it stands.
#pragma once

#include <memory>

#include "platform/file_system.h"

namespace qv {

// True when the rest of the file, up to its end or a Ctrl-Z, is valid UTF-8
// (no overlong forms, no surrogates) and holds at least one non-ASCII
// character. Reads the file to that point; `read_failed` tells whether a read
// error ended it early.
bool is_utf8_text(File& file, bool& read_failed);

// Opens a text file for reading. With `utf8_allowed`, a file that is UTF-8
// text comes back as a file whose bytes read as CP866: a byte-order mark at
// its start is dropped, a character CP866 lacks reads as '?'. A file whose
// first reading fails comes back as one whose every read fails.
std::unique_ptr<File> open_text_file(FileSystem& fs, const Text& path, Error& err,
                                     bool utf8_allowed);

}  // namespace qv
