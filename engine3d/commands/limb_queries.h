#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// What a program reads back of a limb: whether it exists, its texture,
// offset, angles, world position and direction, visibility and name.
void RegisterLimbQueryHandlers(HandlerTable& table);

}  // namespace zv
