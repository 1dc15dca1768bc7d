#pragma once

#include <string>

#include "runtime/vm/vm.h"

namespace zv {

// Compiles the BASIC source at `source` into the program file `program`.
// On failure `error` holds the compiler's message (file, line, statement).
bool CompileProgram(const std::string& source, const std::string& program, std::string* error);

// The command table's names for the error report of a run from source.
const CommandCatalog* ProgramCommandCatalog();

}  // namespace zv
