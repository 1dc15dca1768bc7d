#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// Easing a value or an angle towards a target, wrapping an angle, and
// stepping a coordinate along a heading.
void RegisterMathFunctionHandlers(HandlerTable& table);

}  // namespace zv
