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

using Names = std::vector<std::string>;

Names texts(const std::vector<Text>& list) {
  Names out;
  for (const Text& t : list) out.push_back(cp866_to_utf8(t.view()));
  return out;
}

// A run over a script beside the executable, opened as start-up opens it.
struct ScriptRun {
  explicit ScriptRun(std::string_view utf8, uint8_t lang = 0) {
    run.program_dir = "C:\\QV";
    run.settings.lang = lang;
    std::string oem;
    utf8_to_cp866(utf8, oem);
    fp.fs.add_file("C:\\QV\\Quorvane.Qvr", oem);
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
  const Names outs = {"E:\\ARCHIVE", "\\\\SERVER\\SHARE\\IN"};
  ScriptState& s = r.step();
  EXPECT_TRUE(s.block_ready);
  EXPECT_EQ(texts(s.inputs), ins);
  EXPECT_EQ(texts(s.outputs), outs);
  EXPECT_EQ(s.mask.str(), "*.dbf");
  r.step();
  EXPECT_TRUE(s.block_ready);
  EXPECT_EQ(texts(s.inputs), ins);
  EXPECT_EQ(texts(s.outputs), Names{"E:\\TEXTS"});
  EXPECT_EQ(s.mask.str(), "*.TXT");
  EXPECT_EQ(s.cycle, 1);
  r.step();  // closes the cycle and starts again at line 1
  EXPECT_EQ(s.cycle, 2);
  EXPECT_EQ(texts(s.outputs), outs);
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
    r.step();  // the flags empty the lists; NEXT is read as an input
    EXPECT_EQ(s.inputs.size(), c.clear_inputs ? 1u : 2u) << c.word;
    EXPECT_EQ(s.outputs.size(), c.clear_outputs ? 0u : 1u) << c.word;
  }
}

// Each report names the file, the line and the raw line, in this order.
TEST(InterpreterTest, ReportsNameFileLineAndRawLine) {
  struct Case {
    const char* line;
    uint8_t lang;
    Names expected;
  } cases[] = {
      {"\"D:\\A --// x\"", 0, {"incorrect syntax (\") in a line 3 :", "->\"D:\\A --// x\"<-"}},
      {"\"D:\\A", 1, {"неверный синтаксис (\") в строке 3 :", "->\"D:\\A<-"}},
      {"A B C D", 0, {"incorrect amount of words (4) in line 3.", "->A B C D<-"}},
      {"A B C D E", 1, {"неверное количество слов (5) в строке 3.", "->A B C D E<-"}},
      {"D:\\My Files --// n", 0, {" in line 3.", "->D:\\My Files --// n<-", "Unknown 1 word!"}},
      {"Маска: *.txt", 1, {" в строке 3.", "->Маска: *.txt<-", "Неизвестное 1 слово!"}},
      {"Command: DO extra", 0, {" in line 3.", "->Command: DO extra<-", "Incorrect syntax!"}},
      {"Command: DO extra", 1, {" в строке 3.", "Неверный синтаксис!"}},
      {"Command: RUN", 0, {"->Command: RUN<-", "Unknown command ( 2 word )"}},
      {"Command: RUN", 1, {"->Command: RUN<-", "Неизвестая команда ( 2 слово )"}},
      {"Mask: *.y",
       0,
       {"->Mask: *.y<-", "Incorrect syntax of a mask!!!", "The Mask will be redefined!!!"}},
      {"Mask: *.y",
       1,
       {"Маска для поиска уже была определена!!!", "Маска будет переопределена!!!"}},
      {"Command: DO",
       0,
       {"Number of the input catalogues 0!", "Number of the target catalogues 0!"}},
      {"Command: DO", 1, {"Количество входных каталогов 0!", "Количество выходных каталогов 0!"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.line) + (c.lang ? " ru" : " en"));
    ScriptRun r(std::string("--// head\r\nMask: *.x\r\n") + c.line + "\r\n", c.lang);
    r.step();
    const std::string out = r.transcript();
    std::size_t at = out.find(c.lang ? "Файл C:\\QV\\Quorvane.Qvr" : "File C:\\QV\\Quorvane.Qvr");
    for (const std::string& e : c.expected) {
      ASSERT_NE(at, std::string::npos) << e << "\n" << out;
      at = out.find(e, at);
    }
    EXPECT_NE(at, std::string::npos) << out;
  }
}

