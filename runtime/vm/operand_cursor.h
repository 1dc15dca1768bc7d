#pragma once

#include <cstdint>
#include <stdexcept>

#include "runtime/vm/operand.h"

// For the few accessors that must melt into the dispatch loop.
#define ZV_ALWAYS_INLINE __attribute__((always_inline)) inline

namespace zv {

// Raised when an operand word is not of the class the command reads; the
// dispatch loop turns it into runtime error 10010.
class OperandFault : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A value slot of the variable area, by index.
struct Slot {
  uint32_t index;
  friend bool operator==(Slot, Slot) = default;
};

// Throws OperandFault for `word`, read just before `pc`. A free function, so
// the cursors that call it can stay in registers.
[[noreturn]] void ThrowOperandFault(uint32_t word, uint32_t pc, const char* expected);

// Zero words the loader puts after the code: at least as many as any hot
// command has operands.
constexpr uint32_t kCodePadding = 8;

// The program counter over the code words, with the checked reads of one
// command's operands. The machine keeps one; the dispatch loop works on a
// local copy so that the counter stays in a register in its hottest paths.
struct OperandCursor {
  const uint32_t* code = nullptr;
  uint32_t size = 0;
  uint32_t pc = 0;

  // A value slot (temporary, variable or constant).
  ZV_ALWAYS_INLINE Slot NextSlot() {
    uint32_t w = NextWord();
    uint32_t index = w - static_cast<uint32_t>(operand::kSlotFirst);
    if (index >= slots::kAddressable) Throw(w, "a value slot");
    return Slot{index};
  }
  // A plain number: a converted literal or a word below the slot range.
  ZV_ALWAYS_INLINE int32_t NextLiteral() {
    uint32_t w = NextWord();
    if (static_cast<int32_t>(w) >= operand::kSlotFirst) Throw(w, "a plain number");
    return static_cast<int32_t>(w);
  }
  // A code address, as the index of the code word it names.
  ZV_ALWAYS_INLINE uint32_t NextTarget() {
    uint32_t w = NextWord();
    uint32_t index = w - static_cast<uint32_t>(operand::kCodeFirst);
    if (static_cast<int32_t>(w) < operand::kCodeFirst || index >= size) Throw(w, "a code address");
    return index;
  }
  ZV_ALWAYS_INLINE uint32_t NextWord() {
    if (pc >= size) Throw(0, "an operand inside the code");
    return code[pc++];
  }
  void Skip(uint32_t count) {
    if (count > size - pc) Throw(0, "operands inside the code");
    pc += count;
  }

  [[noreturn]] void Throw(uint32_t word, const char* expected) const {
    ThrowOperandFault(word, pc, expected);
  }
};

}  // namespace zv
