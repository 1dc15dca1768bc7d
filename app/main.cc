#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/editor_launch.h"
#include "app/program_run.h"
#include "app/program_compiler.h"
#include "app/system_parts.h"
#include "editor/source_file.h"
#include "platform/paths/apart_content.h"
#include "platform/paths/deleted_file.h"
#include "platform/paths/growing_file.h"
#include "platform/paths/path_resolver.h"
#include "platform/paths/save_journal.h"
#include "platform/paths/temp_folder.h"
#include "platform/signals/stop_signals.h"
#include "platform/text/system_text.h"
#include "runtime/attached/attached_data.h"
#include "runtime/builder/exe_builder.h"
#include "runtime/startup.h"

namespace {

namespace fs = std::filesystem;

std::string SelfPath() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("/proc/self/exe") : self.string();
}

// The folder of `file`, ending with "/".
std::string FolderOf(const std::string& file) {
  std::error_code ec;
  fs::path folder = fs::absolute(file, ec).parent_path();
  return folder.string() + "/";
}

// The program's command line; a word it cannot hold is named on standard
// error, and the program runs with the words before it.
std::string ProgramLine(const std::vector<std::string>& words) {
  std::string left_out;
  std::string line = zv::ProgramCommandLine(words, &left_out);
  if (!left_out.empty()) zv::platform::WriteSystemText(stderr, "zentrovex: " + left_out + "\n");
  return line;
}

// A program named otherwise than its file in letter case (GAME.KQA saved by
// an older editor, given as game.kqa) is that file, as the editor's
// requesters find it: the entry of its folder that matches its name
// without regard to case, when nothing has the name as given. The user
// hears which file was taken; where several match, none is, and the user
// hears of each, and the command ends.
std::optional<std::string> ProgramFile(const std::string& given) {
  struct stat st {};
  if (given.empty() || ::lstat(given.c_str(), &st) == 0) return given;
  const fs::path path(given);
  const std::string name = path.filename().string();
  const std::string folder = path.has_parent_path() ? path.parent_path().string() + "/" : std::string();
  const std::vector<std::string> found = zv::platform::EntriesIgnoringCase(folder, name);
  if (found.empty()) return given;
  if (found.size() > 1) {
    std::string listed;
    for (size_t i = 0; i < found.size(); ++i)
      listed += (i == 0 ? "" : i + 1 == found.size() ? " and " : ", ") + folder + found[i];
    std::fprintf(stderr, "zentrovex: no file is named %s; %s differ from it only in letter case: name one of them\n",
                 given.c_str(), listed.c_str());
    return std::nullopt;
  }
  const std::string taken = folder + found.front();
  std::fprintf(stderr, "zentrovex: no file is named %s; taking %s\n", given.c_str(), taken.c_str());
  return taken;
}

// A built game takes its settings from the environment, since its whole
// command line belongs to the game.
int RunGame(const std::string& self, const std::vector<std::string>& args) {
  zv::StartOptions options;
  options.executable_path = self;
  options.standalone = true;
  options.command_line = ProgramLine(args);
  options.app_folder = FolderOf(self);
  const char* headless = std::getenv("ZENTROVEX_HEADLESS");
  options.headless = headless && std::string(headless) == "1";
  if (const char* frames = std::getenv("ZENTROVEX_FRAMES")) options.frames = static_cast<uint32_t>(std::strtoul(frames, nullptr, 10));
  if (const char* shot = std::getenv("ZENTROVEX_SCREENSHOT")) options.screenshot = shot;
  zv::SystemParts parts(self, options.headless);
  return zv::RunRuntime(options, parts.Services());
}

int Run(const std::string& self, const zv::CommandLine& line) {
  zv::ProgramRun run;
  run.source = fs::absolute(line.file).lexically_normal().string();
  run.app_folder = FolderOf(line.file);
  run.headless = line.headless;
  run.frames = static_cast<uint32_t>(line.frames);
  run.screenshot = line.screenshot;
  run.command_line = ProgramLine(line.program_args);
  return zv::RunProgramFromSource(self, run);
}

// Prints the builder's progress, as the editor's progress box would show it.
class PrintProgress final : public zv::EditorServices {
 public:
  void ShowProgressText(std::string_view text) override { std::printf("%.*s\n", static_cast<int>(text.size()), text.data()); }
};

