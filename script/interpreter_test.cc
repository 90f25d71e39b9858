#include "script/interpreter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/status.h"
#include "platform/cp866.h"
#include "script/reader.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

std::string oem(std::string_view utf8) {
  std::string out;
  utf8_to_cp866(utf8, out);
  return out;
}

std::vector<std::string> texts(const std::vector<Text>& list) {
  std::vector<std::string> out;
  for (const Text& t : list) out.push_back(cp866_to_utf8(t.view()));
  return out;
}

using Names = std::vector<std::string>;

// A run over a script beside the executable, opened as start-up opens it.
struct ScriptRun {
  explicit ScriptRun(std::string_view utf8, uint8_t lang = 0) {
    run.program_dir = "C:\\QV";
    run.settings.lang = lang;
    fp.fs.add_file("C:\\QV\\Quorvane.Qvr", oem(utf8));
    located = !locate_script(run).has_value();
  }
  ScriptState& step() {
    interpretation_step(run);
    return run.script;
  }
  std::string transcript() const { return fp.console.transcript_utf8(); }
  fake::FakePlatform fp;
  qv::Run run{fp.platform};
  bool located = false;
};

TEST(InterpreterTest, WorkedExampleYieldsItsBlocksStepByStep) {
  ScriptRun r(
      "--// daily distribution\r\nD:\\EXCHANGE\\IN\r\n\"D:\\Exchange\\From branch\"\r\n"
      "Mask: *.dbf\r\nE:\\ARCHIVE --// long-term copy\r\n\\\\SERVER\\SHARE\\IN\r\n"
      "Command: DO-OUT\r\nMASK: *.TXT\r\nE:\\TEXTS\r\n");
  ASSERT_TRUE(r.located);
  const Names ins = {"D:\\EXCHANGE\\IN", "D:\\Exchange\\From branch"};
  ScriptState& s = r.step();
  EXPECT_TRUE(s.block_ready);
  EXPECT_EQ(texts(s.inputs), ins);
  EXPECT_EQ(texts(s.outputs), (Names{"E:\\ARCHIVE", "\\\\SERVER\\SHARE\\IN"}));
  EXPECT_EQ(s.mask.str(), "*.dbf");
  r.step();
  EXPECT_TRUE(s.block_ready);
  EXPECT_EQ(texts(s.inputs), ins);
  EXPECT_EQ(texts(s.outputs), Names{"E:\\TEXTS"});
  EXPECT_EQ(s.mask.str(), "*.TXT");
  EXPECT_EQ(s.cycle, 1);
  r.step();  // closes the cycle and starts again at line 1
  EXPECT_EQ(s.cycle, 2);
  EXPECT_EQ(texts(s.outputs), (Names{"E:\\ARCHIVE", "\\\\SERVER\\SHARE\\IN"}));
  EXPECT_EQ(s.line_number, 7);
  EXPECT_EQ(r.transcript(), "");  // no report on the way
}

TEST(InterpreterTest, EverySpellingOfTheCommandsSetsItsFlags) {
  struct Case {
    const char* word;
    bool clear_inputs, clear_outputs;
  } cases[] = {
      {"DO", false, false}, {"do", false, false},    {"ДЕЛАТЬ", false, false},
      {"**", false, false}, {"DO-IN", true, false},  {"делать-входные", true, false},
      {"0*", true, false},  {"Do-Out", false, true}, {"делать-выходные", false, true},
      {"*0", false, true},  {"do-all", true, true},  {"Делать-все", true, true},
      {"00", true, true},
  };
  for (const Case& c : cases) {
    ScriptRun r(std::string("IN\r\nMask: *.x\r\nOUT\r\nCommand: ") + c.word + "\r\nNEXT\r\n");
    ScriptState& s = r.step();
    EXPECT_TRUE(s.block_ready) << c.word;
    EXPECT_EQ(s.clear_inputs, c.clear_inputs) << c.word;
    EXPECT_EQ(s.clear_outputs, c.clear_outputs) << c.word;
    r.step();  // the flags empty the lists; NEXT is read as an input
    EXPECT_EQ(s.inputs.size(), c.clear_inputs ? 1u : 2u) << c.word;
    EXPECT_EQ(s.outputs.size(), c.clear_outputs ? 0u : 1u) << c.word;
  }
}

