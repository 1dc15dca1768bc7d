#pragma once

// OpenAL Soft, loaded when a run first looks for the machine's sound
// devices or opens its loopback device. Its effect and loopback
// extensions are functions the library exports.
#include <AL/al.h>
#include <AL/alc.h>
#define AL_ALEXT_PROTOTYPES
#include <AL/alext.h>
#include <AL/efx.h>

#include "platform/dynlib/system_library.h"

namespace zv::platform {

#define ZV_OPENAL_FUNCTIONS(X) \
  X(alAuxiliaryEffectSloti) X(alBufferData) X(alDeleteAuxiliaryEffectSlots) X(alDeleteBuffers) \
  X(alDeleteEffects) X(alDeleteFilters) X(alDeleteSources) X(alDistanceModel) X(alDopplerFactor) X(alEffectf) \
  X(alEffectfv) X(alEffecti) X(alFilterf) X(alFilteri) X(alGenAuxiliaryEffectSlots) X(alGenBuffers) \
  X(alGenEffects) X(alGenFilters) X(alGenSources) X(alGetError) X(alGetListener3f) X(alGetListenerfv) \
  X(alGetSource3f) X(alGetSourcei) X(alIsExtensionPresent) X(alListener3f) X(alListenerf) X(alListenerfv) \
  X(alSource3f) X(alSource3i) X(alSourcePause) X(alSourcePlay) X(alSourceQueueBuffers) X(alSourceStop) \
  X(alSourceUnqueueBuffers) X(alSourcef) X(alSourcei) X(alSpeedOfSound) X(alcCloseDevice) X(alcCreateContext) \
  X(alcDestroyContext) X(alcGetCurrentContext) X(alcGetIntegerv) X(alcGetString) X(alcIsExtensionPresent) \
  X(alcIsRenderFormatSupportedSOFT) X(alcLoopbackOpenDeviceSOFT) X(alcMakeContextCurrent) X(alcOpenDevice) \
  X(alcRenderSamplesSOFT)
ZV_SYSTEM_LIBRARY(OpenAlLibrary, OpenAl, "libopenal.so.1", ZV_OPENAL_FUNCTIONS)

}  // namespace zv::platform
