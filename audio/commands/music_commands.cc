#include "audio/commands/music_commands.h"

#include <string>

#include "audio/commands/cut_file_warning.h"
#include "audio/commands/music_service.h"
#include "runtime/vm/numeric/float_to_int.h"

namespace zv {
namespace {

namespace op = music_opcode;
namespace err = music_error;

// The slots for a numbered command: error 3501 outside 1..32, and with
// `needs_music` `missing` for an empty slot. Null when the command goes no
// further.
MusicSlots* Numbered(Vm& vm, int32_t n, bool needs_music = true, int32_t missing = err::kNotLoaded) {
  if (!MusicSlots::InRange(n)) {
    vm.RunError(err::kNumber);
    return nullptr;
  }
  MusicSlots* slots = FindMusicSlots(vm);
  if (!slots) return nullptr;
  if (needs_music && !slots->Slot(n).loaded) {
    vm.RunError(missing);
    return nullptr;
  }
  return slots;
}

void MarkLoaded(MusicSlot& slot) {
  slot.loaded = true;
  slot.playing = slot.paused = slot.looping = false;
}

// The slots with music `n` made free for a load (music already there is
// deleted first); null, with the error raised, for a bad number.
MusicSlots* SlotsToLoad(Vm& vm, int32_t n) {
  MusicSlots* slots = Numbered(vm, n, false);
  if (slots && slots->Slot(n).loaded) {
    slots->DeleteMusic(n);
    slots->Slot(n).loaded = false;
  }
  return slots;
}

void CmdLoadMusic(Vm& vm) {
  const std::string name(vm.NextString());
  const int32_t n = vm.NextInt();
  MusicSlots* slots = SlotsToLoad(vm, n);
  if (!slots) return;
  if (!slots->LoadMusic(n, name, vm.attached_data)) return vm.RunError(err::kLoadFailed, name);
  MarkLoaded(slots->Slot(n));
  WarnIfFileWasCut(vm, err::kLoadFailed, name);
}

void CmdLoadCdMusic(Vm& vm) {
  const int32_t track = vm.NextInt();
  const int32_t n = vm.NextInt();
  MusicSlots* slots = SlotsToLoad(vm, n);
  if (!slots) return;
  if (!slots->LoadCdMusic(n, track)) return vm.RunError(err::kLoadFailed);
  MarkLoaded(slots->Slot(n));
}

void CmdDeleteMusic(Vm& vm) {
  const int32_t n = vm.NextInt();
  MusicSlots* slots = Numbered(vm, n);
  if (!slots) return;
  slots->DeleteMusic(n);
  slots->Slot(n).loaded = false;
}

template <bool kLoop>
void CmdStartMusic(Vm& vm) {
  const int32_t n = vm.NextInt();
  MusicSlots* slots = Numbered(vm, n);
  if (!slots) return;
  if (!(kLoop ? slots->LoopMusic(n) : slots->PlayMusic(n))) return;
  MusicSlot& slot = slots->Slot(n);
  slot.playing = true;
  slot.paused = false;
  slot.looping = kLoop;
}

void CmdStopMusic(Vm& vm) {
  const int32_t n = vm.NextInt();
  MusicSlots* slots = Numbered(vm, n);
  if (!slots || !slots->StopMusic(n)) return;
  slots->Slot(n).playing = false;
  slots->Slot(n).looping = false;
}

void CmdPauseMusic(Vm& vm) {
  const int32_t n = vm.NextInt();
  MusicSlots* slots = Numbered(vm, n);
  if (!slots) return;
  MusicSlot& slot = slots->Slot(n);
  if (!slot.playing) return vm.RunError(err::kNotPlaying);
  if (!slot.paused && slots->PauseMusic(n)) slot.paused = true;
}

void CmdResumeMusic(Vm& vm) {
  const int32_t n = vm.NextInt();
  MusicSlots* slots = Numbered(vm, n);
  if (!slots) return;
  MusicSlot& slot = slots->Slot(n);
  if (slot.paused && slots->ResumeMusic(n)) slot.paused = false;
}

void CmdSetMusicVolume(Vm& vm) {
  const int32_t n = vm.NextInt();
  const int32_t percent = vm.NextInt();
  MusicSlots* slots = Numbered(vm, n, true, err::kLoadFailed);
  if (slots) slots->SetMusicVolume(n, TruncateToInt32(percent * 2.55));
}

void CmdSetMusicVolumeRaw(Vm& vm) {
  const int32_t n = vm.NextInt();
  const int32_t volume = vm.NextInt();
  MusicSlots* slots = Numbered(vm, n, true, err::kLoadFailed);
  if (slots) slots->SetMusicVolume(n, volume);
}

void FnMusicExist(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t n = vm.NextInt();
  if (MusicSlots* slots = Numbered(vm, n, false)) vm.SetInt(result, slots->Slot(n).loaded ? 1 : 0);
}

using MusicFlag = bool MusicSlot::*;

template <MusicFlag kFlag>
void FnMusicFlag(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t n = vm.NextInt();
  if (MusicSlots* slots = Numbered(vm, n)) vm.SetInt(result, slots->Slot(n).*kFlag ? 1 : 0);
}

}  // namespace

void RegisterMusicHandlers(HandlerTable& table) {
  table.Set(op::kLoadMusic, CmdLoadMusic);
  table.Set(op::kDeleteMusic, CmdDeleteMusic);
  table.Set(op::kPlayMusic, CmdStartMusic<false>);
  table.Set(op::kStopMusic, CmdStopMusic);
  table.Set(op::kPauseMusic, CmdPauseMusic);
  table.Set(op::kResumeMusic, CmdResumeMusic);
  table.Set(op::kLoopMusic, CmdStartMusic<true>);
  table.Set(op::kSetMusicVolume, CmdSetMusicVolume);
  table.Set(op::kSetMusicVolumeRaw, CmdSetMusicVolumeRaw);
  table.Set(op::kMusicExist, FnMusicExist);
  table.Set(op::kMusicPlaying, FnMusicFlag<&MusicSlot::playing>);
  table.Set(op::kMusicPaused, FnMusicFlag<&MusicSlot::paused>);
  table.Set(op::kMusicLooping, FnMusicFlag<&MusicSlot::looping>);
  table.Set(op::kLoadCdMusic, CmdLoadCdMusic);
}

}  // namespace zv
