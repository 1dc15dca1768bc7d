#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/clock/clock.h"
#include "platform/window/window.h"

namespace zv {

// One run of a program from its source: compiled, then run with every part
// of the system. Both `zentrovex run` and the editor's Run go through it.
struct ProgramRun {
  std::string source;          // the .kqa file
  std::string include_folder;  // where includes are found; empty: the source's folder
  // The program's own file when `source` is a copy of it: what compile
  // errors and the window's title call it. Empty: `source`.
  std::string shown_path;
  std::string app_folder;      // SETUP.INI and KQ.LOG; ends with "/"
  bool headless = false;
  uint32_t frames = 0;
  std::string screenshot;
  std::string command_line;
  // The window and clock to run in (the editor's); null: the run opens its own.
  platform::Window* window = nullptr;
  platform::Clock* clock = nullptr;
  // Where the error report goes besides standard error (may be empty).
  std::function<void(std::string_view)> error_out;
};

// Returns the run's exit status.
int RunProgramFromSource(const std::string& executable, const ProgramRun& run);

}  // namespace zv
