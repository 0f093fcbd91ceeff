// Scenario files for qlscenario: a line-based script of what a user does with
// the real program on the headless window system, and what must hold. See
// README.md ("Scenario runner") for the format.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace ql::scenario {

enum class Op {
  // Before the run.
  ProgramFolder,  // program-folder PATH
  MemoryFile,     // memory-file GAME_FOLDER
  WriteFile,      // write-file PATH TEXT
  AnswerBox,      // answer box BUTTON
  AnswerDialog,   // answer dialog PATH
  CancelDialog,   // answer dialog cancel
  OffscreenGl,    // gl on|off
  // While the program runs, in order.
  ChooseList,     // choose-list INDEX
  ChooseCombo,    // choose-combo INDEX
  Menu,           // menu CAPTION/CAPTION/...
  Tick,           // tick [N]
  Mouse,          // mouse down|move|up|double X Y [left|right|middle]
  Wheel,          // wheel X Y NOTCHES
  Key,            // key home|end|CODE
  Scroll,         // scroll POSITION
  MoveMain,       // move-main LEFT TOP
  ResizeMain,     // resize-main WIDTH HEIGHT
  ResizeLog,      // resize-log WIDTH HEIGHT
  CloseMain,      // close-main
  // Expectations: checked in order while the program runs, or after it ended.
  ExpectFile,     // expect-file PATH
  ExpectNoFile,   // expect-no-file PATH
  ExpectBox,      // expect-box TEXT
  ExpectNoBox,    // expect-no-box
  ExpectLog,      // expect-log TEXT
  ExpectList,     // expect-list ENTRY...
};

struct Command {
  int line = 0;
  std::string name;  // the command word as written
  Op op = Op::Tick;
  std::vector<std::string> args;  // UTF-8, escapes resolved, variables not yet expanded
  std::vector<int32_t> numbers;   // the numeric arguments
};

struct Scenario {
  std::vector<Command> commands;  // in file order
};

// Splits a line into words: blanks separate, "..." quotes (with \" \\ \r \n
// \t \xHH inside), '#' at the start of a word begins a comment.
Result<std::vector<std::string>> splitWords(std::string_view line);

// Errors name the line and what is wrong with it.
Result<Scenario> parseScenario(std::string_view text);

struct RunOptions {
  std::filesystem::path scenarioDir;            // $SCENARIO
  std::map<std::string, std::string> variables;  // --set NAME=VALUE
  bool offscreenGl = true;                      // unless the scenario says `gl off`
  std::filesystem::path runtimeDir;             // empty: this build's runtime folder
};

// Runs the scenario and writes the transcript (UTF-8) to `out`. Returns true
// when the program ran, ended cleanly, took every scripted answer and every
// expectation held.
bool runScenario(const Scenario& scenario, const RunOptions& options, std::ostream& out);

}  // namespace ql::scenario
