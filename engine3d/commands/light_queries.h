#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// What a program reads back of a light: existence, type, position,
// direction, visibility and range.
void RegisterLightQueryHandlers(HandlerTable& table);

}  // namespace zv
