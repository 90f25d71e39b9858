#include "script/interpreter.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "platform/cp866.h"
#include "script/reader.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

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
  // One interpretation step; then inputs|outputs|mask, '+' for a block ready
  // ('-' for none), the script cycle and the physical line reached.
  std::string step() {
    interpretation_step(run);
    const ScriptState& s = run.script;
    std::string out;
    for (const Text& t : s.inputs) out += cp866_to_utf8(t.view()) + ",";
    out += "|";
    for (const Text& t : s.outputs) out += cp866_to_utf8(t.view()) + ",";
    return out + "|" + s.mask.str() + (s.block_ready ? " + " : " - ") + std::to_string(s.cycle) +
           " " + std::to_string(s.line_number);
  }
  fake::FakePlatform fp;
  qv::Run run{fp.platform};
};

// The pieces of `text` between the `separator` characters; none for "".
std::vector<std::string> split(std::string_view text, char separator) {
  std::vector<std::string> pieces(text.empty() ? 0 : 1);
  for (char c : text) {
    if (c == separator) pieces.emplace_back();
    if (c != separator) pieces.back() += c;
  }
  return pieces;
}

// Each row: a script, the state after each step, and the pieces (split at
// '|') the transcript holds in this order ("" for none). A report names the
// file, the line and the raw line, then its message; a faulty line ends the
// step without a block and the next step goes on behind it; the command
// forms (English, Russian, symbols, any case) empty their lists; repeated
// inputs (any case) and "" lines are dropped, repeated outputs kept.
TEST(InterpreterTest, StepsThroughScriptsAndReportsFaultyLines) {
  const std::string head = "--// head\r\nMask: *.x\r\n", blk = "IN\r\nMask: *.x\r\nOUT\r\n";
  const std::tuple<std::string, uint8_t, const char*, const char*> cases[] = {
      {blk + "Command: Do-Out\r\nNEXT\r\n", 0, "IN,|OUT,|*.x + 1 4;IN,NEXT,|| + 1 5", ""},
      {blk + "Command: Делать-входные\r\nNEXT\r\n", 0, "IN,|OUT,|*.x + 1 4;NEXT,|OUT,| + 1 5", ""},
      {blk + "Command: 00\r\nNEXT\r\n", 0, "IN,|OUT,|*.x + 1 4;NEXT,|| + 1 5", ""},
      {blk + "\"bad\r\nMORE\r\nCommand: DO\r\n", 0, "IN,|OUT,|*.x - 1 4;IN,MORE,|OUT,| + 1 6",
       "File C:|incorrect syntax (\") in a line 4 :|->\"bad<-"},
      {blk + "A B C D\r\nMORE\r\nCommand: DO\r\n", 0, "IN,|OUT,|*.x - 1 4;IN,MORE,|OUT,| + 1 6",
       "incorrect amount of words (4) in line 4.|->A B C D<-"},
      {blk + "Command: DO", 0, "IN,|OUT,|*.x + 1 4;IN,|OUT,|*.x + 2 4;IN,|OUT,|*.x + 3 4", ""},
      {blk + "Command: DO\r\n--// end\r\n\r\n", 0,
       "IN,|OUT,|*.x + 1 4;IN,|OUT,| + 1 6;IN,|OUT,|*.x + 2 4", ""},
      {blk, 0, "IN,|OUT,|*.x + 1 3;IN,|OUT,|*.x + 2 3;IN,|OUT,|*.x + 3 3", ""},
      {"", 0, "|| + 2 0;|| + 3 0;|| + 4 0", ""},
      // DO-ALL without outputs empties the inputs at once: the next block's
      // inputs become outputs within the same step.
      {"IN\r\nMask: *.x\r\nCommand: DO-ALL\r\nNEXT\r\nMask: *.y\r\nCommand: DO\r\n", 0,
       "|NEXT,|*.y + 1 6",
       "Number of the target catalogues 0!|The Mask will be redefined!!!|"
       "Number of the input catalogues 0!"},
      {"IN\r\nIN\r\nin\r\n\"\"\r\nMask: *.txt *.doc\r\nOUT\r\nOUT\r\n\"\"\r\nCommand: DO\r\n"
       "mask: *.b --// all\r\nCommand: **\r\n",
       0, "IN,in,|OUT,OUT,|*.txt + 1 9;IN,in,|OUT,OUT,|*.b + 1 11", ""},
      {head + "D:\\My Files --// n\r\n", 0, "",
       "File C:| in line 3.|->D:\\My Files --// n<-|Unknown 1 word!"},
      {head + "Маска: *.txt\r\n", 1, "",
       "Файл C:| в строке 3.|->Маска: *.txt<-|Неизвестное 1 слово!"},
      {head + "Command: DO extra\r\n", 0, "",
       " in line 3.|->Command: DO extra<-|Incorrect syntax!"},
      {head + "Command: RUN\r\n", 0, "", "->Command: RUN<-|Unknown command ( 2 word )"},
      {head + "Mask: *.y\r\n", 0, "",
       "->Mask: *.y<-|Incorrect syntax of a mask!!!|The Mask will be redefined!!!"},
      {head + "Mask: *.y\r\n", 1, "",
       "Маска для поиска уже была определена!!!|Маска будет переопределена!!!"},
      {head + "Command: DO\r\n", 0, "",
       "Number of the input catalogues 0!|Number of the target catalogues 0!"},
  };
  for (const auto& [script, lang, states, reports] : cases) {
    SCOPED_TRACE(script);
    ScriptRun r(script, lang);
    for (const std::string& state : split(states, ';')) EXPECT_EQ(r.step(), state);
    if (!states[0]) r.step();
    const std::string out = r.fp.console.transcript_utf8();
    std::size_t at = 0;
    for (const std::string& piece : split(reports, '|')) at = out.find(piece, at);
    EXPECT_TRUE(reports[0] ? at != std::string::npos : out.empty()) << out;
  }
}

}  // namespace
}  // namespace qv
