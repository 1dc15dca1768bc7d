#pragma once

#include <cstdint>

#include "runtime/vm/opcodes/call_stack.h"
#include "runtime/vm/operand_cursor.h"
#include "runtime/vm/vm.h"

// The forms of user-function calls and returns that the dispatch loop runs
// inline when only numbers pass: no string parameter, no string among the
// saved variables, no string result, the argument count as the call was
// first checked for, and no variable that became or stopped being an array
// since the running function's saved slots were listed. Each either does
// the whole command, as its handler would, or changes nothing and returns
// false, and the handler then runs.
namespace zv {

// The call site whose operands start at `call_pc`, checked, or -1 when only
// the handler may run it (a fault, string parameters).
int32_t DecodeFastCall(Vm& vm, uint32_t call_pc);

// `slots` is the machine's slot area, which the dispatch loop keeps at hand.
// On success `next_pc` is the first word of the function's body.
ZV_ALWAYS_INLINE bool FastCall(Vm& vm, uint32_t* slots, uint32_t site_index, uint32_t& next_pc) {
  CallFrames& frames = vm.call_frames;
  const CallSite& site = frames.sites[site_index];
  if (static_cast<int32_t>(slots[site.count_slot]) != site.count || !core::CallFits(vm)) return false;
  const FrameLayout& callee = frames.layouts[static_cast<size_t>(site.layout)];
  if (callee.text_parameters != 0) return false;
  const uint32_t epoch = vm.arrays.Epoch();
  const FrameLayout* caller = nullptr;
  if (int32_t frame = core::RunningFunctionFrame(vm); frame >= 0) {
    int32_t layout = vm.call_stack[static_cast<size_t>(frame)].layout;
    if (layout < 0) return false;
    caller = &frames.layouts[static_cast<size_t>(layout)];
    if (caller->numeric_epoch != epoch) return false;
  }

  const int32_t depth = vm.call_depth;
  const uint32_t saved_base = frames.saved_top;
  uint32_t saved_size = 0;
  if (caller) {
    const size_t count = caller->saved_slots.size();
    uint32_t* out = frames.Reserve(2 * count);
    for (uint32_t slot : caller->saved_slots) {
      out[0] = slot;
      out[1] = slots[slot];
      out += 2;
    }
    saved_size = static_cast<uint32_t>(2 * count);
    frames.saved_top += saved_size;
  }
  if (vm.call_stack.size() <= static_cast<size_t>(depth)) vm.call_stack.resize(static_cast<size_t>(depth) + 1);
  CallEntry& entry = vm.call_stack[static_cast<size_t>(depth)];
  entry.return_pc = site.first_argument - 3;
  entry.caller_function = vm.current_function;
  entry.saved_unchecked = caller == nullptr || !caller->array_parameter;
  entry.saved_text = false;
  entry.function_frame = depth;
  entry.site = static_cast<int32_t>(site_index);
  entry.layout = site.layout;
  entry.saved_base = saved_base;
  entry.saved_size = saved_size;
  entry.saved_epoch = epoch;

  // The arguments' values are all taken before any parameter is written.
  const int32_t n = site.count;
  const uint32_t* arguments = frames.argument_slots.data() + site.arguments;
  const uint32_t* parameters = callee.parameters.data();
  if (!site.arguments_alias) {
    for (int32_t i = 0; i < n; ++i) slots[parameters[i]] = slots[arguments[i]];
  } else {
    uint32_t words[127];
    for (int32_t i = 0; i < n; ++i) words[i] = slots[arguments[i]];
    for (int32_t i = 0; i < n; ++i) slots[parameters[i]] = words[i];
  }
  vm.current_function = callee.function;
  vm.call_depth = depth + 1;
  next_pc = site.entry_pc + static_cast<uint32_t>(n) + 1;
  return true;
}

// Return of `word` (0 for the returns without a value); on success `next_pc`
// is the word after the call.
ZV_ALWAYS_INLINE bool FastReturn(Vm& vm, uint32_t* slots, uint32_t word, uint32_t& next_pc) {
  const int32_t frame = core::RunningFunctionFrame(vm);
  if (frame < 0) return false;
  const CallEntry& call = vm.call_stack[static_cast<size_t>(frame)];
  CallFrames& frames = vm.call_frames;
  const CallSite& site = frames.sites[static_cast<size_t>(call.site)];
  if (site.text_result || call.saved_text || static_cast<int32_t>(slots[site.count_slot]) != site.count)
    return false;
  vm.call_depth = frame;
  vm.current_function = call.caller_function;
  slots[site.result] = word;
  const uint32_t* b = frames.saved.data() + call.saved_base;
  const uint32_t* end = b + call.saved_size;
  if (call.saved_unchecked && call.saved_epoch == vm.arrays.Epoch()) {
    for (; b < end; b += 2) slots[b[0]] = b[1];
  } else {
    for (; b < end; b += 2)
      if (b[0] < slots::kIntVar || !vm.arrays.IsArray(b[0] - slots::kIntVar)) slots[b[0]] = b[1];
  }
  frames.saved_top = call.saved_base;
  next_pc = site.first_argument + static_cast<uint32_t>(site.count);
  return true;
}

// True when the table holds the core call and return handlers, which the
// fast forms stand in for.
bool HasFunctionCallHandlers(const HandlerTable& table);

}  // namespace zv
