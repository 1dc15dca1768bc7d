// User-function calls and returns, with the saving of the running function's
// parameters and variables, so a recursive call finds them again afterwards.
//
// A call saves the variables of the function whose body is running: the
// function of the nearest enclosing user-function call entry, skipping the
// entries of subroutines called inside it. With only the main program (and
// its subroutines) running nothing is saved, as at depth 0.
//
// The saved values of every open call lie on one stack (CallFrames), in
// call order, so a call allocates nothing once the stack has grown; the
// return writes each value back to its own slot, except into a variable
// that has since become an array, and pops them. A call's operands and the
// layout of the function it enters are checked once per call site, and the
// slots a function's calls save (its saved set) are listed once per arrays'
// epoch. Calls that pass and save only numbers run inline in the dispatch
// loop (function_calls.h); these handlers do every call.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/vm/opcodes/call_stack.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/opcodes/function_calls.h"
#include "runtime/vm/opcodes/opcode_support.h"

namespace zv {
namespace {

constexpr int32_t kMaxArguments = 127;  // the call stack keeps counts as signed bytes

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
bool IsArrayVariable(const Vm& vm, uint32_t slot) {
  return slot >= slots::kIntVar && vm.arrays.IsArray(slot - slots::kIntVar);
}

int32_t CheckArgumentCount(int32_t n) {
  if (n < 0 || n > kMaxArguments) throw OperandFault("argument count out of range");
  return n;
}

// ---- Call sites and frame layouts ------------------------------------------------

// The layout of the function entered at `entry_pc` with `count` arguments;
// its parameter words are checked when it is first made.
int32_t LayoutFor(Vm& vm, uint32_t entry_pc, int32_t count) {
  CallFrames& frames = vm.call_frames;
  auto known = frames.layout_of.find({entry_pc, count});
  if (known != frames.layout_of.end()) return known->second;
  FrameLayout layout;
  layout.entry_pc = entry_pc;
  layout.count = count;
  for (int32_t i = 0; i < count; ++i) {
    Slot parameter = SlotWordAt(vm, entry_pc + static_cast<uint32_t>(i));
    layout.parameters.push_back(parameter.index);
    if (core::IsStringSlot(parameter)) ++layout.text_parameters;
  }
  layout.function = static_cast<int16_t>(vm.CodeWord(entry_pc + static_cast<uint32_t>(count)) & 0xFFFFu);
  auto index = static_cast<int32_t>(frames.layouts.size());
  frames.layouts.push_back(std::move(layout));
  frames.layout_of.emplace(std::pair{entry_pc, count}, index);
  return index;
}

// Reads and checks the operands of the call whose first operand is at
// `call_pc`: function entry, result slot, argument-count slot, one slot per
// argument. Throws OperandFault, before anything has changed, for a word of
// the wrong class.
CallSite DecodeCallSite(Vm& vm, uint32_t call_pc) {
  CallSite site;
  vm.SetPc(call_pc);
  site.entry_pc = vm.NextTarget();
  site.result = vm.NextSlot().index;
  Slot count_slot = vm.NextSlot();
  site.count_slot = count_slot.index;
  site.count = CheckArgumentCount(vm.IntAt(count_slot));
  site.first_argument = vm.Pc();
  vm.SkipOperands(static_cast<uint32_t>(site.count));
  if (site.entry_pc + static_cast<uint32_t>(site.count) >= vm.CodeSize())
    throw OperandFault("function code ends inside its parameters");
  std::vector<uint32_t>& arguments = vm.call_frames.argument_slots;
  site.arguments = static_cast<uint32_t>(arguments.size());
  for (int32_t i = 0; i < site.count; ++i)
    arguments.push_back(SlotWordAt(vm, site.first_argument + static_cast<uint32_t>(i)).index);
  site.layout = LayoutFor(vm, site.entry_pc, site.count);
  site.text_result = core::IsStringSlot(Slot{site.result});
  const FrameLayout& callee = vm.call_frames.layouts[static_cast<size_t>(site.layout)];
  // Parameters are written in order, each right after its argument is read
  // in the fast call: only an argument that is an earlier parameter would
  // read a value already passed.
  for (int32_t i = 0; i < site.count; ++i)
    for (int32_t j = 0; j < i; ++j)
      if (arguments[site.arguments + static_cast<uint32_t>(i)] == callee.parameters[static_cast<size_t>(j)])
        site.arguments_alias = true;
  return site;
}

// The index of the call site at `call_pc`, decoded again when its count
// slot now holds another count than the arguments were checked for.
uint32_t SiteAt(Vm& vm, uint32_t call_pc) {
  CallFrames& frames = vm.call_frames;
  uint32_t known = call_pc < frames.site_at.size() ? frames.site_at[call_pc] : 0;
  if (known != 0) {
    const CallSite& site = frames.sites[known - 1];
    if (vm.IntAt(Slot{site.count_slot}) == site.count) return known - 1;
  }
  CallSite site = DecodeCallSite(vm, call_pc);
  if (known != 0) {
    frames.sites[known - 1] = site;
    return known - 1;
  }
  frames.sites.push_back(site);
  auto index = static_cast<uint32_t>(frames.sites.size() - 1);
  if (call_pc < frames.site_at.size()) frames.site_at[call_pc] = index + 1;
  return index;
}

// The saved set of a layout for the arrays as they are now: the
// parameters, then the function's int, float and string variables that are
// not arrays. Made again when the arrays' epoch has moved on; a set equal to
// the layout's last one is kept, so sets only pile up when a function's own
// variables keep changing between number and array.
const SavedSet& WithSavedSet(Vm& vm, FrameLayout& layout) {
  CallFrames& frames = vm.call_frames;
  const uint64_t epoch = vm.arrays.Epoch();
  if (layout.saved_set && layout.epoch == epoch) return *layout.saved_set;
  SavedSet set;
  set.slots = layout.parameters;
  for (uint32_t slot : layout.parameters)
    if (IsArrayVariable(vm, slot)) set.array_parameter = true;
  // A parameter that is also one of the function's variables is saved once:
  // both values would be the same.
  for (uint32_t slot : vm.OwnedSlots(layout.function)) {
    bool parameter = std::find(layout.parameters.begin(), layout.parameters.end(), slot) != layout.parameters.end();
    if (!parameter && !IsArrayVariable(vm, slot)) set.slots.push_back(slot);
  }
  for (uint32_t slot : set.slots) {
    if (core::IsStringSlot(Slot{slot})) set.text = true;
    if (!set.runs.empty() && set.runs.back().first + set.runs.back().second == slot)
      ++set.runs.back().second;
    else
      set.runs.emplace_back(slot, 1);
  }
  const SavedSet* last = layout.saved_set;
  if (!last || last->slots != set.slots || last->array_parameter != set.array_parameter) {
    frames.saved_sets.push_back(std::move(set));
    layout.saved_set = &frames.saved_sets.back();
  }
  const SavedSet& made = *layout.saved_set;
  layout.epoch = epoch;
  layout.numeric_epoch = made.text ? UINT64_MAX : epoch;
  return made;
}

// ---- Saving and restoring --------------------------------------------------------

void SaveText(const Vm& vm, uint32_t slot, CallFrames& frames) {
  std::string_view text = vm.StringAt(Slot{slot});
  size_t words = (text.size() + 3) / 4;
  uint32_t* out = frames.Reserve(1 + words);
  out[0] = static_cast<uint32_t>(text.size());
  if (words != 0) {
    out[words] = 0;
    std::memcpy(out + 1, text.data(), text.size());
  }
  frames.saved_top += static_cast<uint32_t>(1 + words);
}

// Pushes the values of the running function's saved set (nothing while no
// user function runs) and records them in `entry`.
void SaveRunningFunction(Vm& vm, CallEntry& entry) {
  CallFrames& frames = vm.call_frames;
  entry.saved_base = frames.saved_top;
  entry.saved_size = 0;
  entry.saved_set = nullptr;
  int32_t frame = core::RunningFunctionFrame(vm);
  if (frame < 0) return;
  int32_t layout_index = vm.call_stack[static_cast<size_t>(frame)].layout;
  if (layout_index < 0) return;
  FrameLayout& layout = frames.layouts[static_cast<size_t>(layout_index)];
  const SavedSet& set = WithSavedSet(vm, layout);
  for (uint32_t slot : set.slots) {
    if (core::IsStringSlot(Slot{slot})) {
      SaveText(vm, slot, frames);
      continue;
    }
    *frames.Reserve(1) = vm.WordAt(Slot{slot});
    ++frames.saved_top;
  }
  entry.saved_set = layout.saved_set;
  entry.saved_size = frames.saved_top - entry.saved_base;
  entry.saved_epoch = layout.epoch;
  entry.saved_unchecked = !set.array_parameter;
  entry.saved_text = set.text;
}

// Writes the call's saved values back, except into a slot that has become
// an array since, and pops them.
void RestoreFunctionVariables(Vm& vm, const CallEntry& call) {
  CallFrames& frames = vm.call_frames;
  if (call.saved_set) {
    const SavedSet& set = *call.saved_set;
    const uint32_t* b = frames.saved.data() + call.saved_base;
    for (uint32_t slot : set.slots) {
      if (!core::IsStringSlot(Slot{slot})) {
        if (!IsArrayVariable(vm, slot)) vm.SetWord(Slot{slot}, *b);
        ++b;
        continue;
      }
      const uint32_t length = *b++;
      if (!IsArrayVariable(vm, slot))
        vm.SetString(Slot{slot}, std::string_view(reinterpret_cast<const char*>(b), length));
      b += (length + 3) / 4;
    }
  }
  frames.saved_top = call.saved_base;
}

// ---- Call ------------------------------------------------------------------

// The slot of argument `i` of a decoded call site.
Slot ArgumentSlot(const Vm& vm, const CallSite& site, int32_t i) {
  return Slot{vm.call_frames.argument_slots[site.arguments + static_cast<uint32_t>(i)]};
}

// Gives the parameters the arguments' values, all taken before any
// parameter is written, so an argument that is itself one of the
// parameters passes its old value. String parameters get their own copies.
void PassArguments(Vm& vm, const CallSite& site, const FrameLayout& callee) {
  const int32_t n = site.count;
  uint32_t words[kMaxArguments];
  if (callee.text_parameters == 0) {
    for (int32_t i = 0; i < n; ++i) words[i] = vm.WordAt(ArgumentSlot(vm, site, i));
    for (int32_t i = 0; i < n; ++i) vm.SetWord(Slot{callee.parameters[static_cast<size_t>(i)]}, words[i]);
    return;
  }
  std::vector<std::string> texts;
  for (int32_t i = 0; i < n; ++i) {
    Slot argument = ArgumentSlot(vm, site, i);
    if (core::IsStringSlot(Slot{callee.parameters[static_cast<size_t>(i)]}))
      texts.emplace_back(vm.StringAt(argument));
    else
      words[i] = vm.WordAt(argument);
  }
  size_t next_text = 0;
  for (int32_t i = 0; i < n; ++i) {
    Slot parameter{callee.parameters[static_cast<size_t>(i)]};
    if (core::IsStringSlot(parameter))
      vm.SetString(parameter, texts[next_text++]);
    else
      vm.SetWord(parameter, words[i]);
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
  const uint32_t site_index = SiteAt(vm, call_pc);
  const CallSite site = vm.call_frames.sites[site_index];
  const FrameLayout& callee = vm.call_frames.layouts[static_cast<size_t>(site.layout)];
  const int16_t function = callee.function;

  CallEntry& entry = core::EntryForCall(vm);
  SaveRunningFunction(vm, entry);
  entry.return_pc = call_pc;
  entry.caller_function = vm.current_function;
  entry.function_frame = depth;
  entry.site = static_cast<int32_t>(site_index);
  entry.layout = site.layout;

  PassArguments(vm, site, vm.call_frames.layouts[static_cast<size_t>(site.layout)]);
  vm.current_function = function;
  vm.call_depth = depth + 1;
  vm.SetPc(site.entry_pc + static_cast<uint32_t>(site.count) + 1);
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
  const CallEntry& call = vm.call_stack[static_cast<size_t>(frame)];
  const CallSite& site = vm.call_frames.sites[static_cast<size_t>(call.site)];
  vm.current_function = call.caller_function;
  Slot result{site.result};
  int32_t n = CheckArgumentCount(vm.IntAt(Slot{site.count_slot}));
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
  vm.SetPc(site.first_argument);
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

// ---- The fast forms -----------------------------------------------------------------

int32_t DecodeFastCall(Vm& vm, uint32_t call_pc) {
  try {
    uint32_t site = SiteAt(vm, call_pc);
    const FrameLayout& callee = vm.call_frames.layouts[static_cast<size_t>(vm.call_frames.sites[site].layout)];
    if (callee.text_parameters != 0) return -1;
    return static_cast<int32_t>(site);
  } catch (const OperandFault&) {
    return -1;  // the handler raises the fault when the call runs
  }
}

bool HasFunctionCallHandlers(const HandlerTable& table) {
  return table.Get(21) == CallFunction && table.Get(22) == ReturnNothing && table.Get(27) == ReturnNothing &&
         table.Get(23) == ReturnWord && table.Get(24) == ReturnWord && table.Get(28) == ReturnWord &&
         table.Get(29) == ReturnWord;
}

void RegisterFunctionCallHandlers(HandlerTable& table) {
  table.Set(21, CallFunction);
  for (int op : {22, 27}) table.Set(op, ReturnNothing);
  for (int op : {23, 24, 28, 29}) table.Set(op, ReturnWord);
  for (int op : {25, 30}) table.Set(op, ReturnText);
}

}  // namespace zv
