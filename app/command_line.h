#pragma once

#include <optional>
#include <string>
#include <vector>

#include "runtime/vm/string_heap.h"

namespace zv {

// What the command line asks for.
struct CommandLine {
  enum class Action { kEditor, kRun, kBuild, kVersion, kHelp };
  Action action = Action::kEditor;
  bool headless = false;
  int frames = 0;              // stop after this many presented frames; 0 = no limit
  std::string screenshot;      // PNG of the last presented frame
  std::string events;          // edit: a script of keys and mouse events (headless)
  std::string file;            // the .kqa source (edit: may be empty)
  std::string output;          // build: the game to write
  std::vector<std::string> program_args;  // everything after FILE
};

// Parses argv; on a malformed line returns nullopt and sets `error`.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args, std::string* error);

// The words after the program's file as the one line the program reads, in
// its character set: a word that is empty or holds a blank comes in quotes,
// as it was typed, so that the program can split the line into the same
// words again. The line holds whole words, at most as many characters as a
// string holds: it ends before a word it cannot hold (nor spell), and
// `left_out` then says which.
constexpr size_t kProgramCommandLineLimit = StringHeap::kMaxLength;
std::string ProgramCommandLine(const std::vector<std::string>& words, std::string* left_out = nullptr);

extern const char kUsage[];

}  // namespace zv
