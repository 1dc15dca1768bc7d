#pragma once

#include <cstdint>

#include "runtime/vm/vm.h"

// Small helpers shared by the core opcode handlers.
namespace zv::core {

inline bool InRange(Slot s, uint32_t first, uint32_t count) {
  return s.index - first < count;
}
inline bool IsIntVariable(Slot s) { return InRange(s, slots::kIntVar, slots::kVarsPerClass); }
inline bool IsFloatVariable(Slot s) { return InRange(s, slots::kFloatVar, slots::kVarsPerClass); }
inline bool IsStringVariable(Slot s) { return InRange(s, slots::kStringVar, slots::kVarsPerClass); }
// String temporaries, variables and constants (DATA slots are not operands).
inline bool IsStringSlot(Slot s) {
  return InRange(s, slots::kStringTemp, slots::kTempsPerClass) || IsStringVariable(s) ||
         InRange(s, slots::kStringConst, slots::kConstsPerClass);
}

// The result operand of a command that stores a string. A string stored
// into an integer or float slot would make that slot's number pass for a
// string handle, so such a program is refused as a faulty command.
inline Slot NextStringResult(Vm& vm) {
  Slot s = vm.NextSlot();
  if (!IsStringSlot(s)) throw OperandFault("a string result goes to a slot that is not a string");
  return s;
}

// Stores "nothing" in a slot of any class: 0, or no string for a string slot
// (whose old text is released rather than lost).
inline void StoreZero(Vm& vm, Slot s) {
  if (IsStringSlot(s))
    vm.ReleaseString(s);
  else
    vm.SetWord(s, 0);
}

// The processor's divide fault (INT_MIN / -1): the run ends with 10010.
[[noreturn]] void ThrowDivideFault();

// Two's-complement 32-bit arithmetic that wraps instead of overflowing.
inline int32_t WrapAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t WrapSub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
inline int32_t WrapMul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

}  // namespace zv::core
