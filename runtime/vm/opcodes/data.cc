// READ of DATA items and RESTORE.
#include <bit>
#include <optional>

#include "runtime/vm/numeric/float_to_int.h"
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

// The word of a numeric item as a number of `type`: a number of the other
// kind is converted as an assignment converts it (data 3 read into a#
// gives 3.0, data 2.7 read into a gives 2). Nothing for a string item.
std::optional<uint32_t> NumberWord(const Vm& vm, const DataItemRef& item, char type) {
  const uint32_t word = vm.WordAt(item.slot);
  if (item.type == type) return word;
  if (type == 'f' && item.type == 'l') return std::bit_cast<uint32_t>(static_cast<float>(static_cast<int32_t>(word)));
  if (type == 'l' && item.type == 'f') return static_cast<uint32_t>(FloatToInt(std::bit_cast<float>(word)));
  return std::nullopt;
}

// A numeric item goes, as a number of `type`, into a variable of the class at
// `var_first`, or through a temporary of the class at `temp_first` into the
// array element read into it; any other target, or a string item, gives 0.
void ReadNumberItem(Vm& vm, char type, uint32_t var_first, uint32_t temp_first) {
  Slot target = vm.NextSlot();
  DataItemRef item = NextItem(vm);
  const std::optional<uint32_t> word = NumberWord(vm, item, type);
  if (!word) {
    core::StoreZero(vm, target);
  } else if (core::InRange(target, var_first, slots::kVarsPerClass)) {
    vm.SetWord(target, *word);
  } else if (core::InRange(target, temp_first, slots::kTempsPerClass)) {
    StoreThroughBinding(vm, target, *word);
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
