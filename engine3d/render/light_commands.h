#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The numbered lights (opcodes 7301 to 7318).
void RegisterLightHandlers(HandlerTable& table);

}  // namespace zv
