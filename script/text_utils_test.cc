#include "script/text_utils.h"

#include <gtest/gtest.h>

#include "console/time_text.h"
#include "control/run.h"
#include "platform/cp866.h"
#include "script/line_reader.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

TEST(TextUtils, StripCommentCutsAtFirstMarkerEvenInsideQuotes) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"--// all comment", ""},           {"DELAY_COPY 500 --// half a second", "DELAY_COPY 500 "},
      {"NAME \"a --// b\"", "NAME \"a "}, {"no comment -/- here", "no comment -/- here"},
      {"a --// b --// c", "a "},
  };
  for (const Case& c : cases) EXPECT_EQ(strip_comment(Text(c.in)), Text(c.out)) << c.in;
}

TEST(TextUtils, TrimSetByMode) {
  const Text text("\t  a b \t");
  EXPECT_EQ(trim_set(kWordDelimiters, 0, text), Text("a b \t"));
  EXPECT_EQ(trim_set(kWordDelimiters, 1, text), Text("\t  a b"));
  EXPECT_EQ(trim_set(kWordDelimiters, 2, text), Text("a b"));
  EXPECT_EQ(trim_set(kWordDelimiters, 3, text), text);
  EXPECT_EQ(trim_set(kWordDelimiters, 2, Text(" \t \t ")), Text(""));
}

TEST(TextUtils, WordCountAndQuoteFlag) {
  struct Case {
    const char* in;
    int32_t words;
    bool quote_error;
  } cases[] = {
      {"", 0, false},
      {"D:\\IN  *.txt", 2, false},
      {"\"D:\\My Dir\"", 1, false},
      {"\"\"", 1, false},
      {"\"", 1, true},
      {"\"abc\"x", 2, false},   // a closing quote ends the word
      {"ab\"c d\"", 2, false},  // a quote inside a word opens a new one
      {"KEY \"open value", 2, true},
      {"\"a\" \"b", 2, true},
      {"\"a b\" c", 2, false},
      {"\t a \t b \t", 2, false},
  };
  for (const Case& c : cases) {
    bool flag = !c.quote_error;
    EXPECT_EQ(word_count(Text(c.in), kWordDelimiters, flag), c.words) << c.in;
    EXPECT_EQ(flag, c.quote_error) << c.in;
  }
}

TEST(TextUtils, ExtractWord) {
  struct Case {
    int32_t n;
    const char* in;
    const char* out;
    bool quote_error;
  } cases[] = {
      {1, "\"D:\\My Dir\"", "D:\\My Dir", false},
      {1, "\"\"", "", false},
      {2, "KEY  value", "value", false},
      {3, "KEY  value", "", false},
      {0, "KEY value", "", false},
      {-1, "KEY value", "", false},
      {2, "\"abc\"x", "x", false},
      {2, "ab\"c d\"", "c d", false},
      {2, "NAME \"D:\\My Tools\\run.bat\"", "D:\\My Tools\\run.bat", false},
      {2, "NAME \"D:\\My Tools", "D:\\My Tools", true},
      {1, "A \"open", "A", false},  // the unclosed quote lies beyond word 1
  };
  for (const Case& c : cases) {
    bool flag = !c.quote_error;
    EXPECT_EQ(extract_word(c.n, Text(c.in), kWordDelimiters, flag), Text(c.out))
        << c.n << " " << c.in;
    EXPECT_EQ(flag, c.quote_error) << c.n << " " << c.in;
  }
}

TEST(TextUtils, UpperCaseLatinAndCyrillic) {
  EXPECT_EQ(upper_case(Text("delay_Copy 9z")), Text("DELAY_COPY 9Z"));
  EXPECT_EQ(upper_case(Text("абвгдежзийклмнопрстуфхцчшщъыьэюя"_oem)),
            Text("АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ"_oem));
  EXPECT_EQ(upper_case(Text("ёж"_oem)), Text("ёЖ"_oem));
  // Every byte outside the two letter ranges stays as it is.
  for (int b = 0; b < 256; ++b) {
    bool letter = (b >= 'a' && b <= 'z') || (b >= 0xA0 && b <= 0xAF) || (b >= 0xE0 && b <= 0xEF);
    if (!letter) {
      EXPECT_EQ(upper_char(static_cast<unsigned char>(b)), b) << b;
    }
  }
}

TEST(TextUtils, TranslateCharsUsesFirstOccurrence) {
  EXPECT_EQ(translate_chars(Text("abcab"), "aba", "xyz"), Text("xycxy"));
  EXPECT_EQ(translate_chars(Text("abc"), "", ""), Text("abc"));
  // A to-table shorter than the from-table never reads past its end.
  EXPECT_EQ(translate_chars(Text("ab"), "ab", "X"), Text("Xb"));
}

