#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The command that converts a 3DS model file into an X text file (7941).
void RegisterConvert3dsHandler(HandlerTable& table);

}  // namespace zv