// A faulty line ends the step without a block; the next step goes on behind
// it with a fresh mask.
TEST(InterpreterTest, FaultyLineStopsTheStepWithoutABlock) {
  for (const char* faulty : {"\"bad", "A B C D"}) {
    ScriptRun r(std::string("IN\r\nMask: *.x\r\nOUT\r\n") + faulty + "\r\nMORE\r\nCommand: DO\r\n");
    ScriptState& s = r.step();
    EXPECT_FALSE(s.block_ready) << faulty;
    EXPECT_EQ(texts(s.inputs), Names{"IN"}) << faulty;
    EXPECT_EQ(texts(s.outputs), Names{"OUT"}) << faulty;
    EXPECT_EQ(s.line_number, 4) << faulty;
    r.step();
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
      SCOPED_TRACE(std::string(c.name) + " step " + std::to_string(i + 1));
      ScriptState& s = r.step();
      EXPECT_EQ(s.cycle, c.cycle_after[i]);
      EXPECT_TRUE(s.block_ready);
      if (i == 1) {
        EXPECT_EQ(s.mask.empty(), !c.mask_after_second);
      }
      const bool empty = c.script[0] == '\0';
      EXPECT_EQ(texts(s.inputs), empty ? Names{} : Names{"IN"});
      EXPECT_EQ(texts(s.outputs), empty ? Names{} : Names{"OUT"});
    }
  }
}

// DO-ALL with no outputs empties the inputs at once: the next block's inputs
// become outputs within the same step.
TEST(InterpreterTest, DoAllWithoutOutputsTurnsNextInputsIntoOutputs) {
  ScriptRun r("IN\r\nMask: *.x\r\nCommand: DO-ALL\r\nNEXT\r\nMask: *.y\r\nCommand: DO\r\n");
  ScriptState& s = r.step();
  const std::string out = r.transcript();
  const std::size_t redefined = out.find("The Mask will be redefined!!!");
  EXPECT_LT(out.find("Number of the target catalogues 0!"), redefined);
  EXPECT_LT(redefined, out.find("Number of the input catalogues 0!"));
  EXPECT_NE(out.find("Number of the input catalogues 0!"), std::string::npos) << out;
  EXPECT_TRUE(s.inputs.empty());
  EXPECT_EQ(texts(s.outputs), Names{"NEXT"});
  EXPECT_EQ(s.mask.str(), "*.y");
  EXPECT_FALSE(s.clear_inputs);
}

// Repeated inputs (in any case) and "" lines are dropped, repeated outputs
// kept; a mask takes its first word; a block of a mask and a command keeps
// the directories.
TEST(InterpreterTest, DirectoryAndMaskLinesFollowTheirRules) {
  ScriptRun r(
      "IN\r\nIN\r\nin\r\n\"\"\r\nMask: *.txt *.doc\r\nOUT\r\nOUT\r\n\"\"\r\nCommand: DO\r\n"
      "mask: *.b --// all\r\nCommand: **\r\n");
  ScriptState& s = r.step();
  EXPECT_EQ(texts(s.inputs), (Names{"IN", "in"}));
  EXPECT_EQ(texts(s.outputs), (Names{"OUT", "OUT"}));
  EXPECT_EQ(s.mask.str(), "*.txt");
  r.step();
  EXPECT_TRUE(s.block_ready);
  EXPECT_EQ(texts(s.inputs), (Names{"IN", "in"}));
  EXPECT_EQ(s.outputs.size(), 2u);
  EXPECT_EQ(s.mask.str(), "*.b");
  EXPECT_EQ(r.transcript(), "");
}

// Past the cycle limit the counter field (row 6) and the masks of the
// history panel (rows 3..11) are no longer updated.
TEST(InterpreterTest, CycleLimitStopsCounterAndHistoryUpdates) {
  for (int64_t limit : {3, 0}) {
    ScriptRun r("IN\r\nMask: *.x\r\nOUT\r\nCommand: DO\r\n");
    r.run.settings.valid_cycle_full_run = limit;
    draw_status_screen(r.run);
    for (int i = 0; i < 4; ++i) r.step();
    auto row = [&](int y, int from, int to) {
      std::string text;
      for (int x = from; x <= to; ++x) text += static_cast<char>(r.run.screen.cell(x, y).ch);
      return text;
    };
    const int shown = limit ? 3 : 4;
    EXPECT_EQ(row(6, 16, 29), std::string(13, ' ') + std::to_string(shown)) << limit;
    int history = 0;
    for (int y = 3; y <= 11; ++y) history += row(y, 2, 14).find("*.x") != std::string::npos;
    EXPECT_EQ(history, shown) << limit;
  }
}

}  // namespace
}  // namespace qv
