#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/vm/vm.h"

// An element read leaves, under its result temporary, a binding to the
// element it read; commands that then store into that temporary (READ of
// DATA, the file reads) write the element through it. A binding only works
// while the array still holds the same block: one that was freed or
// dimensioned again since makes the write go nowhere.
namespace zv {

inline void BindElement(Vm& vm, Slot temporary, uint32_t entry, uint32_t index) {
  if (temporary.index < vm.element_bindings.size())
    vm.element_bindings[temporary.index] = ElementBinding{entry, index, vm.arrays.At(entry).generation, true};
}
inline void UnbindElement(Vm& vm, Slot temporary) {
  if (temporary.index < vm.element_bindings.size()) vm.element_bindings[temporary.index] = {};
}

// Writes a 32-bit value into the int or float element bound to the
// temporary; false (and nothing written) when there is no live binding.
bool StoreThroughBinding(Vm& vm, Slot temporary, uint32_t word);
// Gives the string element bound to the temporary a copy of `text`.
bool StoreStringThroughBinding(Vm& vm, Slot temporary, std::string_view text);

}  // namespace zv
