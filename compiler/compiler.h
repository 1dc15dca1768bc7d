#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/vm/program_file.h"

namespace zv {

struct CompileOptions {
  // Folder in which relative "#include" names are looked for; empty: the
  // folder of the source file (the current folder for CompileSource).
  std::string include_folder;
  // What errors call the main source file (CompileFile); empty: its path.
  // A program compiled from a copy is named by its own file.
  std::string source_name;
  // When set, the expanded source is written there as a numbered listing
  // (the trace mode's "KQ.KQA").
  std::string debug_dump_path;
  // Called with a rising percentage while the lines are compiled.
  std::function<void(int percent)> progress;
  // The output is a work file of the process's own temporary folder, read
  // back at once: it is not synced to the disk.
  bool work_file = false;
};

// The first error of a compile: where it is (a path of this machine), the
// statement as written and what is wrong (in the program's character set).
struct CompileError {
  std::string file;
  int line = 0;  // 0 when the error belongs to no line
  std::string statement;
  std::string message;
};

// "file:line: error: message" and, on the next line, the statement, all in
// the program's character set.
std::string FormatCompileError(const CompileError& error);

struct CompileResult {
  bool ok = false;
  std::optional<CompileError> error;  // set exactly when !ok
  ProgramFile program;                // the compiled program when ok
  ArrayNames array_names;             // its arrays' names, for runtime errors
  SourceMap source_map;               // each expanded line's file and line, likewise
  std::vector<std::string> included;  // every file the program includes, as found on disk
};

// Compiles BASIC source text. `source_name` names it in error messages.
CompileResult CompileSource(std::string_view text, const std::string& source_name = "program.kqa",
                            const CompileOptions& options = {});

// Compiles a source file and, when it compiles, writes the program file to
// `output_path` (through a temporary name, so a failed compile or write
// never leaves a partial file or destroys an older one).
CompileResult CompileFile(const std::string& source_path, const std::string& output_path,
                          const CompileOptions& options = {});

}  // namespace zv
