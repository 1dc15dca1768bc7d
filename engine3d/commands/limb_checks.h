#pragma once

#include <cstdint>

#include "engine3d/commands/command_checks.h"

namespace zv {

// Runtime errors of the limb commands and queries.
namespace limb_error {
constexpr int32_t kNumber = 7021;     // outside the object's limb slots
constexpr int32_t kNewNumber = 7022;  // a limb to add outside 1..slots - 1
constexpr int32_t kMissing = 7023;    // not in use
constexpr int32_t kExists = 7024;     // a limb to add already in use
constexpr int32_t kRefused = 7025;    // the model cannot link it there
constexpr int32_t kGap = 7026;        // the limb before a limb to add is missing
constexpr int32_t kLinked = 7027;     // linked before, or a loaded model's
constexpr int32_t kGlueChain = 7029;  // a glue loop, or a chain of more than 10
}  // namespace limb_error

// The object's limb slot: 7021 outside its slots; null after raising.
inline LimbRecord* LimbSlot(Vm& vm, ObjectRecord& o, int32_t limb) {
  LimbRecord* l = o.Limb(limb);
  if (!l) vm.RunError(limb_error::kNumber);
  return l;
}

// The object's limb: 7021 outside its slots, 7023 when not in use; null
// after raising.
inline LimbRecord* ExistingLimb(Vm& vm, ObjectRecord& o, int32_t limb) {
  LimbRecord* l = LimbSlot(vm, o, limb);
  if (l && l->in_use != 1) {
    vm.RunError(limb_error::kMissing);
    return nullptr;
  }
  return l;
}

// A limb a command names: the engine, the object's record index and the
// limb's record; index 0 (and `l` null) after raising or without an engine.
struct FoundLimb {
  Engine3D* e = nullptr;
  int32_t index = 0;
  LimbRecord* l = nullptr;
};

// Object `number` and its limb, both checked.
inline FoundLimb CheckedLimb(Vm& vm, int32_t number, int32_t limb) {
  const FoundRecord object = CheckedObject(vm, number);
  if (object.index == 0) return FoundLimb{};
  LimbRecord* l = ExistingLimb(vm, object.e->pools.objects[object.index], limb);
  return l ? FoundLimb{object.e, object.index, l} : FoundLimb{};
}

}  // namespace zv
