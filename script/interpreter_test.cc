#include "script/interpreter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

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
    EXPECT_FALSE(locate_script(run).has_value());
  }
  ScriptState& step() {
    interpretation_step(run);
    return run.script;
  }
  std::string transcript() const { return fp.console.transcript_utf8(); }
  fake::FakePlatform fp;
  qv::Run run{fp.platform};
};

// One spelling of each form: English in any case, Russian in any case, symbols.
TEST(InterpreterTest, EachFormOfTheCommandsSetsItsFlags) {
  struct Case {
    const char* word;
    bool clear_inputs, clear_outputs;
  } cases[] = {{"Do-Out", false, true}, {"Делать-входные", true, false}, {"00", true, true}};
  for (const Case& c : cases) {
    ScriptRun r(std::string("IN\r\nMask: *.x\r\nOUT\r\nCommand: ") + c.word + "\r\nNEXT\r\n");
    ScriptState& s = r.step();
    EXPECT_TRUE(s.block_ready) << c.word;
    r.step();  // the flags empty the lists; NEXT is read as an input
    EXPECT_EQ(s.inputs.size(), c.clear_inputs ? 1u : 2u) << c.word;
    EXPECT_EQ(s.outputs.size(), c.clear_outputs ? 0u : 1u) << c.word;
  }
}

// Each report names the file, the line and the raw line, then its message;
// the pieces of a row (split at '|') appear in this order.
TEST(InterpreterTest, ReportsNameFileLineAndRawLine) {
  struct Case {
    const char* line;
    uint8_t lang;
    const char* expected;
  } cases[] = {
      {"\"D:\\A --// x\"", 0, "incorrect syntax (\") in a line 3 :|->\"D:\\A --// x\"<-"},
      {"A B C D", 0, "incorrect amount of words (4) in line 3.|->A B C D<-"},
      {"D:\\My Files --// n", 0, " in line 3.|->D:\\My Files --// n<-|Unknown 1 word!"},
      {"Маска: *.txt", 1, " в строке 3.|->Маска: *.txt<-|Неизвестное 1 слово!"},
      {"Command: DO extra", 0, " in line 3.|->Command: DO extra<-|Incorrect syntax!"},
      {"Command: RUN", 0, "->Command: RUN<-|Unknown command ( 2 word )"},
      {"Mask: *.y", 0, "->Mask: *.y<-|Incorrect syntax of a mask!!!|The Mask will be redefined!!!"},
      {"Mask: *.y", 1, "Маска для поиска уже была определена!!!|Маска будет переопределена!!!"},
      {"Command: DO", 0, "Number of the input catalogues 0!|Number of the target catalogues 0!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.line) + (c.lang ? " ru" : " en"));
    ScriptRun r(std::string("--// head\r\nMask: *.x\r\n") + c.line + "\r\n", c.lang);
    r.step();
    const std::string out = r.transcript();
    std::size_t at = out.find(c.lang ? "Файл C:\\QV\\Quorvane.Qvr" : "File C:\\QV\\Quorvane.Qvr");
    for (std::string_view rest = c.expected; at != std::string::npos && !rest.empty();) {
      const std::size_t bar = std::min(rest.find('|'), rest.size());
      at = out.find(std::string(rest.substr(0, bar)), at);
      rest.remove_prefix(std::min(bar + 1, rest.size()));
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
      EXPECT_TRUE(i != 1 || s.mask.empty() == !c.mask_after_second);
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

}  // namespace
}  // namespace qv
