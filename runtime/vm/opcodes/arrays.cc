// Arrays of one to five dimensions carried by int, float and string
// variables: DIM, UNDIM, element stores and element reads.
//
// Sizes are computed in 64 bits and an array holds at most
// kMaxArrayElements elements (4 GiB of 32-bit elements); a larger or
// negative size is error 101, like a failed allocation, with its cause.
// The array variable's own slot holds a marker (bit 31 set, the entry
// below), never a string handle or a pointer.
#include <array>
#include <bit>
#include <initializer_list>
#include <new>
#include <string>

#include "runtime/vm/opcodes/array_access.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/opcodes/element_binding.h"
#include "runtime/vm/opcodes/opcode_support.h"

namespace zv {
namespace {

using namespace array_access;


// ---- DIM and UNDIM -------------------------------------------------------------

// Gives the (released) entry a zeroed block for the upper bounds. When it
// cannot, the cause: a negative size or more elements than an array holds
// (empty when memory ran out, which the code's own text says).
bool AllocateArray(ArrayEntry& array, const Numbers& bounds, int n, std::string* cause) {
  std::array<int32_t, 5> sizes{1, 1, 1, 1, 1};
  int64_t count = 1;
  for (int i = 0; i < n; ++i) {
    const int32_t bound = bounds[static_cast<size_t>(i)];
    int64_t size = int64_t{bound} + 1;
    if (size < 0) {
      *cause = "the size is negative (upper bound " + std::to_string(bound) + ")";
      return false;
    }
    count *= size;
    if (count > kMaxArrayElements) {
      *cause = "more than " + std::to_string(kMaxArrayElements) + " elements";
      return false;
    }
    sizes[static_cast<size_t>(i)] = static_cast<int32_t>(size);
  }
  try {
    array.elements.assign(static_cast<size_t>(count), 0);
  } catch (const std::bad_alloc&) {
    array.elements = {};
    return false;
  }
  array.sizes = sizes;
  array.dimensions = n;
  array.live = true;
  return true;
}

// array slot, n upper bounds. An earlier array of the slot is freed first.
template <int N>
void DimArray(Vm& vm) {
  uint32_t entry = NextArrayEntry(vm, false);
  Numbers bounds = NextNumbers<N>(vm);
  vm.arrays.Release(entry, vm.Strings());
  std::string cause;
  if (!AllocateArray(vm.arrays.At(entry), bounds, N, &cause)) {
    vm.RunError(kArrayOutOfMemory, "", cause);
    return;
  }
  vm.SetWord(SlotOfEntry(entry), kArrayMarker | entry);
}

// array slot
void UndimArray(Vm& vm) {
  uint32_t entry = NextArrayEntry(vm, false);
  vm.arrays.Release(entry, vm.Strings());
  vm.SetWord(SlotOfEntry(entry), 0);
}

// array slot, n upper bounds. The slot holds the empty string while it has
// no array.
template <int N>
void DimStringArray(Vm& vm) {
  uint32_t entry = NextArrayEntry(vm, true);
  Numbers bounds = NextNumbers<N>(vm);
  Slot slot = SlotOfEntry(entry);
  bool had_array = vm.arrays.IsArray(entry);
  vm.arrays.Release(entry, vm.Strings());
  if (had_array) vm.SetString(slot, "");
  std::string cause;
  if (!AllocateArray(vm.arrays.At(entry), bounds, N, &cause)) {
    vm.RunError(kArrayOutOfMemory, "", cause);
    return;
  }
  vm.ReleaseString(slot);
  vm.SetWord(slot, kArrayMarker | entry);
}

// array slot
void UndimStringArray(Vm& vm) {
  uint32_t entry = NextArrayEntry(vm, true);
  Slot slot = SlotOfEntry(entry);
  vm.arrays.Release(entry, vm.Strings());
  vm.ReleaseString(slot);
  vm.SetString(slot, "");
}

// ---- Element access ---------------------------------------------------------------

// array slot, n indices, int value stored into a float array.
template <int N>
void StoreElementIntToFloat(Vm& vm) {
  uint32_t entry = NextArrayEntry(vm, false);
  Numbers indices = NextNumbers<N>(vm);
  float value = static_cast<float>(vm.NextInt());
  if (uint32_t* element = Element<N>(vm, entry, indices)) *element = std::bit_cast<uint32_t>(value);
}

// array slot, n indices, string value.
template <int N>
void StoreStringElement(Vm& vm) {
  uint32_t entry = NextArrayEntry(vm, true);
  Numbers indices = NextNumbers<N>(vm);
  std::string_view text = vm.NextString();
  uint32_t* element = Element<N>(vm, entry, indices);
  if (!element) return;
  StringHeap& strings = vm.Strings();
  if (strings.IsLive(*element))
    strings.Assign(*element, text);
  else
    *element = strings.Make(text);
}

// result (s), array slot, n indices. An array that does not exist or an
// index outside it gives the empty string with its error.
template <int N>
void ReadStringElement(Vm& vm) {
  Slot result = core::NextStringResult(vm);
  uint32_t entry = NextArrayEntry(vm, true);
  Numbers indices = NextNumbers<N>(vm);
  UnbindElement(vm, result);
  uint32_t index = 0;
  uint32_t* element = Element<N>(vm, entry, indices, &index);
  if (!element) {
    vm.SetString(result, "");
    return;
  }
  vm.SetString(result, vm.Strings().View(*element));
  BindElement(vm, result, entry, index);
}

// Sets consecutive opcodes from `first` on, one per number of dimensions.
void SetFamily(HandlerTable& t, int first, std::initializer_list<Handler> handlers) {
  for (Handler h : handlers) t.Set(first++, h);
}

}  // namespace

void RegisterArrayHandlers(HandlerTable& t) {
  // n = 1..5 dimensions or indices, in opcode order.
  for (int first : {501, 511})
    SetFamily(t, first, {DimArray<1>, DimArray<2>, DimArray<3>, DimArray<4>, DimArray<5>});
  t.Set(506, UndimArray);
  t.Set(516, UndimArray);
  SetFamily(t, 521, {DimStringArray<1>, DimStringArray<2>, DimStringArray<3>, DimStringArray<4>,
            DimStringArray<5>});
  t.Set(526, UndimStringArray);
  for (int first : {561, 566})
    SetFamily(t, first, {StoreElement<1, Vm>, StoreElement<2, Vm>, StoreElement<3, Vm>,
              StoreElement<4, Vm>, StoreElement<5, Vm>});
  SetFamily(t, 571, {StoreStringElement<1>, StoreStringElement<2>, StoreStringElement<3>,
            StoreStringElement<4>, StoreStringElement<5>});
  SetFamily(t, 576, {StoreElementIntToFloat<1>, StoreElementIntToFloat<2>,
            StoreElementIntToFloat<3>, StoreElementIntToFloat<4>, StoreElementIntToFloat<5>});
  for (int first : {661, 666})
    SetFamily(t, first, {ReadElement<1, Vm>, ReadElement<2, Vm>, ReadElement<3, Vm>,
              ReadElement<4, Vm>, ReadElement<5, Vm>});
  SetFamily(t, 671, {ReadStringElement<1>, ReadStringElement<2>, ReadStringElement<3>,
            ReadStringElement<4>, ReadStringElement<5>});
}

}  // namespace zv
