// Reads a text file line by line, the one way every file of the system is
// read: a line ends at LF, CR is dropped wherever it stands, Ctrl-Z ends the
// file, a line keeps its first 255 bytes and the rest of it is skipped.
#pragma once

#include <memory>

#include "platform/file_system.h"

namespace qv {

class LineReader {
 public:
  // Opens path for reading; null (and err set) when it cannot be opened,
  // a directory included.
  static std::unique_ptr<LineReader> open(FileSystem& fs, const Text& path, Error& err);
  // True when no line is left.
  bool at_end();
  // Reads the next line into `line`; false (line empty) at the end, and
  // after a read error, which ends the file without its part-read line.
  bool next(Text& line);
  // True once a read error has ended the file early.
  bool failed() const { return failed_; }

 private:
  explicit LineReader(std::unique_ptr<File> file);
  bool fill();
  std::unique_ptr<File> file_;
  char buf_[4096];
  int64_t pos_ = 0, len_ = 0;
  bool eof_ = false;
  bool failed_ = false;
};

}  // namespace qv
