#pragma once

#include <cstdint>

#include "runtime/vm/vm.h"

// The call stack shared by subroutine and user-function calls. Entries are
// made as calls nest; an entry above the current depth is left as it was
// and reused (cleared) by the next call at that depth.
namespace zv::core {

constexpr int32_t kCallStackFull = 108;

// True when one more call fits; a call needs depth + 1 below kCallStackSize.
inline bool CallFits(const Vm& vm) { return vm.call_depth + 1 < kCallStackSize; }

// Clears and returns the entry at the current depth (the caller checked
// CallFits), without changing the depth.
inline CallEntry& EntryForCall(Vm& vm) {
  size_t d = static_cast<size_t>(vm.call_depth);
  if (vm.call_stack.size() <= d) vm.call_stack.resize(d + 1);
  CallEntry& entry = vm.call_stack[d];
  entry = CallEntry{};
  return entry;
}

// The user-function call whose body is running at the current depth, or -1
// when only the main program (and subroutines it called) runs.
inline int32_t RunningFunctionFrame(const Vm& vm) {
  if (vm.call_depth <= 0 || static_cast<size_t>(vm.call_depth) > vm.call_stack.size()) return -1;
  return vm.call_stack[static_cast<size_t>(vm.call_depth) - 1].function_frame;
}

inline bool IsFunctionCall(const Vm& vm, int32_t depth) {
  return vm.call_stack[static_cast<size_t>(depth)].function_frame == depth;
}

}  // namespace zv::core
