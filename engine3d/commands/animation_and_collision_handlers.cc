#include "engine3d/commands/animation_and_collision_handlers.h"

#include "engine3d/commands/animation_commands.h"
#include "engine3d/commands/collision_commands.h"
#include "engine3d/commands/static_collision_commands.h"

namespace zv {

void RegisterAnimationAndCollisionHandlers(HandlerTable& table) {
  RegisterObjectAnimationHandlers(table);
  RegisterCollisionHandlers(table);
  RegisterStaticCollisionHandlers(table);
}

}  // namespace zv
