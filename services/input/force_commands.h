#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The force-feedback commands (part of RegisterInputHandlers).
void RegisterForceFeedbackHandlers(HandlerTable& table);

}  // namespace zv
