#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// Limbs added from meshes, textured, coloured, placed, linked, hidden and
// shown; objects textured as a whole and glued to limbs.
void RegisterLimbHandlers(HandlerTable& table);

}  // namespace zv
