// Subroutines and the end of the program; the jumps and the counted-loop
// step are in hot_handlers.h.
#include "runtime/vm/numeric/float_to_int.h"
#include "runtime/vm/opcodes/call_stack.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/opcodes/opcode_support.h"

namespace zv {
namespace {

constexpr int32_t kRanIntoFunction = 21;
constexpr uint32_t kCheckLoopStep = 44;
constexpr int32_t kForStepCutToZero = 120;
constexpr int32_t kReturnWithoutGosub = 122;

// step (a float slot): stands before the first turn of a for loop whose step
// is a float worked out as the program runs. The loop counts in whole
// numbers, so a fraction between -1 and 1 would be cut to 0 and the loop
// would never move, which cannot be what the program meant; a step of 0
// itself is the program's own choice.
void CheckLoopStep(Vm& vm) {
  const float step = vm.NextFloat();
  if (step != 0 && FloatToInt(step) == 0) vm.RunError(kForStepCutToZero);
}

// target
void CallSubroutine(Vm& vm) {
  if (!core::CallFits(vm)) {
    vm.RunError(core::kCallStackFull);
    return;
  }
  uint32_t target = vm.NextTarget();
  int32_t running = core::RunningFunctionFrame(vm);
  CallEntry& entry = core::EntryForCall(vm);
  entry.return_pc = vm.Pc();
  entry.function_frame = running;
  ++vm.call_depth;
  vm.SetPc(target);
}

// Returns from the innermost subroutine. With none open, or when the
// innermost call is a user function's (whose return is another opcode:
// jumping to a function call's operands would run them), no gosub waits
// for it, and the program ran into its subroutine or left it otherwise.
void ReturnFromSubroutine(Vm& vm) {
  const int32_t top = vm.call_depth - 1;
  if (top < 0 || static_cast<size_t>(top) >= vm.call_stack.size() || core::IsFunctionCall(vm, top)) {
    vm.RunError(kReturnWithoutGosub);
    return;
  }
  vm.call_depth = top;
  vm.SetPc(vm.call_stack[static_cast<size_t>(top)].return_pc);
}

// Stands before every user function: the main program ran into one.
void RanIntoFunction(Vm& vm) {
  vm.Host().PostQuit();
  vm.yield = true;
  vm.program_ended = true;
  vm.RunError(kRanIntoFunction);
}

void EndProgram(Vm& vm) {
  vm.Host().PostQuit();
  vm.yield = true;
  vm.program_ended = true;
}

}  // namespace

void RegisterFlowHandlers(HandlerTable& table) {
  // Jumps and the loop step are hot handlers (registered with the
  // operators).
  table.Set(kCheckLoopStep, CheckLoopStep);
  table.Set(41, CallSubroutine);
  table.Set(43, ReturnFromSubroutine);
  table.Set(26, RanIntoFunction);
  table.Set(213, EndProgram);
}

}  // namespace zv
