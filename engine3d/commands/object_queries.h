#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// What a program reads back of meshes and objects: existence, placement,
// visibility, bounds, size, place on the screen, and the engine's
// statistics.
void RegisterObjectQueryHandlers(HandlerTable& table);

}  // namespace zv
