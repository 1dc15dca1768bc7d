#include "engine3d/scene/scene_terrain_handlers.h"

#include "engine3d/commands/convert_3ds_command.h"
#include "engine3d/objects/static_scene_commands.h"
#include "engine3d/scene/matrix_commands.h"

namespace zv {

void RegisterSceneTerrainHandlers(HandlerTable& table) {
  RegisterStaticSceneHandlers(table);
  RegisterMatrixHandlers(table);
  RegisterConvert3dsHandler(table);
}

}  // namespace zv
