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

TEST(TextUtils, CommentTrimUpperTranslateAndBackslash) {
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

TEST(TextUtils, ProgramDirIsTheExecutablesDirectoryWithoutTheLastSeparator) {
  for (auto [exe, dir] : {std::pair{"D:\\TOOLS\\QUORVANE.EXE", "D:\\TOOLS"},
                          {"D:\\QUORVANE.EXE", "D:"},
                          {"/opt/qv/quorvane", "/opt/qv"},
                          {"quorvane", ""}}) {
    fake::FakePlatform fp;
    fp.env.exe = exe;
    qv::Run run(fp.platform);
    store_startup_dirs(run);
    EXPECT_EQ(run.program_dir.str(), dir) << exe;
  }
}

TEST(LineReader, LineEndsCarriageReturnsCtrlZAndLongLines) {
  using L = std::vector<std::string>;
  std::pair<std::string, L> cases[] = {
      {"", {}},
      {"a\nb", {"a", "b"}},
      {"\n\n", {"", ""}},
      {"a\rb\n", {"ab"}},
      {"ab\x1a"
       "cd\nef",
       {"ab"}},
      {"ab\n\x1a\nzz", {"ab"}},
      {std::string("a\0b\n", 4), {std::string("a\0b", 3)}},
  };
  for (const auto& [content, want] : cases) {
    fake::FakePlatform fp;
    fp.fs.add_file("C:\\F.TXT", content);
    Error err = Error::kNone;
    auto reader = LineReader::open(fp.fs, Text("C:\\F.TXT"), err);
    ASSERT_NE(reader, nullptr);
    L lines;
    Text line;
    while (!reader->at_end() && reader->next(line)) lines.push_back(line.str());
    EXPECT_EQ(lines, want) << content.substr(0, 20);
  }
}

}  // namespace
}  // namespace qv
