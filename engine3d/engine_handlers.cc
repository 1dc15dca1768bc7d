#include "engine3d/engine_handlers.h"

#include "engine3d/commands/camera_commands.h"
#include "engine3d/commands/placement_commands.h"
#include "engine3d/objects/object_commands.h"
#include "engine3d/render/light_commands.h"
#include "engine3d/render/scene_commands.h"

namespace zv {

void RegisterEngine3DHandlers(HandlerTable& table) {
  RegisterObjectHandlers(table);
  RegisterMeshHandlers(table);
  RegisterPlacementHandlers(table);
  RegisterCameraHandlers(table);
  RegisterLightHandlers(table);
  RegisterSceneHandlers(table);
}

}  // namespace zv
