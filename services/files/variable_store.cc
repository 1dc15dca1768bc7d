#include "services/files/variable_store.h"

#include <bit>

#include "runtime/vm/opcodes/element_binding.h"
#include "runtime/vm/opcodes/opcode_support.h"

namespace zv::files {
namespace {

bool IsConstant(Slot target) { return target.index >= slots::kIntConst; }

void StoreNumber(Vm& vm, Slot target, uint32_t word, uint32_t var_first, uint32_t temp_first) {
  if (core::InRange(target, var_first, slots::kVarsPerClass)) {
    vm.SetWord(target, word);
  } else if (core::InRange(target, temp_first, slots::kTempsPerClass)) {
    if (!StoreThroughBinding(vm, target, word)) vm.SetWord(target, 0);
  } else if (!IsConstant(target)) {
    core::StoreZero(vm, target);
  }
}

}  // namespace

void StoreIntoIntVariable(Vm& vm, Slot target, int32_t value) {
  StoreNumber(vm, target, static_cast<uint32_t>(value), slots::kIntVar, slots::kIntTemp);
}

void StoreIntoFloatVariable(Vm& vm, Slot target, float value) {
  StoreNumber(vm, target, std::bit_cast<uint32_t>(value), slots::kFloatVar, slots::kFloatTemp);
}

void StoreIntoStringVariable(Vm& vm, Slot target, std::string_view text) {
  if (core::IsStringVariable(target)) {
    vm.SetString(target, text);
  } else if (core::InRange(target, slots::kStringTemp, slots::kTempsPerClass)) {
    if (!StoreStringThroughBinding(vm, target, text)) vm.SetString(target, "");
  } else if (!IsConstant(target)) {
    core::StoreZero(vm, target);
  }
}

}  // namespace zv::files
