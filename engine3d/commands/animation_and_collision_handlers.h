#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The object animation commands and queries, the object collision commands
// and queries, and the static scene's collision queries.
void RegisterAnimationAndCollisionHandlers(HandlerTable& table);

}  // namespace zv
