#include "app/all_handlers.h"

#include "display/animation_commands.h"
#include "display/display_commands.h"
#include "display/images.h"
#include "display/sprites_commands.h"
#include "runtime/console/console_commands.h"
#include "runtime/vm/opcodes/core_handlers.h"

namespace zv {

void RegisterAllHandlers(HandlerTable& table) {
  RegisterCoreHandlers(table);
  RegisterConsoleHandlers(table);
  RegisterDisplayHandlers(table);  // with bitmaps and text
  RegisterImageHandlers(table);
  RegisterSpriteHandlers(table);
  RegisterAnimationHandlers(table);
}

}  // namespace zv
