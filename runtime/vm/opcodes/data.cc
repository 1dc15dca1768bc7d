// READ of DATA items and RESTORE.
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/opcodes/element_binding.h"
#include "runtime/vm/opcodes/opcode_support.h"

namespace zv {
namespace {

// The next DATA item, if any is left: its type byte and its slot.
struct DataItemRef {
  char type = 0;  // 0 when the items are used up
  Slot slot{0};
};

DataItemRef NextItem(const Vm& vm) {
  uint32_t p = vm.data_read_index;
  if (p >= vm.DataTypes().size()) return {};
  return DataItemRef{static_cast<char>(vm.DataTypes()[p]), Slot{slots::kData + p}};
}

void StepPastItem(Vm& vm, const DataItemRef& item) {
  if (item.type != 0) ++vm.data_read_index;
}

// A numeric item of `type` goes into a variable of the class at `var_first`,
// or through a temporary of the class at `temp_first` into the array element
// read into it; any other target, or an item of another type, gives 0.
void ReadNumberItem(Vm& vm, char type, uint32_t var_first, uint32_t temp_first) {
  Slot target = vm.NextSlot();
  DataItemRef item = NextItem(vm);
  if (item.type != type) {
    core::StoreZero(vm, target);
  } else if (core::InRange(target, var_first, slots::kVarsPerClass)) {
    vm.SetWord(target, vm.WordAt(item.slot));
  } else if (core::InRange(target, temp_first, slots::kTempsPerClass)) {
    StoreThroughBinding(vm, target, vm.WordAt(item.slot));
  } else {
    core::StoreZero(vm, target);
  }
  StepPastItem(vm, item);
}

// target slot
void ReadIntItem(Vm& vm) { ReadNumberItem(vm, 'l', slots::kIntVar, slots::kIntTemp); }
void ReadFloatItem(Vm& vm) { ReadNumberItem(vm, 'f', slots::kFloatVar, slots::kFloatTemp); }

// target slot: a string variable, or a string temporary holding an element
// read; any other case gives the target the empty string.
void ReadStringItem(Vm& vm) {
  Slot target = vm.NextSlot();
  DataItemRef item = NextItem(vm);
  bool is_string = item.type == 's';
  if (is_string && core::IsStringVariable(target)) {
    vm.SetString(target, vm.StringAt(item.slot));
  } else if (is_string && core::InRange(target, slots::kStringTemp, slots::kTempsPerClass)) {
    StoreStringThroughBinding(vm, target, vm.StringAt(item.slot));
  } else if (core::IsStringSlot(target)) {
    vm.SetString(target, "");
  } else {
    core::StoreZero(vm, target);
  }
  StepPastItem(vm, item);
}

// DATA position (literal)
void RestoreDataAt(Vm& vm) { vm.data_read_index = static_cast<uint32_t>(vm.NextLiteral()); }
void RestoreData(Vm& vm) { vm.data_read_index = 0; }

}  // namespace

void RegisterDataHandlers(HandlerTable& table) {
  table.Set(31, RestoreDataAt);
  table.Set(32, RestoreData);
  table.Set(33, ReadIntItem);
  table.Set(34, ReadFloatItem);
  table.Set(35, ReadStringItem);
}

}  // namespace zv
