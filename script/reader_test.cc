#include "script/reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/cp866.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

std::string oem(std::string_view utf8) {
  std::string out;
  utf8_to_cp866(utf8, out);
  return out;
}

class ReaderTest : public ::testing::Test {
 protected:
  ReaderTest() { run.program_dir = "C:\\QV"; }
  void write_script(std::string_view utf8, const std::string& path = "C:\\QV\\Quorvane.Qvr") {
    fp.fs.add_file(path, oem(utf8));
  }
  fake::FakePlatform fp;
  qv::Run run{fp.platform};
};

TEST_F(ReaderTest, FindsTheScriptBesideTheExecutable) {
  write_script("IN\r\n");
  EXPECT_EQ(locate_script(run), std::nullopt);
  EXPECT_EQ(run.script.path.str(), "C:\\QV\\Quorvane.Qvr");
  EXPECT_FALSE(script_at_end(run));
}

TEST_F(ReaderTest, MissingScriptIsReportedAndEndsWithSix) {
  struct Case {
    const char* name;
    const char* program_dir;
    uint8_t lang;
    bool script_in_cwd;
    std::string expected;
  } cases[] = {
      {"only in the current directory", "C:\\QV", 0, true,
       "The file of a for interpretation is not found C:\\QV\\Quorvane.Qvr"},
      {"russian", "C:\\QV", 1, false, "Файл для интерпретации не найден C:\\QV\\Quorvane.Qvr"},
      {"no program directory", "", 0, false, "is not found Quorvane.Qvr"},
  };
  for (const Case& c : cases) {
    fake::FakePlatform local;
    if (c.script_in_cwd) local.fs.add_file("C:\\WORK\\Quorvane.Qvr", "IN\r\n");
    local.fs.add_dir("C:\\QV");
    qv::Run r{local.platform};
    r.program_dir = c.program_dir;
    r.settings.lang = c.lang;
    EXPECT_EQ(locate_script(r), Ending{6}) << c.name;
    EXPECT_NE(local.console.transcript_utf8().find(c.expected), std::string::npos)
        << c.name << ": " << local.console.transcript_utf8();
  }
}

TEST_F(ReaderTest, DirectoryOfTheScriptNameIsNotTheScript) {
  fp.fs.add_dir("C:\\QV\\Quorvane.Qvr");
  EXPECT_EQ(locate_script(run), Ending{6});
}

TEST_F(ReaderTest, StatementLinesNamePhysicalLines) {
  write_script(
      "--// daily distribution\r\n"
      "D:\\EXCHANGE\\IN\r\n"
      "\r\n"
      " \t \r\n"
      "  Mask: *.dbf\t\r\n"
      "E:\\ARCHIVE --// long-term copy\r\n"
      "--// tail\r\n");
  ASSERT_EQ(locate_script(run), std::nullopt);
  struct Want {
    int32_t line;
    std::string statement, raw;
  } want[] = {
      {2, "D:\\EXCHANGE\\IN", "D:\\EXCHANGE\\IN"},
      {5, "Mask: *.dbf", "  Mask: *.dbf\t"},
      {6, "E:\\ARCHIVE", "E:\\ARCHIVE --// long-term copy"},
      {7, "", "--// tail"},
  };
  for (const Want& w : want) {
    read_statement_line(run);
    EXPECT_EQ(run.script.line_number, w.line);
    EXPECT_EQ(run.script.statement_line.str(), w.statement) << "line " << w.line;
    EXPECT_EQ(run.script.raw_line.str(), w.raw) << "line " << w.line;
  }
  EXPECT_TRUE(script_at_end(run));
}

TEST_F(ReaderTest, LongLineIsCutAndTheNextLineFollows) {
  write_script(std::string(300, 'A') + "\r\nNEXT\r\n");
  ASSERT_EQ(locate_script(run), std::nullopt);
  read_statement_line(run);
  EXPECT_EQ(run.script.statement_line.str(), std::string(255, 'A'));
  read_statement_line(run);
  EXPECT_EQ(run.script.statement_line.str(), "NEXT");
  EXPECT_EQ(run.script.line_number, 2);
}

TEST_F(ReaderTest, RewindReopensTheChangedFileAtItsFirstLine) {
  write_script("OLD1\r\nOLD2\r\n");
  ASSERT_EQ(locate_script(run), std::nullopt);
  read_statement_line(run);
  read_statement_line(run);
  ASSERT_TRUE(script_at_end(run));
  write_script("\r\nNEW\r\n");
  rewind_script(run);
  EXPECT_EQ(run.script.line_number, 0);
  read_statement_line(run);
  EXPECT_EQ(run.script.statement_line.str(), "NEW");
  EXPECT_EQ(run.script.line_number, 2);
}

TEST_F(ReaderTest, EmptyScriptIsAtItsEndAtOnce) {
  write_script("");
  ASSERT_EQ(locate_script(run), std::nullopt);
  EXPECT_TRUE(script_at_end(run));
  read_statement_line(run);
  EXPECT_TRUE(run.script.statement_line.empty());
  EXPECT_EQ(run.script.line_number, 0);
}

}  // namespace
}  // namespace qv
