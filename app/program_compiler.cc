#include "app/program_compiler.h"

#include "compiler/command_table.h"
#include "compiler/compiler.h"

namespace zv {

namespace {

bool Compile(const std::string& source, const std::string& program, const CompileOptions& options,
             std::string* error, ArrayNames* names) {
  CompileResult result = CompileFile(source, program, options);
  if (!result.ok && error) *error = result.error ? FormatCompileError(*result.error) : "the program did not compile";
  if (result.ok && names) *names = std::move(result.array_names);
  return result.ok;
}

}  // namespace

bool CompileProgram(const std::string& source, const std::string& include_folder, const std::string& program,
                    std::string* error, ArrayNames* names) {
  CompileOptions options;
  options.include_folder = include_folder;
  return Compile(source, program, options, error, names);
}

bool CompileProgramTraced(const std::string& source, const std::string& include_folder, const std::string& program,
                          const std::string& dump, std::string* error, ArrayNames* names) {
  CompileOptions options;
  options.include_folder = include_folder;
  options.debug_dump_path = dump;
  return Compile(source, program, options, error, names);
}

const CommandCatalog* ProgramCommandCatalog() { return &BuiltinCommandCatalog(); }

}  // namespace zv
