#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// Saving, joining, deleting and recording an object's keyframes.
void RegisterKeyframeHandlers(HandlerTable& table);

}  // namespace zv