TEST(InterpreterTest, ReportsNameFileLineAndRawLine) {
  const std::string file = "C:\\QV\\Quorvane.Qvr";
  struct Case {
    const char* line;
    uint8_t lang;
    std::vector<std::string> expected;
  } cases[] = {
      {"\"D:\\A --// x\"", 0, {"incorrect syntax (\") in a line 3 :", "->\"D:\\A --// x\"<-"}},
      {"\"D:\\A", 1, {"неверный синтаксис (\") в строке 3 :", "->\"D:\\A<-"}},
      {"A B C D", 0, {"incorrect amount of words (4) in line 3.", "->A B C D<-"}},
      {"A B C D E", 1, {"неверное количество слов (5) в строке 3.", "->A B C D E<-"}},
      {"D:\\My Files --// n", 0, {" in line 3.", "->D:\\My Files --// n<-", "Unknown 1 word!"}},
      {"Маска: *.txt", 1, {" в строке 3.", "->Маска: *.txt<-", "Неизвестное 1 слово!"}},
      {"Command: DO extra", 0, {"->Command: DO extra<-", "Incorrect syntax!"}},
      {"Command: DO extra", 1, {"Неверный синтаксис!"}},
      {"Command: RUN", 0, {"->Command: RUN<-", "Unknown command ( 2 word )"}},
      {"Command: RUN", 1, {"Неизвестая команда ( 2 слово )"}},
      {"Mask: *.y", 0, {"Incorrect syntax of a mask!!!", "The Mask will be redefined!!!"}},
      {"Mask: *.y",
       1,
       {"Маска для поиска уже была определена!!!", "Маска будет переопределена!!!"}},
  };
  for (const Case& c : cases) {
    ScriptRun r(std::string("--// head\r\nMask: *.x\r\n") + c.line + "\r\n", c.lang);
    r.step();
    std::string out = r.transcript();
    std::string head = c.lang == 1 ? "Файл " + file : "File " + file;
    EXPECT_NE(out.find(head), std::string::npos) << c.line << "\n" << out;
    for (const std::string& e : c.expected)
      EXPECT_NE(out.find(e), std::string::npos) << c.line << ": " << e << "\n" << out;
  }
}

TEST(InterpreterTest, EmptyListsAreReportedInputsFirst) {
  ScriptRun r("Mask: *.x\r\nCommand: DO\r\n");
  ScriptState& s = r.step();
  std::string out = r.transcript();
  std::size_t in = out.find("Number of the input catalogues 0!");
  std::size_t target = out.find("Number of the target catalogues 0!");
  ASSERT_NE(in, std::string::npos) << out;
  ASSERT_NE(target, std::string::npos) << out;
  EXPECT_LT(in, target);
  EXPECT_NE(out.find("File C:\\QV\\Quorvane.Qvr in line 2."), std::string::npos);
  EXPECT_TRUE(s.outputs.empty());
}

TEST(InterpreterTest, FaultyLineStopsTheStepWithoutABlock) {
  for (const char* faulty : {"\"bad", "A B C D"}) {
    ScriptRun r(std::string("IN\r\nMask: *.x\r\nOUT\r\n") + faulty + "\r\nMORE\r\nCommand: DO\r\n");
    ScriptState& s = r.step();
    EXPECT_FALSE(s.block_ready) << faulty;
    EXPECT_EQ(texts(s.inputs), Names{"IN"}) << faulty;
    EXPECT_EQ(texts(s.outputs), Names{"OUT"}) << faulty;
    EXPECT_EQ(s.line_number, 4) << faulty;
    r.step();  // goes on behind the faulty line, with a fresh mask
    EXPECT_TRUE(s.block_ready) << faulty;
    EXPECT_EQ(texts(s.inputs), (Names{"IN", "MORE"})) << faulty;
    EXPECT_EQ(s.line_number, 6) << faulty;
  }
}

TEST(InterpreterTest, CycleClosesInTheStepAfterTheLastLines) {
  struct Case {
    const char* name;
    const char* script;
    int64_t cycle_after[3];
    bool mask_after_second;
  } cases[] = {
      {"DO as last line", "IN\r\nMask: *.x\r\nOUT\r\nCommand: DO", {1, 2, 3}, true},
      {"comments after DO",
       "IN\r\nMask: *.x\r\nOUT\r\nCommand: DO\r\n--// end\r\n\r\n",
       {1, 1, 2},
       false},
      {"no command line", "IN\r\nMask: *.x\r\nOUT\r\n", {1, 2, 3}, true},
      {"empty file", "", {2, 3, 4}, false},
  };
  for (const Case& c : cases) {
    ScriptRun r(c.script);
    for (int i = 0; i < 3; ++i) {
      ScriptState& s = r.step();
      EXPECT_EQ(s.cycle, c.cycle_after[i]) << c.name << " step " << i + 1;
      EXPECT_TRUE(s.block_ready) << c.name;
      if (i == 1) {
        EXPECT_EQ(s.mask.empty(), !c.mask_after_second) << c.name;
      }
      if (c.script[0] == '\0') continue;
      EXPECT_EQ(texts(s.inputs), Names{"IN"}) << c.name << " step " << i + 1;
      EXPECT_EQ(texts(s.outputs), Names{"OUT"}) << c.name << " step " << i + 1;
    }
  }
}

