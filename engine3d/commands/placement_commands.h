#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// Placing, turning, scaling, showing, ghosting and locking objects.
void RegisterPlacementHandlers(HandlerTable& table);

}  // namespace zv
