#include "script/text_utils.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "console/time_text.h"
#include "control/run.h"
#include "platform/cp866.h"
#include "script/line_reader.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

// The directory of the executable, without the last separator.
Text program_dir_of(const char* exe) {
  fake::FakePlatform fp;
  fp.env.exe = exe;
  qv::Run run(fp.platform);
  return program_dir(run);
}

TEST(TextUtils, CommentTrimUpperTranslateBackslashAndProgramDir) {
  const Text padded("\t  a b \t");
  const std::tuple<const char*, Text, std::string_view> cases[] = {
      {"comment: first marker", strip_comment(Text("a --// b --// c")), "a "},
      {"comment: even in quotes", strip_comment(Text("NAME \"a --// b\"")), "NAME \"a "},
      {"comment: none", strip_comment(Text("no comment -/- here")), "no comment -/- here"},
      {"trim mode 0", trim_set(kWordDelimiters, 0, padded), "a b \t"},
      {"trim mode 1", trim_set(kWordDelimiters, 1, padded), "\t  a b"},
      {"trim mode 2", trim_set(kWordDelimiters, 2, padded), "a b"},
      {"trim mode 3", trim_set(kWordDelimiters, 3, padded), "\t  a b \t"},
      {"trim blanks only", trim_set(kWordDelimiters, 2, Text(" \t \t ")), ""},
      {"upper latin", upper_case(Text("delay_Copy 9z")), "DELAY_COPY 9Z"},
      {"upper cyrillic", upper_case(Text("абвгдежзийклмнопрстуфхцчшщъыьэюя"_oem)),
       "АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ"_oem},
      {"upper ё", upper_case(Text("ёжЁ"_oem)), "ЁЖЁ"_oem},
      {"translate: first occurrence", translate_chars(Text("abcab"), "aba", "xyz"), "xycxy"},
      {"translate: short to-table", translate_chars(Text("ab"), "ab", "X"), "Xb"},
      {"backslash: empty", add_backslash(Text("")), ""},
      {"backslash: drive", add_backslash(Text("D:")), "D:\\"},
      {"backslash: present", add_backslash(Text("D:\\")), "D:\\"},
      {"backslash: slash", add_backslash(Text("/data/in/")), "/data/in/"},
      {"backslash: directory", add_backslash(Text("D:\\IN")), "D:\\IN\\"},
      {"program dir", program_dir_of("D:\\TOOLS\\QUORVANE.EXE"), "D:\\TOOLS"},
      {"program dir: drive", program_dir_of("D:\\QUORVANE.EXE"), "D:"},
      {"program dir: slashes", program_dir_of("/opt/qv/quorvane"), "/opt/qv"},
      {"program dir: bare name", program_dir_of("quorvane"), ""},
  };
  for (const auto& [rule, got, want] : cases) EXPECT_EQ(got.str(), want) << rule;
  for (int b = 0; b < 256; ++b) {  // every byte outside the two letter ranges stays as it is
    const bool letter =
        (b >= 'a' && b <= 'z') || (b >= 0xA0 && b <= 0xAF) || (b >= 0xE0 && b <= 0xEF) || b == 0xF1;
    EXPECT_TRUE(letter || upper_char(static_cast<unsigned char>(b)) == b) << b;
  }
}

