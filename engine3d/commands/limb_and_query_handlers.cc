#include "engine3d/commands/limb_and_query_handlers.h"

#include "engine3d/commands/light_queries.h"
#include "engine3d/commands/limb_commands.h"
#include "engine3d/commands/limb_queries.h"
#include "engine3d/commands/math_functions.h"
#include "engine3d/commands/matrix_queries.h"
#include "engine3d/commands/object_queries.h"
#include "engine3d/objects/keyframe_commands.h"

namespace zv {

void RegisterLimbAndQueryHandlers(HandlerTable& table) {
  RegisterLimbHandlers(table);
  RegisterLimbQueryHandlers(table);
  RegisterObjectQueryHandlers(table);
  RegisterMatrixQueryHandlers(table);
  RegisterLightQueryHandlers(table);
  RegisterMathFunctionHandlers(table);
  RegisterKeyframeHandlers(table);
}

}  // namespace zv
