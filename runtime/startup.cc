#include "runtime/startup.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/clipboard/clipboard.h"
#include "platform/paths/failure_cause.h"
#include "platform/paths/path_resolver.h"
#include "platform/paths/temp_folder.h"
#include "platform/signals/ending_work.h"
#include "platform/signals/stop_signals.h"
#include "platform/text/code_page.h"
#include "platform/text/system_text.h"
#include "platform/userstate/user_state.h"
#include "platform/window/headless/headless_window.h"
#include "platform/window/sdl/sdl_window.h"
#include "platform/window/sdl/x_server_watch.h"
#include "runtime/attached/attached_data.h"
#include "runtime/card_choice.h"
#include "runtime/console/console_commands.h"
#include "runtime/message_pump.h"
#include "runtime/runtime_state.h"
#include "runtime/vm/errors.h"
#include "runtime/vm/loader.h"
#include "runtime/vm/opcodes/core_handlers.h"

namespace zv {
namespace {

constexpr int32_t kScreenWidth = 640;
constexpr int32_t kScreenHeight = 480;
constexpr size_t kTitleLimit = 256;
// The trace mode's listing of the compiled source, in the application folder.
constexpr char kDebugDumpName[] = "KQ.KQA";

namespace start_error {
constexpr int32_t kDevice = 10003;
constexpr int32_t kDisplayMode = 10004;
constexpr int32_t kSurfaces = 10005;
constexpr int32_t kInput = 10007;
}  // namespace start_error

std::string CurrentFolder() {
  std::error_code ec;
  std::string folder = std::filesystem::current_path(ec).string();
  return ec ? std::string() : folder;
}

void ChangeFolder(const std::string& folder) {
  std::error_code ec;
  if (!folder.empty()) std::filesystem::current_path(folder, ec);
}

// What a run writes is program text; the terminal reads UTF-8.
void WriteStdout(std::string_view text) { platform::WriteSystemText(stdout, text); }
void WriteStderr(std::string_view text) { platform::WriteSystemText(stderr, text); }

// One run of the program, in the order of its start and stop.
class Runtime {
 public:
  Runtime(const StartOptions& options, StartServices& services)
      : options_(options), services_(services), clock_(services.clock ? services.clock : &system_clock_) {}

  int Run();

 private:
  void SetUpPaths();
  void OpenWindow();
  void MakeMachine();
  bool OpenAttachedData();
  void CloseAttachedData();
  void StartAndRun();
  bool InitDisplaySubsystems();
  bool LoadProgram();
  bool StartDisplay(bool skip);
  void StopDisplay(bool keep_device);
  void ShutdownSubsystems();
  void ResetDrawState();
  void ResetRuntimeState();
  void ReportError();
  void ReportStartFailure(const std::string& message);
  void WriteScreenshot();
  // Where the user's remembered settings live: the configuration folder
  // (empty) with a display, the run's temporary folder without one.
  std::string UserStateFolder() const;

