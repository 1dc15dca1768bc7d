#include "audio/commands/sound_commands.h"

#include <cerrno>
#include <string>
#include <string_view>

#include "audio/commands/cut_file_warning.h"
#include "audio/commands/sound_commands_service.h"
#include "audio/library/audio_error.h"
#include "platform/paths/failure_cause.h"
#include "platform/paths/path_resolver.h"
#include "runtime/attached/attached_data.h"

namespace zv {
namespace {

namespace op = sound_opcode;
namespace err = sound_error;

// A file name as the program gave it, after a built game's records.
std::string SoundPath(Vm& vm, std::string_view name) { return ReadPath(vm.attached_data, name); }

bool InRange(int32_t n) { return n >= kFirstSound && n <= kLastSound; }

// The slots for a numbered command: error 3001 outside 1..1025, and with
// `needs_sound` error 3004 for an empty slot while the system runs. Null
// when the command goes no further.
SoundSlots* Numbered(Vm& vm, int32_t n, bool needs_sound = true) {
  if (!InRange(n)) {
    vm.RunError(err::kNumber);
    return nullptr;
  }
  SoundSlots* slots = FindSoundSlots(vm);
  if (slots == nullptr) return nullptr;
  if (needs_sound && slots->Running() && !slots->Slot(n).loaded) {
    vm.RunError(err::kNotLoaded);
    return nullptr;
  }
  return slots;
}

// An error that only counts while the sound system runs.
void RunningError(Vm& vm, const SoundSlots& slots, int32_t code, std::string_view file = {}) {
  if (slots.Running()) vm.RunError(code, file);
}

// ---- Loading ------------------------------------------------------------------

enum class LoadKind { k2D, kPriority, k3D };

void LoadInto(Vm& vm, const std::string& name, int32_t n, LoadKind kind) {
  SoundSlots* slots = Numbered(vm, n, false);
  if (slots == nullptr) return;
  if (slots->Slot(n).loaded) slots->FreeSoundSlot(n);
  const std::string path = SoundPath(vm, name);
  const bool loaded = kind == LoadKind::k3D ? slots->Load3DSound(n, path) : slots->LoadSound(n, path, kind == LoadKind::kPriority);
  if (!loaded) {
    RunningError(vm, *slots, err::kLoadFailed, name);
    return;
  }
  slots->ResetSoundSlotState(n);
  if (kind == LoadKind::k3D) slots->Slot(n).is_3d = true;
  WarnIfFileWasCut(vm, err::kLoadFailed, name);
}

void CmdLoadSound(Vm& vm) {
  const std::string name(vm.NextString());
  const int32_t n = vm.NextInt();
  LoadInto(vm, name, n, LoadKind::k2D);
}

void CmdLoadSoundWithPriority(Vm& vm) {
  const std::string name(vm.NextString());
  const int32_t n = vm.NextInt();
  vm.NextInt();  // the flag itself changes nothing
  LoadInto(vm, name, n, LoadKind::kPriority);
}

void CmdLoad3DSound(Vm& vm) {
  const std::string name(vm.NextString());
  const int32_t n = vm.NextInt();
  LoadInto(vm, name, n, LoadKind::k3D);
}

void CmdCloneSound(Vm& vm) {
  const int32_t n = vm.NextInt();
  const int32_t source = vm.NextInt();
  if (!InRange(n) || !InRange(source)) {
    vm.RunError(err::kNumber);
    return;
  }
  SoundSlots* slots = FindSoundSlots(vm);
  if (slots == nullptr || !slots->Running()) return;
  if (n == source) {
    vm.RunError(err::kCloneOfItself);
    return;
  }
  if (!slots->Slot(source).loaded) {
    vm.RunError(err::kCloneSourceMissing);
    return;
  }
  if (slots->Slot(n).loaded) slots->FreeSoundSlot(n);
  if (!slots->CloneSound(n, source)) {
    vm.RunError(err::kCloneFailed);
    return;
  }
  slots->ResetSoundSlotState(n);
}

void CmdDeleteSound(Vm& vm) {
  const int32_t n = vm.NextInt();
  if (SoundSlots* slots = Numbered(vm, n)) slots->FreeSoundSlot(n);
}

// ---- Playing ------------------------------------------------------------------

void Play(Vm& vm, int32_t n) {
  SoundSlots* slots = Numbered(vm, n);
  if (slots == nullptr) return;
  slots->PlaySound(n);
  SoundSlot& s = slots->Slot(n);
  s.playing = true;
  s.paused = false;
  s.looping = false;
}

void Loop(Vm& vm, int32_t n) {
  SoundSlots* slots = Numbered(vm, n);
  if (slots == nullptr) return;
  slots->LoopSound(n);
  SoundSlot& s = slots->Slot(n);
  s.playing = true;
  s.paused = false;
  s.looping = true;
}

// The start position, loop start and loop end of the later forms are read
// and not applied: every sound plays and loops whole, from its beginning.
void CmdPlaySound(Vm& vm) { Play(vm, vm.NextInt()); }

void CmdPlaySoundFrom(Vm& vm) {
  const int32_t n = vm.NextInt();
  vm.NextInt();
  Play(vm, n);
}

void CmdLoopSound(Vm& vm) { Loop(vm, vm.NextInt()); }

void CmdLoopSoundFrom(Vm& vm) {
  const int32_t n = vm.NextInt();
  vm.NextInt();
  Loop(vm, n);
}

void CmdLoopSoundRange(Vm& vm) {
  const int32_t n = vm.NextInt();
  vm.NextInt();
  vm.NextInt();
  Loop(vm, n);
}

void CmdLoopSoundRangeFrom(Vm& vm) {
  const int32_t n = vm.NextInt();
  vm.NextInt();
  vm.NextInt();
  vm.NextInt();
  Loop(vm, n);
}

void CmdStopSound(Vm& vm) {
  const int32_t n = vm.NextInt();
  SoundSlots* slots = Numbered(vm, n);
  if (slots == nullptr) return;
  slots->StopSound(n);
  slots->Slot(n).playing = false;
  slots->Slot(n).looping = false;
}

void CmdPauseSound(Vm& vm) {
  const int32_t n = vm.NextInt();
  SoundSlots* slots = Numbered(vm, n);
  if (slots == nullptr) return;
  slots->PauseSound(n);
  slots->Slot(n).paused = true;
}

void CmdResumeSound(Vm& vm) {
  const int32_t n = vm.NextInt();
  SoundSlots* slots = Numbered(vm, n);
  if (slots == nullptr) return;
  slots->ResumeSound(n);
  slots->Slot(n).paused = false;
}

// ---- Settings ------------------------------------------------------------------

void CmdSetSoundVolume(Vm& vm) {
  const int32_t n = vm.NextInt();
  const int32_t percent = vm.NextInt();
  SoundSlots* slots = Numbered(vm, n);
  if (slots == nullptr) return;
  if (percent < 0 || percent > 100) {
    vm.RunError(err::kVolumeRange);
    return;
  }
  slots->SetSoundVolume(n, percent);
  slots->Slot(n).volume_percent = percent;
}

void CmdSetSoundSpeed(Vm& vm) {
  const int32_t n = vm.NextInt();
  const int32_t hz = vm.NextInt();
  SoundSlots* slots = Numbered(vm, n);
  if (slots == nullptr) return;
  if (hz < 100 || hz > 100000) {
    vm.RunError(err::kSpeedRange);
    return;
  }
  slots->SetSoundSpeed(n, hz);
  slots->Slot(n).speed = hz;
}

void CmdSetSoundPan(Vm& vm) {
  const int32_t n = vm.NextInt();
  const int32_t pan = vm.NextInt();
  SoundSlots* slots = Numbered(vm, n);
  if (slots == nullptr) return;
  if (pan < -10000 || pan > 10000) {
    vm.RunError(err::kPanRange);
    return;
  }
  slots->SetSoundPan(n, pan);
  slots->Slot(n).pan = pan;
}

void CmdPositionSound(Vm& vm) {
  const int32_t n = vm.NextInt();
  const float x = vm.NextFloat();
  const float y = vm.NextFloat();
  const float z = vm.NextFloat();
  SoundSlots* slots = Numbered(vm, n);
  if (slots == nullptr) return;
  SoundSlot& s = slots->Slot(n);
  s.position[0] = x;
  s.position[1] = y;
  s.position[2] = z;
  slots->PositionSoundChannel(n);
}

void CmdPositionListener(Vm& vm) {
  const float x = vm.NextFloat();
  const float y = vm.NextFloat();
  const float z = vm.NextFloat();
  SoundSlots* slots = FindSoundSlots(vm);
  if (slots == nullptr || !slots->Running()) return;
  slots->listener_position[0] = x;
  slots->listener_position[1] = y;
  slots->listener_position[2] = z;
  slots->PositionListener(x, y, z);
}

void CmdRotateListener(Vm& vm) {
  const float ax = vm.NextFloat();
  const float ay = vm.NextFloat();
  const float az = vm.NextFloat();
  SoundSlots* slots = FindSoundSlots(vm);
  if (slots == nullptr || !slots->Running()) return;
  slots->listener_angles[0] = ax;
  slots->listener_angles[1] = ay;
  slots->listener_angles[2] = az;
  slots->RotateListener(ax, ay, az);
}

void CmdSetSoundDistanceFactor(Vm& vm) {
  const float factor = vm.NextFloat();
  SoundSlots* slots = FindSoundSlots(vm);
  if (slots && slots->Running()) slots->SetSoundDistanceFactor(factor / 100.0f);
}

void CmdSetSoundEnvironment(Vm& vm) {
  const int32_t preset = vm.NextInt();
  if (SoundSlots* slots = FindSoundSlots(vm)) slots->SetSoundEnvironment(preset);
}

void CmdSetSoundEnvironmentValues(Vm& vm) {
  const int32_t preset = vm.NextInt();
  const float volume = vm.NextFloat();
  const float decay_time = vm.NextFloat();
  const float damping = vm.NextFloat();
  if (SoundSlots* slots = FindSoundSlots(vm)) slots->SetSoundEnvironmentValues(preset, volume, decay_time, damping);
}

void CmdSetSoundEnvironmentDetailed(Vm& vm) {
  const int32_t preset = vm.NextInt();
  ReverbProperties p;
  p.room = vm.NextInt();
  p.room_hf = vm.NextInt();
  p.room_rolloff = vm.NextFloat();
  p.decay_time = vm.NextFloat();
  p.decay_hf_ratio = vm.NextFloat();
  p.reflections = vm.NextInt();
  p.reflections_delay = vm.NextFloat();
  p.reverb = vm.NextInt();
  p.reverb_delay = vm.NextFloat();
  p.environment_size = vm.NextFloat();
  p.environment_diffusion = vm.NextFloat();
  p.air_absorption_hf = vm.NextFloat();
  if (SoundSlots* slots = FindSoundSlots(vm)) slots->SetSoundEnvironmentDetailed(preset, p);
}

// ---- Recording and saving ------------------------------------------------------

// Why a recording did not start, from the sound library's last error: the
// code's own text ("Could not load the sound") would not tell.
std::string RecordingRefused(int32_t seconds) {
  switch (GetAudioError()) {
    case audio_error::kBadParameter:
      return "a recording of " + std::to_string(seconds) + " seconds is longer than a sound can be";
    case audio_error::kOutOfMemory:
      return "not enough memory for a recording of " + std::to_string(seconds) + " seconds";
    default:
      return "no recording device could be opened";
  }
}

void Record(Vm& vm, int32_t n, int32_t seconds) {
  SoundSlots* slots = Numbered(vm, n, false);
  if (slots == nullptr) return;
  if (slots->Slot(n).loaded) slots->FreeSoundSlot(n);
  if (seconds < 1) seconds = 5;
  if (!slots->StartRecordingSound(n, seconds) && slots->Running())
    vm.RunError(err::kLoadFailed, {}, RecordingRefused(seconds));
}

void CmdRecordSound(Vm& vm) { Record(vm, vm.NextInt(), 5); }

void CmdRecordSoundTimed(Vm& vm) {
  const int32_t n = vm.NextInt();
  const int32_t seconds = vm.NextInt();
  Record(vm, n, seconds);
}

void CmdStopRecordingSound(Vm& vm) {
  SoundSlots* slots = FindSoundSlots(vm);
  if (slots == nullptr) return;
  slots->ResetSoundSlotState(slots->StopRecordingSound());
}

void CmdSaveSound(Vm& vm) {
  const std::string name(vm.NextString());
  const int32_t n = vm.NextInt();
  SoundSlots* slots = Numbered(vm, n, false);
  if (slots == nullptr) return;
  // Written to disk under the name, never into a built game's private copy
  // of a sound it carries.
  std::string refused;
  if (!slots->SaveSoundAsWav(platform::Paths().Resolve(name), n, &refused) && slots->Running())
    vm.RunError(err::kSaveFailed, name, refused.empty() ? platform::CauseOf(errno) : refused);
}

// ---- Commands the system does not support ---------------------------------------

void CmdSoundStubA(Vm& vm) {
  vm.NextWord();
  vm.RunError(err::kNotSupported);
}

void CmdSoundStubB(Vm& vm) {
  vm.NextWord();
  const int32_t n = vm.NextInt();
  if (!InRange(n)) {
    vm.RunError(err::kNumber);
    return;
  }
  SoundSlots* slots = FindSoundSlots(vm);
  vm.RunError(slots && slots->Slot(n).loaded ? err::kInUse : err::kNotSupported);
}

void CmdSoundStubC(Vm& vm) {
  vm.NextWord();
  vm.NextWord();
  vm.RunError(err::kNotSupported);
}

// ---- Queries ----------------------------------------------------------------------

void FnSoundExist(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t n = vm.NextInt();
  if (!InRange(n)) {
    vm.RunError(err::kNumber);
    return;
  }
  SoundSlots* slots = FindSoundSlots(vm);
  vm.SetInt(result, slots && slots->Running() && slots->Slot(n).loaded ? 1 : 0);
}

// A query of a numbered sound: its value from the slot, or nothing stored
// after an error.
template <typename Read>
void QuerySound(Vm& vm, Read read) {
  const Slot result = vm.NextSlot();
  const int32_t n = vm.NextInt();
  SoundSlots* slots = Numbered(vm, n);
  if (slots == nullptr) return;
  read(vm, result, *slots, n);
}

void FnSoundPlaying(Vm& vm) {
  QuerySound(vm, [](Vm& m, Slot result, SoundSlots& slots, int32_t n) {
    SoundSlot& s = slots.Slot(n);
    if (s.playing && !slots.SoundPlaying(n)) s.playing = false;
    m.SetInt(result, s.playing ? 1 : 0);
  });
}

void FnSoundPaused(Vm& vm) {
  QuerySound(vm, [](Vm& m, Slot r, SoundSlots& s, int32_t n) { m.SetInt(r, s.Slot(n).paused ? 1 : 0); });
}

void FnSoundLooping(Vm& vm) {
  QuerySound(vm, [](Vm& m, Slot r, SoundSlots& s, int32_t n) { m.SetInt(r, s.Slot(n).looping ? 1 : 0); });
}

void FnSoundVolume(Vm& vm) {
  QuerySound(vm, [](Vm& m, Slot r, SoundSlots& s, int32_t n) { m.SetInt(r, s.Slot(n).volume_percent); });
}

void FnSoundSpeed(Vm& vm) {
  QuerySound(vm, [](Vm& m, Slot r, SoundSlots& s, int32_t n) { m.SetInt(r, s.Slot(n).speed); });
}

void FnSoundPan(Vm& vm) {
  QuerySound(vm, [](Vm& m, Slot r, SoundSlots& s, int32_t n) { m.SetInt(r, s.Slot(n).pan); });
}

void FnSoundIs3D(Vm& vm) {
  QuerySound(vm, [](Vm& m, Slot r, SoundSlots& s, int32_t n) { m.SetInt(r, s.Slot(n).is_3d ? 1 : 0); });
}

template <int Axis>
void FnSoundPosition(Vm& vm) {
  QuerySound(vm, [](Vm& m, Slot r, SoundSlots& s, int32_t n) { m.SetFloat(r, s.Slot(n).position[Axis]); });
}

template <int Axis>
void FnListenerPosition(Vm& vm) {
  const Slot result = vm.NextSlot();
  SoundSlots* slots = FindSoundSlots(vm);
  vm.SetFloat(result, slots ? slots->listener_position[Axis] : 0.0f);
}

template <int Axis>
void FnListenerAngle(Vm& vm) {
  const Slot result = vm.NextSlot();
  SoundSlots* slots = FindSoundSlots(vm);
  vm.SetFloat(result, slots ? slots->listener_angles[Axis] : 0.0f);
}

}  // namespace

void RegisterSoundHandlers(HandlerTable& t) {
  t.Set(op::kLoadSound, CmdLoadSound);
  t.Set(op::kDeleteSound, CmdDeleteSound);
  t.Set(op::kPlaySound, CmdPlaySound);
  t.Set(op::kStopSound, CmdStopSound);
  t.Set(op::kPauseSound, CmdPauseSound);
  t.Set(op::kResumeSound, CmdResumeSound);
  t.Set(op::kLoopSound, CmdLoopSound);
  t.Set(op::kSetSoundVolume, CmdSetSoundVolume);
  t.Set(op::kSetSoundSpeed, CmdSetSoundSpeed);
  t.Set(op::kSetSoundPan, CmdSetSoundPan);
  t.Set(op::kLoad3DSound, CmdLoad3DSound);
  t.Set(op::kPositionSound, CmdPositionSound);
  t.Set(op::kPositionListener, CmdPositionListener);
  t.Set(op::kRotateListener, CmdRotateListener);
  t.Set(op::kSetSoundDistanceFactor, CmdSetSoundDistanceFactor);
  t.Set(op::kCloneSound, CmdCloneSound);
  t.Set(op::kPlaySoundFrom, CmdPlaySoundFrom);
  t.Set(op::kLoopSoundFrom, CmdLoopSoundFrom);
  t.Set(op::kLoopSoundRange, CmdLoopSoundRange);
  t.Set(op::kLoopSoundRangeFrom, CmdLoopSoundRangeFrom);
  t.Set(op::kLoadSoundWithPriority, CmdLoadSoundWithPriority);
  t.Set(op::kRecordSound, CmdRecordSound);
  t.Set(op::kStopRecordingSound, CmdStopRecordingSound);
  t.Set(op::kSaveSound, CmdSaveSound);
  t.Set(op::kRecordSoundTimed, CmdRecordSoundTimed);
  t.Set(op::kSetSoundEnvironment, CmdSetSoundEnvironment);
  t.Set(op::kSetSoundEnvironmentValues, CmdSetSoundEnvironmentValues);
  t.Set(op::kSetSoundEnvironmentDetailed, CmdSetSoundEnvironmentDetailed);
  t.Set(op::kSoundStubA, CmdSoundStubA);
  t.Set(op::kSoundStubB, CmdSoundStubB);
  t.Set(op::kSoundStubC, CmdSoundStubC);
  t.Set(op::kSoundStubD, CmdSoundStubA);
  t.Set(op::kSoundExist, FnSoundExist);
  t.Set(op::kSoundPlaying, FnSoundPlaying);
  t.Set(op::kSoundPaused, FnSoundPaused);
  t.Set(op::kSoundLooping, FnSoundLooping);
  t.Set(op::kSoundVolume, FnSoundVolume);
  t.Set(op::kSoundSpeed, FnSoundSpeed);
  t.Set(op::kSoundPan, FnSoundPan);
  t.Set(op::kSoundIs3D, FnSoundIs3D);
  t.Set(op::kSoundPositionX, FnSoundPosition<0>);
  t.Set(op::kSoundPositionY, FnSoundPosition<1>);
  t.Set(op::kSoundPositionZ, FnSoundPosition<2>);
  t.Set(op::kListenerPositionX, FnListenerPosition<0>);
  t.Set(op::kListenerPositionY, FnListenerPosition<1>);
  t.Set(op::kListenerPositionZ, FnListenerPosition<2>);
  t.Set(op::kListenerAngleX, FnListenerAngle<0>);
  t.Set(op::kListenerAngleY, FnListenerAngle<1>);
  t.Set(op::kListenerAngleZ, FnListenerAngle<2>);
}

}  // namespace zv
