#pragma once

#include <cstdint>
#include <cstring>

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

// Copies a run of saved slots four words at a time. Runs are mostly short,
// too short for a call to memcpy, which a plain copy loop would become:
// the empty asm keeps the loop a loop.
ZV_ALWAYS_INLINE void CopyWords(uint32_t* to, const uint32_t* from, uint32_t count) {
  for (; count >= 4; count -= 4, to += 4, from += 4) {
    uint32_t four[4];
    std::memcpy(four, from, sizeof four);
    std::memcpy(to, four, sizeof four);
    asm("");
  }
  if (count >= 2) {
    uint64_t two;
    std::memcpy(&two, from, sizeof two);
    std::memcpy(to, &two, sizeof two);
    to += 2;
    from += 2;
    count -= 2;
  }
  if (count != 0) *to = *from;
}

// `slots` is the machine's slot area, which the dispatch loop keeps at hand.
// On success `next_pc` is the first word of the function's body.
ZV_ALWAYS_INLINE bool FastCall(Vm& vm, uint32_t* slots, uint32_t site_index, uint32_t& next_pc) {
  CallFrames& frames = vm.call_frames;
  const CallSite& site = frames.sites[site_index];
  if (static_cast<int32_t>(slots[site.count_slot]) != site.count || !core::CallFits(vm)) return false;
  const FrameLayout& callee = frames.layouts[static_cast<size_t>(site.layout)];
  if (callee.text_parameters != 0) return false;
  const uint64_t epoch = vm.arrays.Epoch();
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
  bool unchecked = true;
  if (caller) {
    const SavedSet& set = *caller->saved_set;
    uint32_t* out = frames.Reserve(set.slots.size());
    for (auto [first, count] : set.runs) {
      CopyWords(out, slots + first, count);
      out += count;
    }
    saved_size = static_cast<uint32_t>(set.slots.size());
    frames.saved_top += saved_size;
    unchecked = !set.array_parameter;
  }
  if (vm.call_stack.size() <= static_cast<size_t>(depth)) vm.call_stack.resize(static_cast<size_t>(depth) + 1);
  CallEntry& entry = vm.call_stack[static_cast<size_t>(depth)];
  entry.return_pc = site.first_argument - 3;
  entry.caller_function = vm.current_function;
  entry.saved_unchecked = unchecked;
  entry.saved_text = false;
  entry.saved_set = caller ? caller->saved_set : nullptr;
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
  if (call.saved_set) {
    const SavedSet& set = *call.saved_set;
    const uint32_t* b = frames.saved.data() + call.saved_base;
    if (call.saved_unchecked && call.saved_epoch == vm.arrays.Epoch()) {
      for (auto [first, count] : set.runs) {
        CopyWords(slots + first, b, count);
        b += count;
      }
    } else {
      for (uint32_t slot : set.slots) {
        if (slot < slots::kIntVar || !vm.arrays.IsArray(slot - slots::kIntVar)) slots[slot] = *b;
        ++b;
      }
    }
  }
  frames.saved_top = call.saved_base;
  next_pc = site.first_argument + static_cast<uint32_t>(site.count);
  return true;
}

// True when the table holds the core call and return handlers, which the
// fast forms stand in for.
bool HasFunctionCallHandlers(const HandlerTable& table);

}  // namespace zv
