#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The static scene, matrix terrain and 3DS conversion commands.
void RegisterSceneTerrainHandlers(HandlerTable& table);

}  // namespace zv
