// User-function calls and returns, with the saving of the running function's
// parameters and variables, so a recursive call finds them again afterwards.
//
// A call saves the variables of the function whose body is running: the
// function of the nearest enclosing user-function call entry, skipping the
// entries of subroutines called inside it. With only the main program (and
// its subroutines) running nothing is saved, as at depth 0.
//
// The saved block is a run of records, each naming the slot it came from:
// [slot, word] for an int or float, [slot | kTextRecord, length, bytes
// packed four to a word] for a string, which is thereby a private copy. The
// return writes each record back to its own slot, except into a variable
// that has since become an array. The call entry keeps the block's memory
// for the next call at its depth.
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/vm/opcodes/call_stack.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/opcodes/opcode_support.h"

namespace zv {
namespace {

constexpr int32_t kMaxArguments = 127;  // the call stack keeps counts as signed bytes
constexpr uint32_t kTextRecord = 0x80000000u;

// The value slot that the code word at `position` names (a parameter word of
// a function, an argument operand of a call).
Slot SlotWordAt(const Vm& vm, uint32_t position) {
  uint32_t word = vm.CodeWord(position);
  uint32_t index = word - static_cast<uint32_t>(operand::kSlotFirst);
  if (position >= vm.CodeSize() || index >= slots::kAddressable)
    throw OperandFault("a function's parameter word is not a value slot");
  return Slot{index};
}

// True when the slot is a variable that carries an array.
bool IsArrayVariable(const Vm& vm, Slot s) {
  return s.index >= slots::kIntVar && vm.arrays.IsArray(s.index - slots::kIntVar);
}

// ---- The saved block -------------------------------------------------------

void SaveText(const Vm& vm, Slot s, std::vector<uint32_t>& block) {
  std::string_view text = vm.StringAt(s);
  block.push_back(s.index | kTextRecord);
  block.push_back(static_cast<uint32_t>(text.size()));
  size_t first = block.size();
  block.resize(first + (text.size() + 3) / 4, 0);
  if (!text.empty()) std::memcpy(&block[first], text.data(), text.size());
}

// Numbers are the common case of every call: kept inline.
ZV_ALWAYS_INLINE void SaveSlot(const Vm& vm, Slot s, std::vector<uint32_t>& block) {
  if (core::IsStringSlot(s)) {
    SaveText(vm, s, block);
    return;
  }
  block.push_back(s.index);
  block.push_back(vm.WordAt(s));
}

// Saves, into `block`, the parameters of the running function's own call,
// then its int, float and string variables that are not arrays. Nothing is
// saved while no user function runs.
void SaveRunningFunction(const Vm& vm, std::vector<uint32_t>& block) {
  int32_t frame = core::RunningFunctionFrame(vm);
  if (frame < 0) return;
  const CallEntry& call = vm.call_stack[static_cast<size_t>(frame)];
  const std::vector<uint32_t>& owned = vm.OwnedSlots(vm.current_function);
  block.reserve(2 * (static_cast<size_t>(call.argument_count) + owned.size()));
  for (int32_t i = 0; i < call.argument_count; ++i)
    SaveSlot(vm, SlotWordAt(vm, call.function_entry + static_cast<uint32_t>(i)), block);
  for (uint32_t slot : owned)
    if (!IsArrayVariable(vm, Slot{slot})) SaveSlot(vm, Slot{slot}, block);
}

// Writes the saved block back and empties it (keeping its memory for the
// next call at this depth).
void RestoreFunctionVariables(Vm& vm, CallEntry& call) {
  if (!core::HasSavedVariables(call)) return;
  std::vector<uint32_t>& b = *call.saved;
  size_t at = 0;
  while (at + 2 <= b.size()) {
    Slot s{b[at] & ~kTextRecord};
    bool text = (b[at] & kTextRecord) != 0;
    uint32_t value = b[at + 1];
    at += 2;
    if (!text) {
      if (!IsArrayVariable(vm, s)) vm.SetWord(s, value);
      continue;
    }
    size_t words = (static_cast<size_t>(value) + 3) / 4;
    if (!IsArrayVariable(vm, s))
      vm.SetString(s, std::string_view(reinterpret_cast<const char*>(&b[at]), value));
    at += words;
  }
  b.clear();
}

// ---- Call ------------------------------------------------------------------

// The arguments' values, taken before any parameter is written, so an
// argument that is itself one of the parameters passes its old value.
struct Arguments {
  std::array<uint32_t, kMaxArguments> words;  // only the numeric ones are set
  std::vector<std::string> texts;  // one per string parameter, in order
};

int32_t ReadArgumentCount(Vm& vm) {
  int32_t n = vm.NextInt();
  if (n < 0 || n > kMaxArguments) throw OperandFault("argument count out of range");
  return n;
}

Arguments TakeArguments(const Vm& vm, uint32_t entry_pc, uint32_t first_argument, int32_t n) {
  Arguments args;
  for (int32_t i = 0; i < n; ++i) {
    Slot parameter = SlotWordAt(vm, entry_pc + static_cast<uint32_t>(i));
    Slot argument = SlotWordAt(vm, first_argument + static_cast<uint32_t>(i));
    if (core::IsStringSlot(parameter))
      args.texts.emplace_back(vm.StringAt(argument));
    else
      args.words[static_cast<size_t>(i)] = vm.WordAt(argument);
  }
  return args;
}

void AssignParameters(Vm& vm, uint32_t entry_pc, int32_t n, const Arguments& args) {
  size_t next_text = 0;
  for (int32_t i = 0; i < n; ++i) {
    Slot parameter = SlotWordAt(vm, entry_pc + static_cast<uint32_t>(i));
    if (core::IsStringSlot(parameter))
      vm.SetString(parameter, args.texts[next_text++]);
    else
      vm.SetWord(parameter, args.words[static_cast<size_t>(i)]);
  }
}

// function entry, result slot, argument-count slot, one slot per argument.
// The function's code: opcode 26, one word per parameter slot, a word whose
// low 16 bits are the function's number, then the body.
void CallFunction(Vm& vm) {
  if (!core::CallFits(vm)) {
    vm.RunError(core::kCallStackFull);
    return;
  }
  const int32_t depth = vm.call_depth;
  const uint32_t call_pc = vm.Pc();
  const uint32_t entry_pc = vm.NextTarget();
  vm.NextSlot();  // the result slot, written by the return
  const int32_t n = ReadArgumentCount(vm);
  const uint32_t first_argument = vm.Pc();
  vm.SkipOperands(static_cast<uint32_t>(n));
  const uint32_t number_word = entry_pc + static_cast<uint32_t>(n);
  if (number_word >= vm.CodeSize()) throw OperandFault("function code ends inside its parameters");

  Arguments args = TakeArguments(vm, entry_pc, first_argument, n);
  CallEntry& entry = core::EntryForCall(vm);
  if (!entry.saved) entry.saved = std::make_unique<std::vector<uint32_t>>();
  SaveRunningFunction(vm, *entry.saved);
  entry.return_pc = call_pc;
  entry.function_entry = entry_pc;
  entry.argument_count = static_cast<int8_t>(n);
  entry.caller_function = vm.current_function;
  entry.function_frame = depth;

  AssignParameters(vm, entry_pc, n, args);
  vm.current_function = static_cast<int16_t>(vm.CodeWord(number_word) & 0xFFFFu);
  vm.call_depth = depth + 1;
  vm.SetPc(number_word + 1);
}

// ---- Return ----------------------------------------------------------------

enum class ReturnKind { kNothing, kWord, kText };

// Ends the running user function: back to its call (subroutines still open
// inside it are abandoned), the result into the call's result slot, the
// caller's variables restored. With no user function running it does nothing.
void ReturnFromFunction(Vm& vm, ReturnKind kind, uint32_t word, std::string_view text) {
  int32_t frame = core::RunningFunctionFrame(vm);
  if (frame < 0) return;
  vm.call_depth = frame;
  CallEntry& call = vm.call_stack[static_cast<size_t>(frame)];
  vm.SetPc(call.return_pc);
  vm.current_function = call.caller_function;
  vm.NextTarget();
  Slot result = vm.NextSlot();
  int32_t n = ReadArgumentCount(vm);
  switch (kind) {
    case ReturnKind::kNothing:
      core::StoreZero(vm, result);
      break;
    case ReturnKind::kWord:
      if (core::IsStringSlot(result)) throw OperandFault("a number returned into a string slot");
      vm.SetWord(result, word);
      break;
    case ReturnKind::kText:
      if (!core::IsStringSlot(result)) throw OperandFault("a string returned into a number slot");
      vm.SetString(result, text);
      break;
  }
  vm.SkipOperands(static_cast<uint32_t>(n));
  RestoreFunctionVariables(vm, call);
}

void ReturnNothing(Vm& vm) { ReturnFromFunction(vm, ReturnKind::kNothing, 0, {}); }

// value slot (int or float)
void ReturnWord(Vm& vm) {
  uint32_t word = vm.WordAt(vm.NextSlot());
  ReturnFromFunction(vm, ReturnKind::kWord, word, {});
}

// string slot: its text is copied before anything is restored over it.
void ReturnText(Vm& vm) {
  std::string text(vm.NextString());
  ReturnFromFunction(vm, ReturnKind::kText, 0, text);
}

}  // namespace

void RegisterFunctionCallHandlers(HandlerTable& table) {
  table.Set(21, CallFunction);
  for (int op : {22, 27}) table.Set(op, ReturnNothing);
  for (int op : {23, 24, 28, 29}) table.Set(op, ReturnWord);
  for (int op : {25, 30}) table.Set(op, ReturnText);
}

}  // namespace zv