int Build(const zv::CommandLine& line) {
  zv::platform::TempFolder temp;
  if (!temp.Valid()) {
    std::fprintf(stderr, "zentrovex: cannot make a temporary folder\n");
    return zv::kExitStartFailed;
  }
  PrintProgress progress;
  zv::BuildServices services;
  services.temp_folder = temp.Path() + "/";
  // The builder's own messages name files as the system does; a compile
  // error, in program text, joins them so.
  services.compile = [](const std::string& source, const std::string& program, std::string* error,
                         std::vector<std::string>* included) {
    const bool compiled = zv::CompileProgram({source, "", ""}, program, error, nullptr, nullptr, included);
    if (!compiled && error) *error = zv::platform::SystemTextOf(*error);
    return compiled;
  };
  services.progress = &progress;
  services.stop_requested = [] { return zv::platform::StopSignal() != 0; };
  zv::BuildRequest request{line.output, line.file, FolderOf(line.file)};
  request.program_name = std::filesystem::path(line.file).filename().string();
  zv::BuildResult result = zv::BuildExecutable(request, services);
  if (!result.ok) {
    std::fprintf(stderr, "zentrovex: build failed: %s\n", result.error.c_str());
    return 1;
  }
  // A stop signal that came once the game was in place ends nothing: the
  // build is complete, and its status says so rather than that it was
  // stopped.
  zv::platform::ClearStopSignal();
  std::printf("Wrote %s\n", line.output.c_str());
  return 0;
}

// What runs killed outright (SIGKILL, the out-of-memory killer) left in the
// temporary folder goes before this process adds its own.
void RemoveFoldersOfEndedRuns() { zv::platform::RemoveStaleTempFolders(zv::platform::TempFolderBase()); }

int Main(const std::vector<std::string>& args) {
  const std::string self = SelfPath();
  if (zv::HasAttachedRecords(self)) {
    RemoveFoldersOfEndedRuns();
    return RunGame(self, args);
  }

  std::string error;
  auto line = zv::ParseCommandLine(args, &error);
  if (!line) {
    std::fprintf(stderr, "zentrovex: %s\n\n%s", error.c_str(), zv::kUsage);
    return 2;
  }
  // The editor takes a program's name as its Load does: "game" is game.kqa.
  if (line->action == zv::CommandLine::Action::kEditor && !line->file.empty())
    line->file = zv::editor::WithProgramExtension(line->file);
  const std::optional<std::string> file = ProgramFile(line->file);
  if (!file) return line->action == zv::CommandLine::Action::kBuild ? 1 : zv::kExitStartFailed;
  line->file = *file;
  switch (line->action) {
    case zv::CommandLine::Action::kVersion:
      std::printf("zentrovex %s\n", ZV_VERSION);
      return 0;
    case zv::CommandLine::Action::kHelp:
      std::printf("%s", zv::kUsage);
      return 0;
    case zv::CommandLine::Action::kEditor:
      RemoveFoldersOfEndedRuns();
      return zv::RunEditorApp(self, *line);
    case zv::CommandLine::Action::kRun:
      RemoveFoldersOfEndedRuns();
      return Run(self, *line);
    case zv::CommandLine::Action::kBuild:
      RemoveFoldersOfEndedRuns();
      return Build(*line);
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Ctrl+C, a logout or a kill end a run or the editor the way their own
  // quit does, with everything cleaned up; then the process ends by the
  // signal, as its parent expects.
  zv::platform::CatchStopSignals();
  // Files whose saves in place were killed get their old content back
  // before anything reads them, and so do files a killed program deleted
  // and had not written anew; new files it wrote as it went are named as
  // such, and what it wrote anew apart is kept and named.
  zv::platform::RecoverKilledSaves();
  zv::platform::PutBackKilledDeletes();
  zv::platform::NameCutShortFiles();
  zv::platform::KeepKilledApartContent();
  int status = 1;
  // The run and the editor turn their own faults into errors; one that
  // escapes them still unwinds, so the temporary folder goes with it.
  try {
    status = Main(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "zentrovex: out of memory\n");
  } catch (const std::exception& fault) {
    std::fprintf(stderr, "zentrovex: %s\n", fault.what());
  }
  zv::platform::EndByStopSignal();
  return status;
}
