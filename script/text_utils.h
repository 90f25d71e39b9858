// Pure text functions shared by both file readers, the upper-casing used for
// every keyword, and the program's own directories.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "platform/text.h"

namespace qv {

struct Run;

// A set of byte values, as a 256-bit map.
class CharSet {
 public:
  constexpr CharSet() = default;
  constexpr CharSet(std::initializer_list<unsigned char> bytes) {
    for (unsigned char b : bytes) add(b);
  }
  constexpr void add(unsigned char b) { bits_[b >> 6] |= uint64_t{1} << (b & 63); }
  constexpr bool has(unsigned char b) const { return (bits_[b >> 6] >> (b & 63)) & 1; }

 private:
  std::array<uint64_t, 4> bits_{};
};

// TAB and space.
inline constexpr CharSet kWordDelimiters{9, 32};

Text strip_comment(const Text& text);
// mode 0: leading, 1: trailing, 2: both; other modes return the text.
Text trim_set(const CharSet& set, int mode, const Text& text);
int32_t word_count(const Text& text, const CharSet& set, bool& quote_error);
Text extract_word(int32_t n, const Text& text, const CharSet& set, bool& quote_error);
// Latin and CP866 Cyrillic small letters (ё included) become capitals.
unsigned char upper_char(unsigned char c);
Text upper_case(const Text& text);
Text translate_chars(const Text& text, std::string_view from, std::string_view to);
// Directory of the running executable, without the trailing separator.
Text program_dir(Run& run);
// True when the program directory, a separator and the name of the
// program's own files (Quorvane.cfg, Quorvane.Qvr) fit a text whole.
bool own_file_paths_fit(Run& run);
// The separator the system puts into the paths it joins or extends: the
// platform's own ('/' on POSIX, '\' on Windows).
char native_separator(const Run& run);
// `text` ending in a separator: the platform's own is appended unless the
// text is empty or ends in '\' or '/' already.
Text add_backslash(const Run& run, const Text& text);
// The same with the separator the text already uses (separator_for).
Text add_backslash(const Text& text);
// Stores the program directory and the current directory in the run.
void store_startup_dirs(Run& run);

}  // namespace qv
