#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// What a program reads back of a matrix terrain: existence, wireframe,
// point and ground heights, position and texture tiling.
void RegisterMatrixQueryHandlers(HandlerTable& table);

}  // namespace zv
