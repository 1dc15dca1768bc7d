#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// Scene-wide settings: when and how the scene is rendered, fog, ambient
// light, the backdrop, and what the device can do.
void RegisterSceneHandlers(HandlerTable& table);

}  // namespace zv
