#include "services/files/console_output.h"

#include <string>

#include "runtime/runtime_state.h"

namespace zv {

void PrintServiceText(Vm& vm, std::string_view text, TextFlow flow) {
  if (!vm.runtime) return;
  ConsoleState& console = vm.runtime->console;
  if (vm.display) vm.display->QueueTextOutput(text, console.text_cursor_x, console.text_cursor_y, flow);
  if (!vm.runtime->console_echo) return;
  if (flow.advance)
    vm.runtime->console_echo(text);
  else
    vm.runtime->console_echo(std::string(text) + "\n");
}

}  // namespace zv
