#include "app/program_compiler.h"

#include "compiler/command_table.h"
#include "compiler/compiler.h"

namespace zv {

bool CompileProgram(const std::string& source, const std::string& program, std::string* error) {
  CompileResult result = CompileFile(source, program);
  if (!result.ok && error) *error = result.error ? FormatCompileError(*result.error) : "the program did not compile";
  return result.ok;
}

const CommandCatalog* ProgramCommandCatalog() { return &BuiltinCommandCatalog(); }

}  // namespace zv
