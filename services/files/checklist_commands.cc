#include "services/files/checklist_commands.h"

#include "runtime/vm/opcodes/opcode_support.h"

namespace zv {
namespace {

namespace op = checklist_opcode;
namespace err = checklist_error;

// The entry a reader asks for, checked in the readers' order; null (and the
// error raised) when it cannot be read.
const ChecklistEntry* ReadableEntry(Vm& vm, int32_t index, bool wants_text) {
  const Checklist& list = vm.checklist;
  int32_t error = 0;
  if (!list.made)
    error = err::kNotMade;
  else if (index < 1)
    error = err::kIndex;
  else if (wants_text ? !list.texts_valid : !list.values_valid)
    error = wants_text ? err::kNoTexts : err::kNoValues;
  else if (index - 1 >= list.count)
    error = err::kBeyondCount;
  if (error != 0) {
    vm.RunError(error);
    return nullptr;
  }
  return &list.entries[static_cast<size_t>(index - 1)];
}

void CmdEmptyChecklist(Vm& vm) { vm.checklist.Reset(); }

void FnChecklistQuantity(Vm& vm) {
  const Slot result = vm.NextSlot();
  if (!vm.checklist.made) return vm.RunError(err::kNotMade);
  vm.SetInt(result, vm.checklist.count);
}

using EntryValue = int32_t ChecklistEntry::*;

template <EntryValue kValue>
void FnChecklistValue(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t index = vm.NextInt();
  if (const ChecklistEntry* entry = ReadableEntry(vm, index, false)) vm.SetInt(result, entry->*kValue);
}

void FnChecklistString(Vm& vm) {
  const Slot result = core::NextStringResult(vm);
  const int32_t index = vm.NextInt();
  if (const ChecklistEntry* entry = ReadableEntry(vm, index, true)) vm.SetString(result, entry->text);
}

}  // namespace

void RegisterChecklistHandlers(HandlerTable& t) {
  t.Set(op::kEmptyChecklist, CmdEmptyChecklist);
  t.Set(op::kChecklistQuantity, FnChecklistQuantity);
  t.Set(op::kChecklistValueA, FnChecklistValue<&ChecklistEntry::a>);
  t.Set(op::kChecklistValueB, FnChecklistValue<&ChecklistEntry::b>);
  t.Set(op::kChecklistValueC, FnChecklistValue<&ChecklistEntry::c>);
  t.Set(op::kChecklistValueD, FnChecklistValue<&ChecklistEntry::d>);
  t.Set(op::kChecklistString, FnChecklistString);
}

}  // namespace zv
