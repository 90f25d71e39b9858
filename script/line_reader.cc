#include "script/line_reader.h"

#include "script/utf8_text.h"

namespace qv {

namespace {
constexpr char kLineFeed = 10;
constexpr char kCarriageReturn = 13;
constexpr char kEndOfFile = 26;  // Ctrl-Z
}  // namespace

std::unique_ptr<LineReader> LineReader::open(FileSystem& fs, const Text& path, Error& err,
                                             bool utf8_allowed) {
  err = Error::kNone;
  return of_file(open_text_file(fs, path, err, utf8_allowed), err);
}

std::unique_ptr<LineReader> LineReader::open(Dir& dir, const Text& name, Error& err) {
  err = Error::kNone;
  return of_file(dir.open_read(name, err), err);
}

std::unique_ptr<LineReader> LineReader::of_file(std::unique_ptr<File> file, Error& err) {
  if (!file) {
    if (err == Error::kNone) err = Error::kNotFound;
    return nullptr;
  }
  // A directory is never a text file, whatever the backend let through.
  FileInfo info;
  if (file->info(info) == Error::kNone && (info.attributes & kAttrDirectory) != 0) {
    err = Error::kIsDirectory;
    return nullptr;
  }
  return std::unique_ptr<LineReader>(new LineReader(std::move(file)));
}

LineReader::LineReader(std::unique_ptr<File> file) : file_(std::move(file)) {}

bool LineReader::fill() {
  if (eof_) return false;
  int64_t n = file_->read(buf_, static_cast<int64_t>(sizeof buf_));
  if (n <= 0) {  // end of file, or a read error, which ends it as well
    failed_ = n < 0;
    eof_ = true;
    pos_ = len_ = 0;
    return false;
  }
  pos_ = 0;
  len_ = n;
  return true;
}

bool LineReader::at_end() {
  if (pos_ >= len_ && !fill()) return true;
  if (buf_[pos_] == kEndOfFile) {  // nothing after Ctrl-Z is read
    eof_ = true;
    pos_ = len_ = 0;
    return true;
  }
  return false;
}

bool LineReader::next(Text& line) {
  line.clear();
  if (at_end()) return false;
  while (pos_ < len_ || fill()) {
    char c = buf_[pos_];
    if (c == kEndOfFile) {  // ends this line and the file; at_end() says so next
      return true;
    }
    ++pos_;
    if (c == kLineFeed) return true;
    if (c != kCarriageReturn) line.append(c);  // beyond 255 bytes the rest is skipped
  }
  if (failed_) line.clear();  // never act on a line cut short by a read error
  return !failed_;
}

}  // namespace qv
