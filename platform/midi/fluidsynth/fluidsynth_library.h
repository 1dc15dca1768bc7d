#pragma once

// FluidSynth, loaded when a program first plays a MIDI song.
#include <fluidsynth.h>

#include "platform/dynlib/system_library.h"

namespace zv::platform {

#define ZV_FLUIDSYNTH_FUNCTIONS(X)                                                                       \
  X(delete_fluid_settings) X(delete_fluid_synth) X(fluid_set_log_function) X(fluid_settings_setint)      \
  X(fluid_settings_setnum) X(fluid_synth_all_sounds_off) X(fluid_synth_cc) X(fluid_synth_channel_pressure) \
  X(fluid_synth_key_pressure) X(fluid_synth_noteoff) X(fluid_synth_noteon) X(fluid_synth_pitch_bend)     \
  X(fluid_synth_program_change) X(fluid_synth_reverb_on) X(fluid_synth_set_gain) X(fluid_synth_sfload)   \
  X(fluid_synth_sysex) X(fluid_synth_system_reset) X(fluid_synth_write_float) X(new_fluid_settings)      \
  X(new_fluid_synth)
ZV_SYSTEM_LIBRARY(FluidSynthLibrary, FluidSynth, "libfluidsynth.so.3", ZV_FLUIDSYNTH_FUNCTIONS)

}  // namespace zv::platform
