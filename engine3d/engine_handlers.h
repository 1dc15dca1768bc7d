#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// Every 3D command and function built so far.
void RegisterEngine3DHandlers(HandlerTable& table);

}  // namespace zv
