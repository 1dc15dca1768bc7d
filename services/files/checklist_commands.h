#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The checklist commands: empty the list, and read back how many entries
// the last filler made and each entry's values and text (entries numbered
// from 1).
void RegisterChecklistHandlers(HandlerTable& table);

namespace checklist_opcode {
constexpr int kEmptyChecklist = 9501;
constexpr int kChecklistQuantity = 9551;
constexpr int kChecklistValueA = 9552;
constexpr int kChecklistValueB = 9553;
constexpr int kChecklistValueC = 9554;
constexpr int kChecklistValueD = 9555;
constexpr int kChecklistString = 9556;
}  // namespace checklist_opcode

namespace checklist_error {
constexpr int32_t kIndex = 9001;       // below 1
constexpr int32_t kBeyondCount = 9002;
constexpr int32_t kNoTexts = 9003;
constexpr int32_t kNoValues = 9004;
constexpr int32_t kNotMade = 9005;
}  // namespace checklist_error

}  // namespace zv
