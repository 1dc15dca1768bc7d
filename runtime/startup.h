#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/clock/clock.h"
#include "platform/window/window.h"
#include "runtime/display_seam.h"
#include "runtime/vm/vm.h"

namespace zv {

// Exit statuses of a run.
constexpr int kExitClean = 0;
constexpr int kExitRuntimeError = 1;  // the program ended on an error (or a warning)
constexpr int kExitStartFailed = 3;   // nothing ran

struct StartOptions {
  // The running executable; a built game finds its records in it.
  std::string executable_path;
  // The window's title until the program sets one: the program's own file
  // (a built game's is its executable). Empty: the executable's path.
  std::string title;
  // A built game: the program comes from the records and warnings are not
  // reported. Otherwise `compile` makes the program.
  bool standalone = false;
  bool headless = false;           // no window even where a display exists
  uint32_t frames = 0;             // stop after this many frames; 0: no limit
  std::string screenshot;          // PNG of the last presented frame
  std::string command_line;        // what the program reads as its command line
  std::string app_folder;          // SETUP.INI and KQ.LOG live here; ends with "/"
};

// Everything a run uses that tests replace; each left empty gets the real one.
struct StartServices {
  platform::Clock* clock = nullptr;
  // Used as given (and left to its owner); otherwise an SDL window, or a
  // headless one when no display can be opened or `headless` is set.
  platform::Window* window = nullptr;
  std::function<std::unique_ptr<DisplayServices>(platform::Window&, Vm&)> make_display;
  // Makes the input, file, system and memory services for the run once the
  // window and the machine exist; kept until the run ends. `input` (below)
  // is used instead when given. They keep the registry in
  // `user_state_folder` (below), in the user's config folder when it is empty.
  std::function<std::unique_ptr<InputServices>(platform::Window&, Vm&, platform::Clock&,
                                               const std::string& user_state_folder)>
      make_input;
  Engine3DServices* engine3d = nullptr;
  SoundServices* sound = nullptr;
  InputServices* input = nullptr;
  EditorServices* editor = nullptr;
  const CommandCatalog* commands = nullptr;  // where the compiler is
  const ArrayNames* array_names = nullptr;   // likewise; filled by `compile`
  const SourceMap* source_map = nullptr;     // likewise
  // Fills the handler table; the core and console commands when empty.
  std::function<void(HandlerTable&)> register_handlers;
  // Writes the compiled program to `program_path` (a run from source).
  std::function<bool(const std::string& program_path, std::string* error)> compile;
  // As `compile`, and also writes the numbered listing of the expanded
  // source to `dump_path`; used instead of `compile` in trace mode
  // (TRACEMODE=1 in SETUP.INI) when given.
  std::function<bool(const std::string& program_path, const std::string& dump_path, std::string* error)>
      compile_traced;
  // Where the console echo and the error text go: stdout and stderr when empty.
  std::function<void(std::string_view)> echo;
  std::function<void(std::string_view)> error_out;
  // Told the machine once the program is loaded, before it runs (tests).
  std::function<void(Vm&)> on_loaded;
  // Told the machine once the program has stopped, before anything of the
  // run is released (tests).
  std::function<void(Vm&)> on_stopped;
  // Where the user's remembered display card and the registry live (tests
  // keep theirs apart). Empty: the config folder, except that a headless
  // run keeps its display card in its temporary folder.
  std::string user_state_folder;
};

// Starts the program and runs it to its end: paths and settings, window,
// attached data, subsystems, program, display, message pump; then stops
// everything in reverse and reports a pending error (on stderr and, with a
// display, in a message box). Returns the exit status.
int RunRuntime(const StartOptions& options, StartServices services);

}  // namespace zv
