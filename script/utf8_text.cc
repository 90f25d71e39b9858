#include "script/utf8_text.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/cp866.h"

namespace qv {

namespace {

constexpr uint8_t kCtrlZ = 26;
constexpr char kUnmappable = '?';
constexpr char32_t kByteOrderMark = 0xFEFF;

// Bytes a sequence starting with `lead` has in all (0: not a lead byte).
int sequence_length(uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// The code point of a whole sequence of `len` bytes, or -1 when it is no
// valid UTF-8 (a bad continuation, an overlong form, a surrogate, > U+10FFFF).
int32_t decode_sequence(const uint8_t* s, int len) {
  if (len == 1) return s[0];
  int32_t c = s[0] & (0x7F >> len);
  for (int i = 1; i < len; ++i) {
    if ((s[i] & 0xC0) != 0x80) return -1;
    c = (c << 6) | (s[i] & 0x3F);
  }
  static constexpr int32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kSmallest[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return -1;
  return c;
}

// Decodes UTF-8 piece by piece; a sequence may be split between pieces.
class Utf8Decoder {
 public:
  // Feeds one byte; true when it completed a character, left in `c`
  // (-1 for an invalid sequence).
  bool feed(uint8_t b, int32_t& c) {
    if (have_ == 0) {
      need_ = sequence_length(b);
      if (need_ == 0) {
        c = -1;
        return true;
      }
    } else if ((b & 0xC0) != 0x80) {  // cut short: the sequence is bad
      have_ = 0;
      c = -1;
      pending_byte_ = b;
      return true;
    }
    seq_[have_++] = b;
    if (have_ < need_) return false;
    c = decode_sequence(seq_, need_);
    have_ = 0;
    return true;
  }
  // A byte put back by feed() when a sequence was cut short, or -1.
  int take_pending() {
    int b = pending_byte_;
    pending_byte_ = -1;
    return b;
  }
  bool mid_sequence() const { return have_ != 0; }

 private:
  uint8_t seq_[4] = {};
  int have_ = 0, need_ = 0;
  int pending_byte_ = -1;
};

// A text file as the readers see it: read only, never written, changed,
// moved or removed through here.
class TextOnly : public File {
 public:
  int64_t write(const void*, int64_t) override { return -1; }
  Error flush() override { return Error::kNone; }
  Error rewind() override { return Error::kAccessDenied; }
  Error set_attributes(const FileInfo&) override { return Error::kAccessDenied; }
  Error set_mtime(int64_t) override { return Error::kAccessDenied; }
  bool held() override { return true; }
  Error move_to(Dir&, const Text&, bool) override { return Error::kAccessDenied; }
  Error remove() override { return Error::kAccessDenied; }
};

// A text whose reading already failed once: every read fails, so the reader
// ends it as a read error and never acts on what it would read after it.
class FailedText : public TextOnly {
 public:
  int64_t read(void*, int64_t) override { return -1; }
  Error info(FileInfo&) override { return Error::kIo; }
  Error close() override { return Error::kNone; }
};

// A file read as UTF-8 and handed out as CP866, one byte per character.
class Utf8ToCp866File : public TextOnly {
 public:
  explicit Utf8ToCp866File(std::unique_ptr<File> in) : in_(std::move(in)) {}

  int64_t read(void* buf, int64_t n) override {
    if (n <= 0) return 0;
    while (decoded_.size() == taken_) {
      if (!decode_more()) return failed_ ? -1 : 0;
    }
    const std::size_t count = std::min(decoded_.size() - taken_, static_cast<std::size_t>(n));
    std::memcpy(buf, decoded_.data() + taken_, count);
    taken_ += count;
    return static_cast<int64_t>(count);
  }
  Error info(FileInfo& out) override { return in_->info(out); }
  Error close() override { return in_->close(); }

 private:
  static constexpr int64_t kRaw = 4096;

  // Decodes the next piece of the file; false at its end (or on an error),
  // where a sequence cut short by the end reads as one unmappable character.
  bool decode_more() {
    decoded_.clear();
    taken_ = 0;
    const int64_t got = in_->read(raw_, kRaw);
    failed_ = got < 0;
    if (failed_) return false;  // a read error ends the text, never a cut sequence
    if (got == 0) {
      if (decoder_.mid_sequence()) {
        decoder_ = Utf8Decoder();
        emit(-1);
      }
      return !decoded_.empty();
    }
    for (int64_t i = 0; i < got; ++i) put(static_cast<uint8_t>(raw_[i]));
    return true;
  }

  // Feeds one byte, and again the byte that cut a sequence short.
  void put(uint8_t b) {
    int32_t c = 0;
    if (!decoder_.feed(b, c)) return;
    emit(c);
    const int again = decoder_.take_pending();
    if (again >= 0 && decoder_.feed(static_cast<uint8_t>(again), c)) emit(c);
  }

  // Appends the CP866 byte of a code point (-1: an invalid sequence).
  void emit(int32_t c) {
    const bool first = at_start_;
    at_start_ = false;
    if (first && c == static_cast<int32_t>(kByteOrderMark)) return;
    const int b = c < 0 ? -1 : unicode_to_cp866(static_cast<char32_t>(c));
    decoded_ += b < 0 ? kUnmappable : static_cast<char>(b);
  }

  std::unique_ptr<File> in_;
  Utf8Decoder decoder_;
  char raw_[kRaw];
  std::string decoded_;  // CP866 bytes of the last piece
  std::size_t taken_ = 0;
  bool at_start_ = true;
  bool failed_ = false;
};

}  // namespace

bool is_utf8_text(File& file, bool& read_failed) {
  Utf8Decoder decoder;
  bool non_ascii = false;
  char buf[4096];
  int64_t got;
  for (; (got = file.read(buf, sizeof buf)) > 0;) {
    for (int64_t i = 0; i < got; ++i) {
      const auto b = static_cast<uint8_t>(buf[i]);
      if (b == kCtrlZ && !decoder.mid_sequence()) return non_ascii;
      int32_t c = 0;
      if (!decoder.feed(b, c)) continue;
      if (c < 0) return false;
      non_ascii = non_ascii || c >= 0x80;
    }
  }
  read_failed = got < 0;
  return non_ascii && !decoder.mid_sequence();
}

std::unique_ptr<File> open_text_file(FileSystem& fs, const Text& path, Error& err,
                                     bool utf8_allowed) {
  std::unique_ptr<File> file = fs.open_read(path, err);
  if (!file || !utf8_allowed) return file;
  bool read_failed = false;
  const bool utf8 = is_utf8_text(*file, read_failed);
  file->close();
  if (read_failed) return std::make_unique<FailedText>();
  // Read again from the start: as it stands, or through the decoder.
  file = fs.open_read(path, err);
  if (!file || !utf8) return file;
  return std::make_unique<Utf8ToCp866File>(std::move(file));
}

}  // namespace qv
