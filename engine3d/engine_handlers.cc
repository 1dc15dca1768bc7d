#include "engine3d/engine_handlers.h"

#include "engine3d/commands/animation_and_collision_handlers.h"
#include "engine3d/commands/backdrop_commands.h"
#include "engine3d/commands/camera_commands.h"
#include "engine3d/commands/limb_and_query_handlers.h"
#include "engine3d/commands/placement_commands.h"
#include "engine3d/objects/object_commands.h"
#include "engine3d/render/light_commands.h"
#include "engine3d/render/scene_commands.h"
#include "engine3d/scene/scene_terrain_handlers.h"

namespace zv {

void RegisterEngine3DHandlers(HandlerTable& table) {
  RegisterObjectHandlers(table);
  RegisterMeshHandlers(table);
  RegisterPlacementHandlers(table);
  RegisterCameraHandlers(table);
  RegisterLightHandlers(table);
  RegisterSceneHandlers(table);
  RegisterBackdropTextureHandlers(table);
  RegisterAnimationAndCollisionHandlers(table);
  RegisterLimbAndQueryHandlers(table);
  RegisterSceneTerrainHandlers(table);
}

}  // namespace zv
