#include "app/editor_launch.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "app/event_script.h"
#include "app/program_run.h"
#include "app/script_clock.h"
#include "editor/editor_session.h"
#include "platform/present/presenter_factory.h"
#include "platform/window/sdl/sdl_window.h"
#include "platform/window/sdl/x_server_watch.h"
#include "runtime/startup.h"

namespace zv {
namespace {

namespace fs = std::filesystem;

std::string CurrentFolder() {
  std::error_code ec;
  const fs::path folder = fs::current_path(ec);
  return ec ? std::string("/") : folder.string();
}

// Makes a folder current for as long as it lives.
class InFolder {
 public:
  explicit InFolder(const std::string& folder) : previous_(CurrentFolder()) {
    std::error_code ec;
    fs::current_path(folder, ec);
  }
  ~InFolder() {
    std::error_code ec;
    fs::current_path(previous_, ec);
  }
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;

 private:
  std::string previous_;
};

}  // namespace

int RunEditorApp(const std::string& executable, const CommandLine& line) {
  platform::SystemClock system_clock;
  ScriptClock script_clock;
  std::unique_ptr<platform::Window> window;
  bool headless = line.headless || !line.events.empty();
  // A silent X server would hold the start, and every stop signal, for
  // ever. Once the editor runs, a stop signal keeps its unsaved programs at
  // once (the editor's ending work), and ends it a moment later should the
  // server give no answer.
  std::unique_ptr<platform::XServerWatch> x_server_watch;
  if (!headless && platform::DisplayNamed()) x_server_watch = platform::XServerWatch::Start(kExitStartFailed, nullptr);
  if (!headless) {
    platform::SdlWindowOptions window_options;
    window_options.width = 640;
    window_options.height = 480;
    std::string error;
    window = platform::OpenSdlWindow(window_options, &error);
    headless = window == nullptr;
    if (x_server_watch) x_server_watch->StartedUp();
    // Without a window nobody could use the editor; only a session whose
    // last frame was asked for is worth running unseen.
    if (headless && line.frames == 0 && line.screenshot.empty()) {
      std::fprintf(stderr, "zentrovex: the editor needs a display: %s\n", error.c_str());
      return kExitStartFailed;
    }
  }
  platform::Clock& clock = headless ? static_cast<platform::Clock&>(script_clock) : system_clock;
  platform::HeadlessWindow* script = nullptr;
  if (headless) {
    auto headless_window = std::make_unique<platform::HeadlessWindow>(clock);
    script = headless_window.get();
    window = std::move(headless_window);
    std::string error;
    if (!line.events.empty()) {
      if (!LoadEventScript(line.events, *script, &error)) {
        std::fprintf(stderr, "zentrovex: event script: %s\n", error.c_str());
        return 2;
      }
      script->KeepPace();
      script_clock.Follow(*script);
    }
  }

  editor::EditorSession session;
  session.window = window.get();
  session.clock = &clock;
  session.script = script;
  session.presenter = platform::MakePresenter(window->NativeHandle());
  session.clipboard = window->HasDisplay() ? platform::CreateSdlClipboard() : std::make_unique<platform::MemoryClipboard>();
  session.text = platform::CreateTextService();
  session.file = line.file;
  session.frames = static_cast<uint32_t>(line.frames);
  session.screenshot = line.screenshot;
  session.options.app_folder = CurrentFolder();
  session.options.stub_path = executable;
  platform::Window& run_window = *window;
  session.options.run_program = [&executable, &run_window, &clock, headless](const editor::RunRequest& request) {
    ProgramRun run;
    run.source = request.source;
    run.shown_path = request.shown_path;
    run.include_folder = request.folder;
    run.app_folder = request.folder + "/";
    run.headless = headless;
    run.window = &run_window;
    run.clock = &clock;
    std::string errors;
    run.error_out = [&errors](std::string_view text) { errors.append(text); };
    // The program starts in its own folder, where it finds its media.
    InFolder in_program_folder(request.folder);
    const int status = RunProgramFromSource(executable, run);
    return editor::RunOutcome{status != kExitStartFailed, status, errors};
  };
  return editor::RunEditorSession(session);
}

}  // namespace zv
