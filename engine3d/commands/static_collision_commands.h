#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The tests of a moving box or a moving cube against the static scene's
// collision boxes, and the vectors they leave.
void RegisterStaticCollisionHandlers(HandlerTable& table);

}  // namespace zv
