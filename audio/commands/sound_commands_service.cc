#include "audio/commands/sound_commands_service.h"

#include "audio/library/cd_audio.h"
#include "runtime/vm/vm.h"

namespace zv {

void SoundCommandsService::UpdateSoundLibrary() {
  PumpCdEvents();
  music_->UpdateSoundLibrary();
}

SoundSlots* FindSoundSlots(Vm& vm) {
  auto* service = dynamic_cast<SoundCommandsService*>(vm.sound);
  return service ? &service->Slots() : nullptr;
}

}  // namespace zv
