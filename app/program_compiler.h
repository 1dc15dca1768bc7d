#pragma once

#include <string>
#include <vector>

#include "runtime/vm/vm.h"

namespace zv {

// A program's BASIC source as a run compiles it.
struct ProgramSource {
  std::string path;            // the .kqa file read
  std::string include_folder;  // where includes are found; empty: the file's folder
  std::string shown_name;      // what errors call the file; empty: its path
};

// Compiles the source into the program file `program`. On failure `error`
// holds the compiler's message (file, line, statement). The names of the
// program's arrays go to `names`, and the file and line of each expanded
// source line to `source_map`, when given.
// `included`, when given, gets every file the program includes.
bool CompileProgram(const ProgramSource& source, const std::string& program, std::string* error,
                    ArrayNames* names = nullptr, SourceMap* source_map = nullptr,
                    std::vector<std::string>* included = nullptr);
// As CompileProgram, and writes the numbered listing of the expanded source
// to `dump` as well (trace mode).
bool CompileProgramTraced(const ProgramSource& source, const std::string& program, const std::string& dump,
                          std::string* error, ArrayNames* names = nullptr, SourceMap* source_map = nullptr);

// The command table's names for the error report of a run from source.
const CommandCatalog* ProgramCommandCatalog();

}  // namespace zv