// Each row: the text, a word number, then the word count and that word, "!" marking
// the unbalanced-quote flag each of them raises.
TEST(TextUtils, WordCountExtractWordAndQuoteFlag) {
  const std::tuple<const char*, int32_t, std::string_view> cases[] = {
      {"", 1, "0|"},
      {"\"D:\\My Dir\"", 1, "1|D:\\My Dir"},
      {"\"\"", 1, "1|"},
      {"KEY  value", 2, "2|value"},
      {"KEY  value", 3, "2|"},
      {"KEY value", 0, "2|"},
      {"\"abc\"x", 2, "2|x"},     // a closing quote ends the word
      {"ab\"c d\"", 2, "2|c d"},  // a quote inside a word opens a new one
      {"\t a \t b \t", 2, "2|b"},
      {"NAME \"D:\\My Tools", 2, "2!|D:\\My Tools!"},
      {"A \"open", 1, "2!|A"},  // the unclosed quote lies beyond word 1
      {"\"", 1, "1!|!"},
  };
  for (auto [in, n, want] : cases) {
    for (bool before : {false, true}) {  // the flag is set either way, never left as it was
      bool count_flag = before, word_flag = before;
      const std::string words = std::to_string(word_count(Text(in), kWordDelimiters, count_flag));
      const std::string word = extract_word(n, Text(in), kWordDelimiters, word_flag).str();
      EXPECT_EQ(words + (count_flag ? "!|" : "|") + word + (word_flag ? "!" : ""), want)
          << in << " #" << n;
    }
  }
}

std::string oem(std::string_view s) {
  std::string out;
  utf8_to_cp866(s, out);
  return out;
}

// The lines of each file as the reader sees them, joined by '|'. Valid UTF-8
// with non-ASCII characters reads as CP866 where allowed; a CP866 file, a
// file that is not valid UTF-8 to its end (or its Ctrl-Z), an overlong form
// and any file where UTF-8 is not allowed read byte for byte.
TEST(LineReader, LineEndsCtrlZLongLinesAndUtf8) {
  std::string zhe300;
  for (int i = 0; i < 300; ++i) zhe300 += "Ж";
  const std::string ascii_4094(4094, 'a');  // then a line end: Ж spans bytes 4096 and 4097
  const std::tuple<std::string, bool, std::string> cases[] = {
      {"", false, ""},
      {"a\nb", false, "a|b|"},
      {"\n\n", false, "||"},
      {"a\rb\n", false, "ab|"},
      {"ab\032cd\nef", false, "ab|"},
      {"ab\n\x1a\nzz", false, "ab|"},
      {std::string("a\0b\n", 4), false, std::string("a\0b|", 4)},
      {"C:\\Входящие\r\nMask: *.*\n", true, oem("C:\\Входящие|Mask: *.*|")},
      {"Входящие\n", false, "Входящие|"},
      {oem("Входящие\n"), true, oem("Входящие|")},
      {"\xEF\xBB\xBFДа\n", true, oem("Да|")},                   // the byte-order mark dropped
      {"a€b\n", true, "a?b|"},                                  // a character CP866 lacks
      {"\xC0\x80Ж\n", true, "\xC0\x80Ж|"},                      // an overlong form is no UTF-8
      {"\xED\xA0\x80Ж\n", true, "\xED\xA0\x80Ж|"},              // nor is a surrogate
      {"\xED\xBF\xBFЖ\n", true, "\xED\xBF\xBFЖ|"},              // the last surrogate either
      {"Ж😀\n", true, oem("Ж") + "?|"},                          // four bytes, U+1F600
      {zhe300 + "\n", true, oem(zhe300.substr(0, 510)) + "|"},  // 255 characters, not bytes
      {"Ж\n\x1A\xFF", true, oem("Ж") + "|"},
      {ascii_4094 + "\nЖ\n", true, ascii_4094.substr(0, 255) + "|" + oem("Ж") + "|"},
      {"Ж\n\xD0", true, "Ж|\xD0|"},  // the file ends inside a sequence
  };
  for (const auto& [content, allowed, want] : cases) {
    fake::FakePlatform fp;
    fp.fs.add_file("C:\\F.TXT", content);
    Error err = Error::kNone;
    auto reader = LineReader::open(fp.fs, Text("C:\\F.TXT"), err, allowed);
    ASSERT_NE(reader, nullptr);
    std::string lines;
    Text line;
    while (!reader->at_end() && reader->next(line)) lines += line.str() + "|";
    EXPECT_EQ(lines, want) << content.substr(0, 20);
  }
}

}  // namespace
}  // namespace qv
