#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The matrix terrain commands: make, delete, shape, texture, scroll, place
// and draw matrices (opcodes 7101 to 7138).
void RegisterMatrixHandlers(HandlerTable& table);

}  // namespace zv
