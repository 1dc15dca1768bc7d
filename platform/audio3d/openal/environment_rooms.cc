#include "platform/audio3d/openal/environment_rooms.h"

#include <AL/efx-presets.h>

namespace zv::platform {
namespace {

// In the order the environments are numbered.
const EFXEAXREVERBPROPERTIES kPresets[26] = {
    EFX_REVERB_PRESET_GENERIC,         EFX_REVERB_PRESET_PADDEDCELL, EFX_REVERB_PRESET_ROOM,
    EFX_REVERB_PRESET_BATHROOM,        EFX_REVERB_PRESET_LIVINGROOM, EFX_REVERB_PRESET_STONEROOM,
    EFX_REVERB_PRESET_AUDITORIUM,      EFX_REVERB_PRESET_CONCERTHALL, EFX_REVERB_PRESET_CAVE,
    EFX_REVERB_PRESET_ARENA,           EFX_REVERB_PRESET_HANGAR,     EFX_REVERB_PRESET_CARPETEDHALLWAY,
    EFX_REVERB_PRESET_HALLWAY,         EFX_REVERB_PRESET_STONECORRIDOR, EFX_REVERB_PRESET_ALLEY,
    EFX_REVERB_PRESET_FOREST,          EFX_REVERB_PRESET_CITY,       EFX_REVERB_PRESET_MOUNTAINS,
    EFX_REVERB_PRESET_QUARRY,          EFX_REVERB_PRESET_PLAIN,      EFX_REVERB_PRESET_PARKINGLOT,
    EFX_REVERB_PRESET_SEWERPIPE,       EFX_REVERB_PRESET_UNDERWATER, EFX_REVERB_PRESET_DRUGGED,
    EFX_REVERB_PRESET_DIZZY,           EFX_REVERB_PRESET_PSYCHOTIC};

}  // namespace

RoomReverb OpenAlEnvironmentRoom(int environment) {
  const EFXEAXREVERBPROPERTIES& p = kPresets[environment >= 0 && environment < 26 ? environment : 0];
  RoomReverb r;
  r.density = p.flDensity;
  r.diffusion = p.flDiffusion;
  r.gain = p.flGain;
  r.gain_hf = p.flGainHF;
  r.gain_lf = p.flGainLF;
  r.decay_time = p.flDecayTime;
  r.decay_hf_ratio = p.flDecayHFRatio;
  r.decay_lf_ratio = p.flDecayLFRatio;
  r.reflections_gain = p.flReflectionsGain;
  r.reflections_delay = p.flReflectionsDelay;
  r.late_reverb_gain = p.flLateReverbGain;
  r.late_reverb_delay = p.flLateReverbDelay;
  for (int i = 0; i < 3; ++i) {
    r.reflections_pan[i] = p.flReflectionsPan[i];
    r.late_reverb_pan[i] = p.flLateReverbPan[i];
  }
  r.echo_time = p.flEchoTime;
  r.echo_depth = p.flEchoDepth;
  r.modulation_time = p.flModulationTime;
  r.modulation_depth = p.flModulationDepth;
  r.air_absorption_gain_hf = p.flAirAbsorptionGainHF;
  r.hf_reference = p.flHFReference;
  r.lf_reference = p.flLFReference;
  r.room_rolloff_factor = p.flRoomRolloffFactor;
  r.decay_hf_limit = p.iDecayHFLimit != 0;
  return r;
}

}  // namespace zv::platform
