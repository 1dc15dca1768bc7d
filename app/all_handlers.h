#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// Every command of the system that is built, in the order that lets later
// families take their numbers inside the core block.
void RegisterAllHandlers(HandlerTable& table);

}  // namespace zv
