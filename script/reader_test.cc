#include "script/reader.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/cp866.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

// A script found by name beside the executable, never in the current
// directory, and never a directory of that name.
TEST(ScriptLocation, MissingScriptIsReportedAndEndsWithSix) {
  struct Case {
    const char* program_dir;
    uint8_t lang;
    const char* elsewhere;  // a file (or directory, ending in '\') that is not the script
    const char* expected;
  } cases[] = {
      {"C:\\QV", 0, "C:\\WORK\\Quorvane.Qvr",
       "The file of a for interpretation is not found C:\\QV\\Quorvane.Qvr"},
      {"C:\\QV", 1, "C:\\QV\\Quorvane.Qvr\\",
       "Файл для интерпретации не найден C:\\QV\\Quorvane.Qvr"},
      {"", 0, "C:\\QV\\Quorvane.Qvr", "is not found Quorvane.Qvr"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.elsewhere);
    fake::FakePlatform fp;
    const std::string elsewhere = c.elsewhere;
    if (elsewhere.back() == '\\') fp.fs.add_dir(elsewhere.substr(0, elsewhere.size() - 1));
    if (elsewhere.back() != '\\') fp.fs.add_file(elsewhere, "IN\r\n");
    qv::Run run{fp.platform};
    run.program_dir = c.program_dir;
    run.settings.lang = c.lang;
    EXPECT_EQ(locate_script(run), Ending{6});
    EXPECT_NE(fp.console.transcript_utf8().find(c.expected), std::string::npos)
        << fp.console.transcript_utf8();
  }
}

class ReaderTest : public ::testing::Test {
 protected:
  void open(const std::string& text) {
    fp.fs.add_file("C:\\QV\\Quorvane.Qvr", text);
    run.program_dir = "C:\\QV";
    ASSERT_EQ(locate_script(run), std::nullopt);
  }
  fake::FakePlatform fp;
  qv::Run run{fp.platform};
};

// Blank lines are skipped but counted; a line is cut at 255 bytes and the rest
// of it dropped; the raw line keeps what the statement line loses.
TEST_F(ReaderTest, StatementLinesNamePhysicalLines) {
  open(
      "--// daily distribution\r\nD:\\EXCHANGE\\IN\r\n\r\n \t \r\n  Mask: *.dbf\t\r\n"
      "E:\\ARCHIVE --// long-term copy\r\n" +
      std::string(300, 'A') + "\r\n--// tail\r\n");
  struct Want {
    int32_t line;
    std::string statement, raw;
  } want[] = {
      {2, "D:\\EXCHANGE\\IN", "D:\\EXCHANGE\\IN"},
      {5, "Mask: *.dbf", "  Mask: *.dbf\t"},
      {6, "E:\\ARCHIVE", "E:\\ARCHIVE --// long-term copy"},
      {7, std::string(255, 'A'), std::string(255, 'A')},
      {8, "", "--// tail"},
  };
  for (const Want& w : want) {
    read_statement_line(run);
    EXPECT_EQ(run.script.line_number, w.line);
    EXPECT_EQ(run.script.statement_line.str(), w.statement) << "line " << w.line;
    EXPECT_EQ(run.script.raw_line.str(), w.raw) << "line " << w.line;
  }
  EXPECT_TRUE(script_at_end(run));
}

TEST_F(ReaderTest, RewindReopensTheChangedFileAtItsFirstLine) {
  open("OLD1\r\nOLD2\r\n");
  read_statement_line(run);
  read_statement_line(run);
  ASSERT_TRUE(script_at_end(run));
  fp.fs.add_file("C:\\QV\\Quorvane.Qvr", "\r\nNEW\r\n");
  rewind_script(run);
  EXPECT_EQ(run.script.line_number, 0);
  read_statement_line(run);
  EXPECT_EQ(run.script.statement_line.str(), "NEW");
  EXPECT_EQ(run.script.line_number, 2);
}

}  // namespace
}  // namespace qv
