// Text: the system's string. Bytes of CP866, at most 255 of them; anything
// appended beyond that is cut, so the 255 rule lives here and nowhere else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace qv {

class Text {
 public:
  static constexpr std::size_t kMax = 255;

  constexpr Text() = default;
  Text(std::string_view s) { assign(s); }  // NOLINT: implicit on purpose
  Text(const char* s) { assign(std::string_view(s)); }

  void assign(std::string_view s) {
    len_ = 0;
    append(s);
  }
  Text& append(std::string_view s) {
    std::size_t n = s.size();
    if (n > kMax - len_) n = kMax - len_;
    std::memcpy(buf_ + len_, s.data(), n);
    len_ = static_cast<uint8_t>(len_ + n);
    return *this;
  }
  Text& append(char c) {
    if (len_ < kMax) buf_[len_++] = c;
    return *this;
  }
  Text& operator+=(std::string_view s) { return append(s); }
  Text& operator+=(char c) { return append(c); }
  Text& operator+=(const Text& t) { return append(t.view()); }

  // Keeps the first n bytes (no-op when already shorter).
  void truncate(std::size_t n) {
    if (n < len_) len_ = static_cast<uint8_t>(n);
  }
  // Removes count bytes from pos (0-based); out of range parts are ignored.
  void erase(std::size_t pos, std::size_t count = kMax);
  // Inserts s at pos (0-based); the result is cut at 255 bytes.
  void insert(std::size_t pos, std::string_view s);

  std::size_t size() const { return len_; }
  bool empty() const { return len_ == 0; }
  void clear() { len_ = 0; }
  char operator[](std::size_t i) const { return buf_[i]; }
  char& operator[](std::size_t i) { return buf_[i]; }
  char back() const { return buf_[len_ - 1]; }
  const char* data() const { return buf_; }
  std::string_view view() const { return {buf_, len_}; }
  std::string str() const { return std::string(buf_, len_); }
  operator std::string_view() const { return view(); }  // NOLINT

  friend bool operator==(const Text& a, const Text& b) { return a.view() == b.view(); }
  friend bool operator==(const Text& a, std::string_view b) { return a.view() == b; }

 private:
  uint8_t len_ = 0;
  char buf_[kMax] = {};
};

inline Text operator+(Text a, std::string_view b) {
  a.append(b);
  return a;
}

inline void Text::erase(std::size_t pos, std::size_t count) {
  if (pos >= len_) return;
  if (count > len_ - pos) count = len_ - pos;
  std::memmove(buf_ + pos, buf_ + pos + count, len_ - pos - count);
  len_ = static_cast<uint8_t>(len_ - count);
}

inline void Text::insert(std::size_t pos, std::string_view s) {
  if (pos > len_) pos = len_;
  std::string tmp(buf_ + pos, len_ - pos);
  len_ = static_cast<uint8_t>(pos);
  append(s);
  append(tmp);
}

}  // namespace qv