TEST(InterpreterTest, DoAllWithoutOutputsTurnsNextInputsIntoOutputs) {
  ScriptRun r("IN\r\nMask: *.x\r\nCommand: DO-ALL\r\nNEXT\r\nMask: *.y\r\nCommand: DO\r\n");
  ScriptState& s = r.step();
  std::string out = r.transcript();
  std::size_t target = out.find("Number of the target catalogues 0!");
  std::size_t redefined = out.find("The Mask will be redefined!!!");
  std::size_t input = out.find("Number of the input catalogues 0!");
  ASSERT_NE(target, std::string::npos) << out;
  ASSERT_NE(redefined, std::string::npos) << out;
  ASSERT_NE(input, std::string::npos) << out;
  EXPECT_LT(target, redefined);
  EXPECT_LT(redefined, input);
  EXPECT_TRUE(s.inputs.empty());
  EXPECT_EQ(texts(s.outputs), Names{"NEXT"});
  EXPECT_EQ(s.mask.str(), "*.y");
  EXPECT_FALSE(s.clear_inputs);
}

TEST(InterpreterTest, DirectoryAndMaskLinesFollowTheirRules) {
  ScriptRun r(
      "IN\r\nIN\r\nin\r\n\"\"\r\nMask: *.txt *.doc\r\nOUT\r\nOUT\r\n\"\"\r\nCommand: DO\r\n"
      "mask: *.b --// all\r\nCommand: **\r\n");
  ScriptState& s = r.step();
  EXPECT_EQ(texts(s.inputs), (Names{"IN", "in"}));
  EXPECT_EQ(texts(s.outputs), (Names{"OUT", "OUT"}));
  EXPECT_EQ(s.mask.str(), "*.txt");
  r.step();  // a block of a mask and a command keeps the directories
  EXPECT_TRUE(s.block_ready);
  EXPECT_EQ(texts(s.inputs), (Names{"IN", "in"}));
  EXPECT_EQ(s.outputs.size(), 2u);
  EXPECT_EQ(s.mask.str(), "*.b");
  EXPECT_EQ(r.transcript(), "");
}

// The counter field (row 6) and the masks in the history panel (rows 3..11).
std::string counter_field(Run& run) {
  std::string out;
  for (int x = 16; x <= 29; ++x) out += static_cast<char>(run.screen.cell(x, 6).ch);
  return out;
}
int history_rows_with(Run& run, const std::string& mask) {
  int rows = 0;
  for (int y = 3; y <= 11; ++y) {
    std::string row;
    for (int x = 2; x <= 14; ++x) row += static_cast<char>(run.screen.cell(x, y).ch);
    if (row.find(mask) != std::string::npos) ++rows;
  }
  return rows;
}

TEST(InterpreterTest, CycleLimitStopsCounterAndHistoryUpdates) {
  struct Case {
    int64_t limit;
    const char* counter;
    int history_rows;
  } cases[] = {{3, "             3", 3}, {0, "             4", 4}};
  for (const Case& c : cases) {
    ScriptRun r("IN\r\nMask: *.x\r\nOUT\r\nCommand: DO\r\n");
    r.run.settings.valid_cycle_full_run = c.limit;
    draw_status_screen(r.run);
    for (int i = 0; i < 4; ++i) r.step();
    EXPECT_EQ(r.run.script.cycle, 4);
    EXPECT_EQ(counter_field(r.run), c.counter) << "limit " << c.limit;
    EXPECT_EQ(history_rows_with(r.run, "*.x"), c.history_rows) << "limit " << c.limit;
  }
}

TEST(InterpreterTest, ClosingACycleRunsTheExternalProgram) {
  ScriptRun r("IN\r\nMask: *.x\r\nOUT\r\nCommand: DO\r\n");
  r.run.settings.run_batnik = true;
  r.run.settings.valid_exist_bat = false;
  r.run.settings.name_batnik = "after.bat";
  r.step();
  EXPECT_TRUE(r.fp.process.commands.empty());
  r.step();
  r.step();
  EXPECT_EQ(r.fp.process.commands, (std::vector<std::string>{"after.bat", "after.bat"}));
}

}  // namespace
}  // namespace qv
