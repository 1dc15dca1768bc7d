#pragma once

#include <string_view>

#include "runtime/display_seam.h"
#include "runtime/vm/vm.h"

namespace zv {

// Prints a text at the text cursor through the display, as the console's
// own printing does, and hands it to the console's echo (headless runs,
// tests), with a line end when the text ends its line.
void PrintServiceText(Vm& vm, std::string_view text, TextFlow flow);

// A listing or printing command shows its output in the next frame when the
// automatic refresh is on.
inline void YieldForRefresh(Vm& vm) {
  if (vm.auto_refresh) vm.yield = true;
}

}  // namespace zv
