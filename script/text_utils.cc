#include "script/text_utils.h"

#include "control/run.h"

namespace qv {

namespace {

constexpr char kQuote = '"';

// Walks the words of `text` the one way both readers cut lines: blanks of
// `set` separate words, a double quote opens a word that runs to the next
// double quote. Calls on_char(word_number, c) for every character that
// belongs to a word (quotes excluded) and stops after word `last` ends
// (last <= 0: walks the whole text). Returns the number of words seen.
template <typename OnChar>
int32_t walk_words(const Text& text, const CharSet& set, int32_t last, bool& quote_error,
                   OnChar on_char) {
  const std::size_t len = text.size();
  std::size_t i = 0;
  int32_t count = 0;
  quote_error = false;
  while (i < len) {
    while (i < len && set.has(static_cast<unsigned char>(text[i]))) ++i;
    if (i >= len) break;
    ++count;
    if (text[i] == kQuote) {
      quote_error = true;
      ++i;
      while (i < len) {
        if (text[i] == kQuote) {
          ++i;
          quote_error = false;
          break;
        }
        on_char(count, text[i++]);
      }
    } else {
      while (i < len && !set.has(static_cast<unsigned char>(text[i])) && text[i] != kQuote) {
        on_char(count, text[i++]);
      }
    }
    if (last > 0 && count >= last) break;
  }
  return count;
}

}  // namespace

Text strip_comment(const Text& text) {
  Text out = text;
  std::size_t at = text.view().find("--//");
  if (at != std::string_view::npos) out.truncate(at);
  return out;
}

Text trim_set(const CharSet& set, int mode, const Text& text) {
  if (mode < 0 || mode > 2) return text;
  std::string_view v = text.view();
  if (mode == 0 || mode == 2) {
    while (!v.empty() && set.has(static_cast<unsigned char>(v.front()))) v.remove_prefix(1);
  }
  if (mode == 1 || mode == 2) {
    while (!v.empty() && set.has(static_cast<unsigned char>(v.back()))) v.remove_suffix(1);
  }
  return Text(v);
}

int32_t word_count(const Text& text, const CharSet& set, bool& quote_error) {
  return walk_words(text, set, 0, quote_error, [](int32_t, char) {});
}

Text extract_word(int32_t n, const Text& text, const CharSet& set, bool& quote_error) {
  Text out;
  quote_error = false;
  if (n <= 0) return out;
  walk_words(text, set, n, quote_error, [&](int32_t word, char c) {
    if (word == n) out.append(c);
  });
  return out;
}

unsigned char upper_char(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 'a' + 'A');
  if (c >= 0xA0 && c <= 0xAF) return static_cast<unsigned char>(c - 0x20);  // а..п
  if (c >= 0xE0 && c <= 0xEF) return static_cast<unsigned char>(c - 0x50);  // р..я
  if (c == 0xF1) return 0xF0;                                               // ё
  return c;
}

Text upper_case(const Text& text) {
  Text out = text;
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char>(upper_char(static_cast<unsigned char>(out[i])));
  }
  return out;
}

Text translate_chars(const Text& text, std::string_view from, std::string_view to) {
  Text out = text;
  for (std::size_t i = 0; i < out.size(); ++i) {
    std::size_t p = from.find(out[i]);
    if (p != std::string_view::npos && p < to.size()) out[i] = to[p];
  }
  return out;
}

namespace {

// Longest name of the files the program looks for beside itself.
constexpr std::size_t kOwnFileName = std::string_view("Quorvane.cfg").size();

// The part of a full name before its last separator ("" when there is none).
std::string_view directory_part(std::string_view full_name) {
  for (std::size_t i = full_name.size(); i > 0; --i) {
    if (is_separator(full_name[i - 1])) return full_name.substr(0, i - 1);
  }
  return full_name.substr(0, 0);
}

Text with_separator(const Text& text, char separator) {
  if (text.empty() || is_separator(text.back())) return text;
  Text out = text;
  out.append(separator);
  return out;
}

}  // namespace

Text program_dir(Run& run) {
  return Text(directory_part(run.os.env.executable_path()));
}

bool own_file_paths_fit(Run& run) {
  return directory_part(run.os.env.executable_path()).size() + 1 + kOwnFileName <= Text::kMax;
}

char native_separator(const Run& run) {
  return run.os.env.path_separator();
}

Text add_backslash(const Run& run, const Text& text) {
  return with_separator(text, native_separator(run));
}

Text add_backslash(const Text& text) {
  return with_separator(text, separator_for(text.view()));
}

void store_startup_dirs(Run& run) {
  run.program_dir = program_dir(run);
  run.start_dir = run.os.env.current_directory();
}

}  // namespace qv
