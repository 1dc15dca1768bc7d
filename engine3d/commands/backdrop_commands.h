#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The backdrop's texture commands: texture backdrop and scroll backdrop.
void RegisterBackdropTextureHandlers(HandlerTable& table);

}  // namespace zv
