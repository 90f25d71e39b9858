// The task-script reader state and the block that the interpreter builds.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/text.h"

namespace qv {

class LineReader;

struct ScriptState {
  Text path;                         // full name the script was found under
  std::unique_ptr<LineReader> file;  // open for the whole run, reopened at rewind
  Text raw_line;                     // current line as read
  Text statement_line;               // comment stripped, edges trimmed
  int32_t line_number = 0;           // physical line, from 1; 0 after rewind
  bool read_failed = false;          // a read error ended the script early: the run ends
  std::vector<Text> inputs;          // input list, no duplicates
  std::vector<Text> outputs;         // output list, duplicates kept
  Text mask;                         // search mask of the block
  bool mask_defined = false;
  bool clear_inputs = false;
  bool clear_outputs = false;
  bool block_ready = false;  // false after a step stopped at a faulty line
  int64_t cycle = 1;         // script-cycle counter

  ScriptState();
  ~ScriptState();
};

}  // namespace qv
