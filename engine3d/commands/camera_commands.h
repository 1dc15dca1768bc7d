#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The camera: placing, turning, following, range, field of view, view
// rectangle, and its position and angle queries.
void RegisterCameraHandlers(HandlerTable& table);

}  // namespace zv
