// The word splitter and the text helpers of both file readers on any line.
// Besides never failing, they keep the rules the readers rely on: no word
// past the count, the quote fault of the count is that of its last word,
// trimming leaves no blank at either edge, upper-casing twice changes nothing.
#include <cstdlib>

#include "fuzz/fuzz_run.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qv;
  const Text line(fuzz::bytes_of(data, size));
  const auto check = [](bool rule) {
    if (!rule) std::abort();
  };
  const Text statement = trim_set(kWordDelimiters, 2, strip_comment(line));
  check(statement.empty() || (!kWordDelimiters.has(static_cast<unsigned char>(statement[0])) &&
                              !kWordDelimiters.has(static_cast<unsigned char>(statement.back()))));
  bool count_error = false, word_error = false;
  const int32_t count = word_count(statement, kWordDelimiters, count_error);
  for (int32_t n = 1; n <= count; ++n) extract_word(n, statement, kWordDelimiters, word_error);
  check(count == 0 || word_error == count_error);
  check(extract_word(count + 1, statement, kWordDelimiters, word_error).empty());
  check(extract_word(0, statement, kWordDelimiters, word_error).empty());
  const Text upper = upper_case(statement);
  check(upper_case(upper) == upper);
  return 0;
}
