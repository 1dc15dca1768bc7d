#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// Collision on and off (everywhere and per object), the shapes an object's
// meshes file for the collision library, whether objects hit one another,
// and the correction of the last box test.
void RegisterCollisionHandlers(HandlerTable& table);

}  // namespace zv
