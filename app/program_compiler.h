#pragma once

#include <string>

#include "runtime/vm/vm.h"

namespace zv {

// Compiles the BASIC source at `source` into the program file `program`,
// finding includes in `include_folder` (empty: the source's folder). On
// failure `error` holds the compiler's message (file, line, statement). The
// names of the program's arrays go to `names` when given.
bool CompileProgram(const std::string& source, const std::string& include_folder, const std::string& program,
                    std::string* error, ArrayNames* names = nullptr);
// As CompileProgram, and writes the numbered listing of the expanded source
// to `dump` as well (trace mode).
bool CompileProgramTraced(const std::string& source, const std::string& include_folder, const std::string& program,
                          const std::string& dump, std::string* error, ArrayNames* names = nullptr);

// The command table's names for the error report of a run from source.
const CommandCatalog* ProgramCommandCatalog();

}  // namespace zv
