#include "app/program_run.h"

#include <cstdio>

#include "app/program_compiler.h"
#include "app/system_parts.h"
#include "runtime/startup.h"

namespace zv {

int RunProgramFromSource(const std::string& executable, const ProgramRun& run) {
  StartOptions options;
  options.executable_path = executable;
  options.headless = run.headless;
  options.frames = run.frames;
  options.screenshot = run.screenshot;
  options.command_line = run.command_line;
  options.app_folder = run.app_folder;
  SystemParts parts(executable, options.headless);
  StartServices services = parts.Services();
  services.window = run.window;
  services.clock = run.clock;
  const std::string source = run.source;
  const std::string include_folder = run.include_folder;
  ArrayNames array_names;
  services.compile = [source, include_folder, &array_names](const std::string& program, std::string* error) {
    return CompileProgram(source, include_folder, program, error, &array_names);
  };
  services.compile_traced = [source, include_folder, &array_names](const std::string& program,
                                                                   const std::string& dump, std::string* error) {
    return CompileProgramTraced(source, include_folder, program, dump, error, &array_names);
  };
  services.commands = ProgramCommandCatalog();
  services.array_names = &array_names;
  if (run.error_out) {
    services.error_out = [&run](std::string_view text) {
      std::fwrite(text.data(), 1, text.size(), stderr);
      std::fflush(stderr);
      run.error_out(text);
    };
  }
  return RunRuntime(options, std::move(services));
}

}  // namespace zv
