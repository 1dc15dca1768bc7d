#include "app/all_handlers.h"

#include "audio/commands/music_commands.h"
#include "audio/commands/sound_commands.h"

#include "display/animation_commands.h"
#include "display/display_commands.h"
#include "display/images.h"
#include "display/sprites_commands.h"
#include "engine3d/engine_handlers.h"
#include "runtime/console/console_commands.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "services/files/array_file_commands.h"
#include "services/files/checklist_commands.h"
#include "services/files/file_commands.h"
#include "services/files/numbered_file_commands.h"
#include "services/input/input_commands.h"
#include "services/memory/memory_handlers.h"
#include "services/net/net_handlers.h"
#include "services/system/system_commands.h"
#include "services/system/user_library_commands.h"

namespace zv {

void RegisterAllHandlers(HandlerTable& table) {
  RegisterCoreHandlers(table);
  RegisterConsoleHandlers(table);
  RegisterDisplayHandlers(table);  // with bitmaps and text
  RegisterImageHandlers(table);
  RegisterSpriteHandlers(table);
  RegisterAnimationHandlers(table);
  RegisterEngine3DHandlers(table);
  RegisterSoundHandlers(table);
  RegisterMusicHandlers(table);
  RegisterInputHandlers(table);  // with force feedback
  RegisterFileHandlers(table);
  RegisterNumberedFileHandlers(table);
  RegisterArrayFileHandlers(table);
  RegisterChecklistHandlers(table);
  RegisterSystemHandlers(table);
  RegisterUserLibraryHandlers(table);
  RegisterMemoryHandlers(table);
  RegisterNetHandlers(table);
}

}  // namespace zv
