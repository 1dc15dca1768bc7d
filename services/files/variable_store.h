#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/vm/vm.h"

// Where a file read puts what it read: a variable of the target's type
// takes the value; a temporary that an array-element read filled passes it
// on to that element (and takes 0 or "" itself when it is bound to none);
// constants are never changed.
namespace zv::files {

void StoreIntoIntVariable(Vm& vm, Slot target, int32_t value);
void StoreIntoFloatVariable(Vm& vm, Slot target, float value);
void StoreIntoStringVariable(Vm& vm, Slot target, std::string_view text);

}  // namespace zv::files
