#pragma once

#include "audio/library/channel.h"

namespace zv {

// The speed of sound, in units per update at distance factor 1.
inline constexpr float kSpeedOfSound = 340.0f;

void SetListener(const float* position, const float* velocity, float front_x, float front_y, float front_z,
                 float top_x, float top_y, float top_z);
void GetListener(float* position, float* velocity, float* front_x, float* front_y, float* front_z, float* top_x,
                 float* top_y, float* top_z);
void SetListenerAttributes(const float* position, const float* velocity, const float* front, const float* top);
void Set3DDopplerFactor(float factor);
void Set3DDistanceFactor(float factor);
void Set3DRolloffFactor(float factor);
float Get3DDopplerFactor();
float Get3DInverseDistanceFactor();
float Get3DRolloffFactor();
// Puts the listener back to its start values (library start).
void ResetListener();

// The per-frame update of every software channel's 3D sound, then the
// driver's commit.
void Update3D();
void Update3DSound();
void UpdateChannel3D(ChannelRecord& channel);

// The software channels' 3D attribute operations.
void SetVoice3DAttributes(ChannelRecord& channel, const float* position, const float* velocity);
bool GetVoice3DAttributes(ChannelRecord& channel, float* position, float* velocity);

}  // namespace zv
