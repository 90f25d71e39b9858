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
  // a directory included. With `utf8_allowed`, UTF-8 text reads as CP866.
  static std::unique_ptr<LineReader> open(FileSystem& fs, const Text& path, Error& err,
                                          bool utf8_allowed = false);
  // Opens file `name` of the open directory `dir` the same way.
  static std::unique_ptr<LineReader> open(Dir& dir, const Text& name, Error& err);
  // True when no line is left.
  bool at_end();
  // Reads the next line into `line`; false (line empty) at the end, and
  // after a read error, which ends the file without its part-read line.
  bool next(Text& line);
  // True once a read error has ended the file early.
  bool failed() const { return failed_; }

 private:
  explicit LineReader(std::unique_ptr<File> file);
  static std::unique_ptr<LineReader> of_file(std::unique_ptr<File> file, Error& err);
  bool fill();
  std::unique_ptr<File> file_;
  char buf_[4096];
  int64_t pos_ = 0, len_ = 0;
  bool eof_ = false;
  bool failed_ = false;
};

}  // namespace qv
