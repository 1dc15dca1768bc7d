#pragma once

#include <string>

#include "app/command_line.h"

namespace zv {

// Opens the editor in a window (or headless, driven by the line's event
// script) and returns its exit status.
int RunEditorApp(const std::string& executable, const CommandLine& line);

}  // namespace zv
