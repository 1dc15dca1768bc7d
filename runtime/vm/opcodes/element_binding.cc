#include "runtime/vm/opcodes/element_binding.h"

namespace zv {
namespace {

// The bound element if the binding is still good and names an array of the
// wanted kind (string or numeric), else null.
uint32_t* BoundElement(Vm& vm, Slot temporary, bool strings) {
  if (temporary.index >= vm.element_bindings.size()) return nullptr;
  const ElementBinding& b = vm.element_bindings[temporary.index];
  if (!b.bound || !vm.arrays.IsArray(b.entry)) return nullptr;
  if ((b.entry >= ArrayTable::kFirstStringEntry) != strings) return nullptr;
  ArrayEntry& array = vm.arrays.At(b.entry);
  if (array.generation != b.generation || b.index >= array.elements.size()) return nullptr;
  return &array.elements[b.index];
}

}  // namespace

bool StoreThroughBinding(Vm& vm, Slot temporary, uint32_t word) {
  uint32_t* element = BoundElement(vm, temporary, false);
  if (!element) return false;
  *element = word;
  return true;
}

bool StoreStringThroughBinding(Vm& vm, Slot temporary, std::string_view text) {
  uint32_t* element = BoundElement(vm, temporary, true);
  if (!element) return false;
  StringHeap& strings = vm.Strings();
  if (strings.IsLive(*element))
    strings.Assign(*element, text);
  else
    *element = strings.Make(text);
  return true;
}

}  // namespace zv