TEST(TextUtils, AddBackslash) {
  EXPECT_EQ(add_backslash(Text("")), Text(""));
  EXPECT_EQ(add_backslash(Text("D:")), Text("D:\\"));
  EXPECT_EQ(add_backslash(Text("D:\\")), Text("D:\\"));
  EXPECT_EQ(add_backslash(Text("/tmp/in/")), Text("/tmp/in/"));
  EXPECT_EQ(add_backslash(Text("D:\\IN")), Text("D:\\IN\\"));
}

TEST(TextUtils, ProgramDirAndStartupDirs) {
  struct Case {
    const char* exe;
    const char* dir;
  } cases[] = {
      {"D:\\TOOLS\\QUORVANE.EXE", "D:\\TOOLS"},
      {"D:\\QUORVANE.EXE", "D:"},
      {"/opt/qv/quorvane", "/opt/qv"},
      {"quorvane", ""},
  };
  for (const Case& c : cases) {
    fake::FakePlatform fp;
    fp.env.exe = c.exe;
    fp.env.cwd = "E:\\START";
    qv::Run run(fp.platform);
    store_startup_dirs(run);
    EXPECT_EQ(run.program_dir, Text(c.dir)) << c.exe;
    EXPECT_EQ(run.start_dir, Text("E:\\START"));
  }
}

TEST(TimeText, TwoDigitsAndClockText) {
  EXPECT_EQ(two_digits(0), Text("00"));
  EXPECT_EQ(two_digits(9), Text("09"));
  EXPECT_EQ(two_digits(10), Text("10"));
  EXPECT_EQ(two_digits(100), Text("100"));

  fake::FakePlatform fp;
  qv::Run run(fp.platform);
  LocalTime t;
  t.year = 2026, t.month = 12, t.day = 31, t.weekday = 4;
  fp.clock.set(t);  // midnight
  EXPECT_EQ(time_text(run), Text("00:00:00"));
  t.hour = 23, t.minute = 59, t.second = 59;
  fp.clock.set(t);
  EXPECT_EQ(time_text(run), Text("23:59:59"));
  LocalTime stored = run.clock.get();
  EXPECT_EQ(stored.hour, 23);
  EXPECT_EQ(stored.second, 59);
  EXPECT_EQ(stored.year, 0);  // the date fields are not its business
}

std::vector<std::string> read_lines(const std::string& content) {
  fake::FakePlatform fp;
  fp.fs.add_file("C:\\F.TXT", content);
  Error err = Error::kNone;
  auto reader = LineReader::open(fp.fs, Text("C:\\F.TXT"), err);
  std::vector<std::string> lines;
  if (!reader) return {"<not opened>"};
  Text line;
  while (!reader->at_end() && reader->next(line)) lines.push_back(line.str());
  return lines;
}

TEST(LineReader, LineEndsCarriageReturnsAndCtrlZ) {
  using L = std::vector<std::string>;
  EXPECT_EQ(read_lines(""), L{});
  EXPECT_EQ(read_lines("a\nb"), (L{"a", "b"}));
  EXPECT_EQ(read_lines("a\r\nb\r\n"), (L{"a", "b"}));
  EXPECT_EQ(read_lines("\n\n"), (L{"", ""}));
  EXPECT_EQ(read_lines("a\rb\n"), L{"ab"});
  EXPECT_EQ(read_lines("ab\x1a"
                       "cd\nef"),
            L{"ab"});
  EXPECT_EQ(read_lines("ab\n\x1a\nzz"), L{"ab"});
  EXPECT_EQ(read_lines(std::string("a\0b\n", 4)), L{std::string("a\0b", 3)});
}

TEST(LineReader, LongLineKeepsItsHeadAndSkipsTheRest) {
  std::string head(255, 'x');
  std::string lines = head + std::string(9000, 'y') + "\nnext\n";
  std::vector<std::string> got = read_lines(lines);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], head);
  EXPECT_EQ(got[1], "next");
}

TEST(LineReader, MissingFileAndDirectoryCannotBeOpened) {
  fake::FakePlatform fp;
  fp.fs.add_dir("C:\\DIR");
  Error err = Error::kNone;
  EXPECT_EQ(LineReader::open(fp.fs, Text("C:\\NONE.TXT"), err), nullptr);
  EXPECT_NE(err, Error::kNone);
  err = Error::kNone;
  EXPECT_EQ(LineReader::open(fp.fs, Text("C:\\DIR"), err), nullptr);
  EXPECT_NE(err, Error::kNone);
}

}  // namespace
}  // namespace qv
