#pragma once

#include <string_view>

#include "runtime/display_seam.h"
#include "runtime/vm/vm.h"

namespace zv {

// Sets the handlers of the text console, input state, pointer, timing and
// refresh commands.
void RegisterConsoleHandlers(HandlerTable& table);

// Prints a text through the display at the text cursor and, where the run
// echoes its console (headless runs, tests), to the echo: a text that ends
// its line is echoed with a line end.
void ConsolePrint(Vm& vm, std::string_view text, TextFlow flow);

// The display the commands draw through; a stand-in that draws nothing when
// none is set.
DisplayServices& DisplayOf(Vm& vm);

}  // namespace zv
