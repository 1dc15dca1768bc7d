#include "app/program_compiler.h"

#include "compiler/command_table.h"
#include "compiler/compiler.h"

namespace zv {

namespace {

bool Compile(const ProgramSource& source, const std::string& program, const std::string& dump, std::string* error,
             ArrayNames* names, SourceMap* source_map, std::vector<std::string>* included = nullptr) {
  CompileOptions options;
  options.include_folder = source.include_folder;
  options.source_name = source.shown_name;
  options.debug_dump_path = dump;
  // What is compiled here is a run's or a build's work file, in its own
  // temporary folder.
  options.work_file = true;
  CompileResult result = CompileFile(source.path, program, options);
  if (!result.ok && error) *error = result.error ? FormatCompileError(*result.error) : "the program did not compile";
  if (result.ok && names) *names = std::move(result.array_names);
  if (result.ok && source_map) *source_map = std::move(result.source_map);
  if (result.ok && included) *included = std::move(result.included);
  return result.ok;
}

}  // namespace

bool CompileProgram(const ProgramSource& source, const std::string& program, std::string* error,
                    ArrayNames* names, SourceMap* source_map, std::vector<std::string>* included) {
  return Compile(source, program, "", error, names, source_map, included);
}

bool CompileProgramTraced(const ProgramSource& source, const std::string& program, const std::string& dump,
                          std::string* error, ArrayNames* names, SourceMap* source_map) {
  return Compile(source, program, dump, error, names, source_map);
}

const CommandCatalog* ProgramCommandCatalog() { return &BuiltinCommandCatalog(); }

}  // namespace zv