  const StartOptions& options_;
  StartServices& services_;
  platform::SystemClock system_clock_;
  platform::Clock* clock_;
  platform::TempFolder temp_;
  // An end that the run's own way out cannot reach (the display lost, a
  // silent X server's) removes the temporary folder all the same.
  platform::EndingWork ending_{nullptr, [this] {
    if (temp_.Valid()) platform::RemoveTree(temp_.Path());
  }};
  RuntimeState state_;
  DisplayChoices choices_;
  // Before the window, so that it watches until the window is gone.
  std::unique_ptr<platform::XServerWatch> x_server_watch_;
  std::unique_ptr<platform::Window> owned_window_;
  platform::Window* window_ = nullptr;
  std::unique_ptr<platform::Clipboard> clipboard_;
  HandlerTable handlers_;
  NullDisplay null_display_;  // the host's display until the real one exists
  std::unique_ptr<RuntimeHost> host_;
  std::unique_ptr<Vm> vm_;
  std::unique_ptr<InputServices> owned_input_;  // after vm_: it holds the machine
  std::unique_ptr<DisplayServices> display_;
  std::unique_ptr<MessagePump> pump_;
  std::unique_ptr<AttachedData> attached_;
  std::string start_failure_;
  bool screenshot_failed_ = false;
  bool ran_ = false;
};

std::string Runtime::UserStateFolder() const {
  if (!services_.user_state_folder.empty()) return services_.user_state_folder;
  return window_->HasDisplay() ? std::string() : state_.temp_folder;
}

void Runtime::SetUpPaths() {
  state_.startup_folder = CurrentFolder();
  state_.temp_folder = temp_.Valid() ? temp_.Path() + "/" : std::string();
}

void Runtime::OpenWindow() {
  window_ = services_.window;
  if (!window_ && !options_.headless) {
    // A silent X server would hold the start, and every stop signal, for
    // ever: the watch ends the run instead, its temporary folder removed
    // (ending_).
    if (platform::DisplayNamed()) x_server_watch_ = platform::XServerWatch::Start(kExitStartFailed, nullptr);
    platform::SdlWindowOptions window_options;
    std::string error;
    owned_window_ = platform::OpenSdlWindow(window_options, &error);
    window_ = owned_window_.get();
    // Without a display the run goes on headless. With one named, a window
    // that cannot be made is a failed start: run unseen, the program would
    // wait at its first question for keys that can never come.
    if (!window_ && platform::DisplayNamed()) ReportStartFailure(error);
  }
  if (!window_) {
    owned_window_ = std::make_unique<platform::HeadlessWindow>(*clock_);
    window_ = owned_window_.get();
  }
  if (window_->HasDisplay()) {
    clipboard_ = platform::CreateSdlClipboard();
  } else {
    clipboard_ = std::make_unique<platform::MemoryClipboard>();
    // Without a display nobody would see the console: it goes to stdout.
    state_.console_echo = services_.echo ? services_.echo : WriteStdout;
  }
  state_.window_handle = window_;
  state_.notice = WriteStderr;
}

bool Runtime::InitDisplaySubsystems() {
  if (!vm_->input->InitInput()) {
    vm_->errors.code = start_error::kInput;
    return false;
  }
  vm_->sound->InitMusicSystem();
  vm_->sound->StartSoundSystem();
  display_->AllocateRecordPools();
  return true;
}

bool Runtime::LoadProgram() {
  std::string program_path;
  if (options_.standalone) {
    auto extracted = attached_->ExtractProgramEntry();
    if (!extracted) {
      ReportStartFailure("the game holds no program");
      return false;
    }
    program_path = *extracted;
  } else {
    program_path = state_.temp_folder + "_virtual.dat";
    std::string error;
    bool compiled = false;
    if (state_.settings.trace_mode && services_.compile_traced)
      compiled = services_.compile_traced(program_path, options_.app_folder + kDebugDumpName, &error);
    else if (services_.compile)
      compiled = services_.compile(program_path, &error);
    if (!compiled) {
      ReportStartFailure(error.empty() ? "the program did not compile" : error);
      return false;
    }
  }
  std::string error;
  if (!LoadProgramImage(*vm_, program_path, &error)) {
    ReportStartFailure("cannot load the program: " + platform::ProgramTextOf(error));
    return false;
  }
  if (services_.on_loaded) services_.on_loaded(*vm_);
  return true;
}

void Runtime::ResetDrawState() {
  vm_->render_timing.draw_queue = 0;
  display_->ResetDrawState(state_.settings.working_depth);
}

void Runtime::ResetRuntimeState() {
  vm_->data_read_index = 0;
  vm_->arrays.ReleaseAll(vm_->Strings());
  state_.console.text_cursor_x = state_.console.text_cursor_y = 0;
  state_.console.end_text.clear();
  state_.window.cursor_shown = false;
  vm_->render_timing.collision_on = true;
  display_->ResetRuntimeState();
}

bool Runtime::StartDisplay(bool skip) {
  Settings& s = state_.settings;
  ReadStartupSettings(s, choices_, attached_.get(), state_.startup_folder + "/");
  if (!skip) {
    const std::string user_folder = UserStateFolder();
    const platform::UserState user_state =
        user_folder.empty() ? platform::UserState::InConfigFolder() : platform::UserState::InFolder(user_folder);
    ChooseBest3DCard(s, user_state, *display_, *pump_, *host_);
  }
  display_->SetFullScreenFlag(choices_.full_screen);
  if (!skip && !display_->CreateDirectDrawObject(false, true)) {
    vm_->errors.code = start_error::kDevice;
    return false;
  }
  if (!choices_.windowed) {
    if (!skip && !display_->SetDisplayMode(kScreenWidth, kScreenHeight, s.working_depth)) {
      vm_->errors.code = start_error::kDisplayMode;
      return false;
    }
  } else if (s.window_mode_state == window_mode::kFromSettings) {
    window_->SetPlacement({s.window_left, s.window_top, s.window_width, s.window_height});
    s.window_mode_state = window_mode::kPlaced;
  } else {
    const platform::WindowRect desktop = window_->Desktop();
    window_->SetPlacement({0, 0, desktop.width, desktop.height});
  }
  ResetDrawState();
  if (!display_->CreateSurfacesAndDevice(kScreenWidth, kScreenHeight)) {
    vm_->errors.code = start_error::kSurfaces;
    return false;
  }
  window_->ShowCursor(false);
  state_.window.cursor_shown = false;
  for (int i = 0; i < 2; ++i) {
    display_->ClearBackBuffer();
    display_->PresentFrame();
  }
  display_->ResetRecordPools();
  state_.console.entry_buffer.clear();
  display_->Reset3DDefaults();
  display_->LoadPointerBitmap();
  display_->CreateCursorSprites(1);
  ResetRuntimeState();
  vm_->sound->ResetSound3DDefaults();
  state_.display_folder = CurrentFolder();
  vm_->input->AcquireInputDevices();
  vm_->engine3d->ClearViewportColour(0);
  display_->QueueClearScreenEntry(0);
  display_->QueueClearScreenEntry(0);
  return true;
}

void Runtime::StopDisplay(bool keep_device) {
  vm_->input->CloseFtpConnection();
  vm_->input->UnacquireInputDevices();
  vm_->input->ReleaseForceEffects();
  ResetDrawState();
  vm_->sound->DeleteAllMusic();
  vm_->sound->FreeAllSounds();
  display_->ReleaseAllAnimations();
  display_->DeleteCursorSprites();
  display_->ReleasePointerBitmap();
  vm_->input->FreeMultiplayerResources();
  vm_->input->FreeMemoryBlocks();
  vm_->engine3d->ReleaseAll();
  vm_->input->CloseNumberedFiles();
  display_->ReleaseDisplayObjects(keep_device);
  FreeProgram(*vm_);
  ChangeFolder(state_.display_folder);
  if (display_->Windowed()) display_->ResetWindowToFullScreen();
}

void Runtime::ShutdownSubsystems() {
  display_->FreeRecordPools();
  display_->ReleaseDisplayObjects(false);
  vm_->sound->ShutdownMusicSystem();
  vm_->sound->StopSoundSystem();
  vm_->input->ShutdownInput();
}

void Runtime::ReportStartFailure(const std::string& message) { start_failure_ = message; }

void Runtime::ReportError() {
  auto error_out = services_.error_out ? services_.error_out : WriteStderr;
  if (!start_failure_.empty()) error_out("zentrovex: " + start_failure_ + "\n");
  // Boxes show only where there is a display; the headless window keeps them
  // for whoever looks.
  if (vm_->errors.code > 0) {
    const std::string text = FormatErrorMessage(vm_->errors);
    LogRuntimeError(vm_->settings, text);
    error_out(text + "\n");
    window_->ShowCursor(true);
    if (state_.settings.runtime_test)
      window_->ShowMessageBox("ERRORINFO: " + text, vm_->errors.error_info, platform::MessageBoxIcon::kNone);
    else
      window_->ShowMessageBox("Error In Program", text, platform::MessageBoxIcon::kError);
  }
  if (state_.exit_prompt_on) {
    window_->ShowCursor(true);
    window_->ShowMessageBox(state_.exit_prompt_title, state_.exit_prompt_text, platform::MessageBoxIcon::kNone);
  }
}

void Runtime::WriteScreenshot() {
  if (options_.screenshot.empty() || display_->WriteScreenshot(options_.screenshot)) return;
  auto error_out = services_.error_out ? services_.error_out : WriteStderr;
  if (errno == 0) {
    error_out("zentrovex: no presented frame to write to " + platform::ProgramTextOf(options_.screenshot) + "\n");
    return;
  }
  // A picture asked for and not written is a failed run.
  const std::string cause = platform::CauseOf(errno);
  error_out("zentrovex: could not write the screenshot \"" + platform::ProgramTextOf(options_.screenshot) + "\": " +
            cause + "\n");
  screenshot_failed_ = true;
}

void Runtime::MakeMachine() {
  if (services_.register_handlers) {
    services_.register_handlers(handlers_);
  } else {
    RegisterCoreHandlers(handlers_);
    RegisterConsoleHandlers(handlers_);
  }
  // The host comes first (the machine needs it), the display last (it may
  // need the machine); the host learns of the display once it exists.
  host_ = std::make_unique<RuntimeHost>(*clock_, *window_, null_display_, *clipboard_);
  vm_ = std::make_unique<Vm>(handlers_, *host_);
  Vm& vm = *vm_;
  if (services_.engine3d) vm.engine3d = services_.engine3d;
  if (services_.sound) vm.sound = services_.sound;
  if (services_.input) {
    vm.input = services_.input;
  } else if (services_.make_input) {
    // The registry keeps a program's values where a run with a window keeps
    // them, also without a display: they outlive the run.
    owned_input_ = services_.make_input(*window_, vm, *clock_, services_.user_state_folder);
    if (owned_input_) vm.input = owned_input_.get();
  }
  if (services_.editor) vm.editor = services_.editor;
  vm.commands = services_.commands;
  vm.array_names = services_.array_names;
  vm.source_map = services_.source_map;
  vm.command_line = options_.command_line;
  vm.settings.debug_mode = state_.settings.debug_mode;
  vm.settings.runtime_test = state_.settings.runtime_test;
  vm.settings.app_folder = options_.app_folder;
  vm.runtime = &state_;
  if (services_.make_display) display_ = services_.make_display(*window_, vm);
  if (!display_) display_ = std::make_unique<NullDisplay>();
  host_->SetDisplay(*display_);
  vm.display = display_.get();
  pump_ = std::make_unique<MessagePump>(vm, *host_, state_);
  pump_->SetFrameLimit(options_.frames);
}

bool Runtime::OpenAttachedData() {
  if (!options_.standalone) return true;
  attached_ = std::make_unique<AttachedData>(state_.temp_folder);
  std::string error;
  if (attached_->Load(options_.executable_path, &error) != AttachedData::LoadResult::kLoaded) {
    ReportStartFailure(error.empty() ? "the game holds no program" : platform::ProgramTextOf(error));
    return false;
  }
  vm_->attached_data = attached_.get();
  // Every writer of a file by name tells the path helper, and so the game's
  // carried names, of its write.
  platform::Paths().SetLayer(attached_.get());
  return true;
}

void Runtime::CloseAttachedData() {
  if (attached_) platform::Paths().SetLayer(nullptr);
  vm_->attached_data = nullptr;
  attached_.reset();
}

// Each step of the start depends on the one before; a failing step skips
// the rest and goes straight to the shutdown.
void Runtime::StartAndRun() {
  // The window takes program text; the path is the file system's UTF-8.
  const std::string& path = options_.title.empty() ? options_.executable_path : options_.title;
  window_->SetTitle(platform::Utf8ToCp1252(path).substr(0, kTitleLimit));
  if (!OpenAttachedData() || !InitDisplaySubsystems() || !LoadProgram()) return;
  state_.settings.window_mode_state = window_mode::kStarting;
  if (!StartDisplay(false)) return;
  if (x_server_watch_) x_server_watch_->StartedUp();
  vm_->standalone = options_.standalone;
  ran_ = true;
  pump_->RunMessageLoop();
  // A run stopped by an error or a signal ends where it stood.
  if (vm_->errors.code == 0 && platform::StopSignal() == 0) pump_->FinishRun();
  if (services_.on_stopped) services_.on_stopped(*vm_);
  WriteScreenshot();
  CloseAttachedData();
  StopDisplay(false);
}

int Runtime::Run() {
  SetUpPaths();
  ReadSetupIni(state_.settings, choices_, options_.app_folder, state_.startup_folder + "/");
  OpenWindow();
  MakeMachine();
  if (!temp_.Valid())
    ReportStartFailure("cannot make a temporary folder");
  else if (start_failure_.empty())
    StartAndRun();
  CloseAttachedData();
  ShutdownSubsystems();
  ReportError();
  ChangeFolder(state_.startup_folder);
  ::unlink((state_.temp_folder + "workfile.wav").c_str());

  if (!start_failure_.empty()) return kExitStartFailed;
  if (vm_->errors.code > 0) return ran_ ? kExitRuntimeError : kExitStartFailed;
  return screenshot_failed_ ? kExitRuntimeError : kExitClean;
}

}  // namespace

int RunRuntime(const StartOptions& options, StartServices services) {
  Runtime runtime(options, services);
  return runtime.Run();
}

}  // namespace zv
