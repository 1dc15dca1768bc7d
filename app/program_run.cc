#include "app/program_run.h"

#include <cstdio>

#include "app/program_compiler.h"
#include "app/system_parts.h"
#include "platform/text/system_text.h"
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
  options.title = run.shown_path.empty() ? run.source : run.shown_path;
  SystemParts parts(executable, options.headless);
  StartServices services = parts.Services();
  services.window = run.window;
  services.clock = run.clock;
  const ProgramSource source{run.source, run.include_folder, run.shown_path};
  ArrayNames array_names;
  SourceMap source_map;
  services.compile = [source, &array_names, &source_map](const std::string& program, std::string* error) {
    return CompileProgram(source, program, error, &array_names, &source_map);
  };
  services.compile_traced = [source, &array_names, &source_map](const std::string& program, const std::string& dump,
                                                                std::string* error) {
    return CompileProgramTraced(source, program, dump, error, &array_names, &source_map);
  };
  services.commands = ProgramCommandCatalog();
  services.array_names = &array_names;
  services.source_map = &source_map;
  if (run.error_out) {
    services.error_out = [&run](std::string_view text) {
      platform::WriteSystemText(stderr, text);
      run.error_out(text);
    };
  }
  return RunRuntime(options, std::move(services));
}

}  // namespace zv
