// Jumps, the counted-loop step, subroutines and the end of the program.
#include "runtime/vm/opcodes/call_stack.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/opcodes/opcode_support.h"

namespace zv {
namespace {

constexpr int32_t kRanIntoFunction = 21;

// condition, target: jumps when the condition's word is 0.
void JumpIfZero(Vm& vm) {
  uint32_t condition = vm.WordAt(vm.NextSlot());
  uint32_t target = vm.NextTarget();
  if (condition == 0) vm.SetPc(target);
}

// target
void Jump(Vm& vm) { vm.SetPc(vm.NextTarget()); }

// an unread word, target
void JumpOverWord(Vm& vm) {
  vm.NextWord();
  vm.SetPc(vm.NextTarget());
}

// variable, limit, step (int slots), exit target. Adds the step, then leaves
// the loop once the variable has passed the limit in the step's direction;
// a step of 0 never leaves.
void LoopStep(Vm& vm) {
  Slot variable = vm.NextSlot();
  Slot limit_slot = vm.NextSlot();
  int32_t step = vm.NextInt();
  uint32_t exit = vm.NextTarget();
  int32_t value = core::WrapAdd(vm.IntAt(variable), step);
  vm.SetInt(variable, value);
  int32_t limit = vm.IntAt(limit_slot);
  bool done = step > 0 ? value > limit : step < 0 && value < limit;
  if (done) vm.SetPc(exit);
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
// innermost call is a user function's (whose return is another opcode),
// it does nothing: jumping to a function call's operands would run them.
void ReturnFromSubroutine(Vm& vm) {
  const int32_t top = vm.call_depth - 1;
  if (top < 0 || static_cast<size_t>(top) >= vm.call_stack.size() || core::IsFunctionCall(vm, top))
    return;
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
  for (int op : {1, 9, 12}) table.Set(op, JumpIfZero);
  for (int op : {2, 5, 6, 10, 42}) table.Set(op, Jump);
  table.Set(8, JumpOverWord);
  table.Set(7, LoopStep);
  table.Set(41, CallSubroutine);
  table.Set(43, ReturnFromSubroutine);
  table.Set(26, RanIntoFunction);
  table.Set(213, EndProgram);
}

}  // namespace zv
