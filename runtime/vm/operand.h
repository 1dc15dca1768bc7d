#pragma once

#include <cstdint>

// The numbering of a program's code words. The compiler writes every operand
// as one number whose range says what it is; the loader converts literals to
// their plain value and keeps slot, label and code-address words as written,
// so the class of any word can still be read off its value at run time.
namespace zv::operand {

constexpr int32_t kSlotFirst = 10000;     // 10000..24999: value slot w - 10000
constexpr int32_t kLiteralFirst = 25000;  // 25000..34999: the number w - 25000
constexpr int32_t kLabelFirst = 35000;    // 35000..36999: a label never resolved
constexpr int32_t kCodeFirst = 37000;     // 37000..: code word w - 37000

constexpr int32_t kOpcodeLimit = 10000;   // opcodes are 1..9999

}  // namespace zv::operand

namespace zv {

// Slot classes of the variable area.
namespace slots {
constexpr uint32_t kIntTemp = 0;
constexpr uint32_t kFloatTemp = 1000;
constexpr uint32_t kStringTemp = 2000;
constexpr uint32_t kIntVar = 3000;
constexpr uint32_t kFloatVar = 5000;
constexpr uint32_t kStringVar = 7000;
constexpr uint32_t kIntConst = 9000;
constexpr uint32_t kFloatConst = 11000;
constexpr uint32_t kStringConst = 13000;
constexpr uint32_t kData = 15000;
constexpr uint32_t kCount = 29000;

constexpr uint32_t kTempsPerClass = 1000;
constexpr uint32_t kVarsPerClass = 2000;
constexpr uint32_t kConstsPerClass = 2000;
constexpr uint32_t kMaxDataItems = kCount - kData;  // 14000
constexpr uint32_t kAddressable = kData;            // operands reach slots 0..14999
}  // namespace slots

enum class SlotType { kInt, kFloat, kString };

// The value type a slot holds by its class; DATA slots hold any type.
inline SlotType SlotTypeOf(uint32_t slot) {
  if (slot < slots::kIntVar) return static_cast<SlotType>(slot / 1000);
  // Variables and constants repeat int, float, string in bands of 2000.
  return static_cast<SlotType>(((slot - slots::kIntVar) % 6000) / 2000);
}

}  // namespace zv
