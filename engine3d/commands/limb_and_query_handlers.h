#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The limb commands and queries, the object, mesh, matrix and light queries,
// the 3D maths functions and the keyframe editing commands.
void RegisterLimbAndQueryHandlers(HandlerTable& table);

}  // namespace zv
