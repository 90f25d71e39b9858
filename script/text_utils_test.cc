#include "script/text_utils.h"

#include <gtest/gtest.h>

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
  struct Case {
    const char* rule;
    Text got;
    std::string_view want;
  } cases[] = {
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
      {"upper keeps ё", upper_case(Text("ёж"_oem)), "ёЖ"_oem},
      {"translate: first occurrence", translate_chars(Text("abcab"), "aba", "xyz"), "xycxy"},
      {"translate: short to-table", translate_chars(Text("ab"), "ab", "X"), "Xb"},
      {"backslash: empty", add_backslash(Text("")), ""},
      {"backslash: drive", add_backslash(Text("D:")), "D:\\"},
      {"backslash: present", add_backslash(Text("D:\\")), "D:\\"},
      {"backslash: slash", add_backslash(Text("/tmp/in/")), "/tmp/in/"},
      {"backslash: directory", add_backslash(Text("D:\\IN")), "D:\\IN\\"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got.str(), c.want) << c.rule;
  for (int b = 0; b < 256; ++b) {  // every byte outside the two letter ranges stays as it is
    const bool letter =
        (b >= 'a' && b <= 'z') || (b >= 0xA0 && b <= 0xAF) || (b >= 0xE0 && b <= 0xEF);
    EXPECT_TRUE(letter || upper_char(static_cast<unsigned char>(b)) == b) << b;
  }
}

TEST(TextUtils, WordCountExtractWordAndQuoteFlag) {
  struct Case {
    const char* in;
    int32_t words;
    bool count_error;
    int32_t n;
    const char* word;
    bool word_error;
  } cases[] = {
      {"", 0, false, 1, "", false},
      {"\"D:\\My Dir\"", 1, false, 1, "D:\\My Dir", false},
      {"\"\"", 1, false, 1, "", false},
      {"KEY  value", 2, false, 2, "value", false},
      {"KEY  value", 2, false, 3, "", false},
      {"KEY value", 2, false, 0, "", false},
      {"\"abc\"x", 2, false, 2, "x", false},     // a closing quote ends the word
      {"ab\"c d\"", 2, false, 2, "c d", false},  // a quote inside a word opens a new one
      {"\t a \t b \t", 2, false, 2, "b", false},
      {"NAME \"D:\\My Tools", 2, true, 2, "D:\\My Tools", true},
      {"A \"open", 2, true, 1, "A", false},  // the unclosed quote lies beyond word 1
      {"\"", 1, true, 1, "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.in) + " #" + std::to_string(c.n));
    bool flag = !c.count_error;
    EXPECT_EQ(word_count(Text(c.in), kWordDelimiters, flag), c.words);
    EXPECT_EQ(flag, c.count_error);
    flag = !c.word_error;
    EXPECT_EQ(extract_word(c.n, Text(c.in), kWordDelimiters, flag).str(), c.word);
    EXPECT_EQ(flag, c.word_error);
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
