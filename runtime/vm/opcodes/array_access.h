#pragma once

// Reading and storing array elements, written once over any machine type M
// with the Vm's operand accessors, `arrays` and RunError: the handlers over
// the Vm use them for every number of indices, and the dispatch loop inlines
// the one-index int and float forms (hot_handlers.h).
#include <array>
#include <cstdint>
#include <string>

#include "runtime/vm/opcodes/element_binding.h"
#include "runtime/vm/opcodes/opcode_support.h"

namespace zv {

inline Vm& MachineOf(Vm& vm) { return vm; }

namespace array_access {

constexpr int32_t kArrayOutOfMemory = 101;
constexpr int32_t kIndexOutOfBounds = 102;
constexpr int32_t kArrayMissing = 109;
constexpr int64_t kMaxArrayElements = int64_t{1} << 30;
constexpr uint32_t kArrayMarker = 0x80000000u;

using Numbers = std::array<int32_t, 5>;

// The array-table entry of the array operand; an int or float variable for
// the numeric families, a string variable for the string ones. Anything
// else would make numbers pass for string handles or the reverse.
// A machine that decoded its operands ahead (the dispatch loop's) has
// checked the array operand of the numeric families already.
template <class M>
ZV_ALWAYS_INLINE uint32_t NextArrayEntry(M& vm, bool strings) {
  if constexpr (requires { vm.NextNumericArrayEntry(); }) {
    if (!strings) return vm.NextNumericArrayEntry();
  }
  Slot s = vm.NextSlot();
  bool ok = strings ? core::IsStringVariable(s)
                    : core::IsIntVariable(s) || core::IsFloatVariable(s);
  if (!ok) throw OperandFault("array operand is not a variable of the command's type");
  return s.index - slots::kIntVar;
}

inline Slot SlotOfEntry(uint32_t entry) { return Slot{slots::kIntVar + entry}; }

template <int N, class M>
ZV_ALWAYS_INLINE Numbers NextNumbers(M& vm) {
  Numbers values{};
  for (int i = 0; i < N; ++i) values[static_cast<size_t>(i)] = vm.NextInt();
  return values;
}

// The flat index of the indices, and whether each lies inside its own
// dimension (one the array was not made with holds index 0 alone). Inside,
// the flat index is below the element count, at most kMaxArrayElements;
// outside it is not used. One test for all the indices keeps the element
// commands of a loop to one branch.
template <int N>
ZV_ALWAYS_INLINE bool FlatIndex(const ArrayEntry& array, const Numbers& indices, uint32_t& index) {
  uint32_t flat = 0;
  uint32_t stride = 1;
  bool inside = true;
  for (int i = 0; i < N; ++i) {
    // A negative index is a large one here.
    const uint32_t at = static_cast<uint32_t>(indices[static_cast<size_t>(i)]);
    const uint32_t size = static_cast<uint32_t>(array.sizes[static_cast<size_t>(i)]);
    inside &= at < size;
    flat += at * stride;
    stride *= size;
  }
  index = flat;
  return inside;
}

// Error 102, naming the first index outside its dimension and its bounds.
template <int N, class M>
[[gnu::cold, gnu::noinline]] void RaiseIndexOutside(M& vm, const ArrayEntry& array, const Numbers& indices) {
  size_t i = 0;
  while (i + 1 < N && static_cast<uint32_t>(indices[i]) < static_cast<uint32_t>(array.sizes[i])) ++i;
  const int32_t dimensions = array.dimensions;
  std::string cause = "index " + std::to_string(i + 1) + " is " + std::to_string(indices[i]);
  if (static_cast<int32_t>(i) >= dimensions)
    cause += ", and the array has " + std::to_string(dimensions) + " dimension" + (dimensions == 1 ? "" : "s");
  else if (array.sizes[i] == 0)
    cause += ", and that dimension holds no index";
  else
    cause += ", outside 0 to " + std::to_string(array.sizes[i] - 1);
  vm.RunError(kIndexOutOfBounds, "", cause);
}

// The element the operands name; null with error 109 when the array does
// not exist (before its dim or after its undim) and with error 102 when an
// index lies outside its dimension.
template <int N, class M>
ZV_ALWAYS_INLINE uint32_t* Element(M& vm, uint32_t entry, const Numbers& indices, uint32_t* flat = nullptr) {
  if (!vm.arrays.IsArray(entry)) {
    vm.RunError(kArrayMissing);
    return nullptr;
  }
  ArrayEntry& array = vm.arrays.At(entry);
  uint32_t index = 0;
  if (!FlatIndex<N>(array, indices, index)) {
    RaiseIndexOutside<N>(vm, array, indices);
    return nullptr;
  }
  if (flat) *flat = index;
  return &array.elements[index];
}

// array slot, n indices, value (the value's 32 bits: int or float).
template <int N, class M>
ZV_ALWAYS_INLINE void StoreElement(M& vm) {
  uint32_t entry = NextArrayEntry(vm, false);
  Numbers indices = NextNumbers<N>(vm);
  uint32_t value = vm.WordAt(vm.NextSlot());
  if (uint32_t* element = Element<N>(vm, entry, indices)) *element = value;
}

// result, array slot, n indices. The result remembers the element for DATA
// and file reads into it.
template <int N, class M>
ZV_ALWAYS_INLINE void ReadElement(M& vm) {
  Slot result;
  if constexpr (requires { vm.NextNumberResult(); }) {
    result = vm.NextNumberResult();
  } else {
    result = vm.NextSlot();
    if (core::IsStringSlot(result)) throw OperandFault("a number read into a string slot");
  }
  uint32_t entry = NextArrayEntry(vm, false);
  Numbers indices = NextNumbers<N>(vm);
  uint32_t index = 0;
  if (uint32_t* element = Element<N>(vm, entry, indices, &index)) {
    vm.SetWord(result, *element);
    BindElement(MachineOf(vm), result, entry, index);
  } else {
    UnbindElement(MachineOf(vm), result);
  }
}

}  // namespace array_access
}  // namespace zv
