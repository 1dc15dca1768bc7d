#pragma once

#include <cstdint>

#include "audio/library/voice_list.h"

namespace zv {

// One step of the mixer's DSP chain. Each mixer block runs the active units
// from the lowest priority to the highest: a unit gets the block's place in
// the work buffer, the buffer the unit before it returned, the block's
// length in frames and its user value, and returns the buffer for the next
// unit. Work-buffer frames are those of the chosen mixer family
// (mix_routines.h): two floats on the 16-bit scale, or two 16-bit values.
using DspCallback = void* (*)(void* block, void* buffer, int32_t frames, void* user);

struct DspUnit {
  DspUnit* next = this;
  DspUnit* prev = this;
  DspCallback callback = nullptr;
  int32_t priority = 0;        // never below 0
  bool active = false;         // only active units with a callback run
  void* user = nullptr;
  VoiceLink channels;          // voices a channel-mix unit mixes

  DspUnit() = default;
  DspUnit(const DspUnit&) = delete;
  DspUnit& operator=(const DspUnit&) = delete;
};

// Priorities of the built-in units.
inline constexpr int32_t kClearUnitPriority = 0;
inline constexpr int32_t kChannelMixUnitPriority = 100;
inline constexpr int32_t kSongUnitPriority = 200;
inline constexpr int32_t kSoundFeedUnitPriority = 250;
inline constexpr int32_t kStreamClockUnitPriority = 299;
inline constexpr int32_t kReverbUnitPriority = 900;
inline constexpr int32_t kOutputUnitPriority = 1000;

// A new unit, switched off, inserted by priority (after the units of equal
// priority); null when memory runs out. The caller owns it until FreeDspUnit
// (the mixer's shutdown frees every unit still in the chain).
DspUnit* CreateDspUnit(DspCallback callback, int32_t priority, void* user);
void FreeDspUnit(DspUnit* unit);
void SetDspUnitPriority(DspUnit* unit, int32_t priority);
int32_t GetDspUnitPriority(const DspUnit* unit);
void SetDspUnitActive(DspUnit* unit, bool active);
bool GetDspUnitActive(const DspUnit* unit);

DspUnit* GetClearUnit();
DspUnit* GetChannelMixUnit();
DspUnit* GetSongUnit();
DspUnit* GetOutputUnit();

// Runs the chain over one block; the mixer calls it with its lock held.
void RunDspChain(void* block, int32_t frames);
// Frees every unit of the chain (mixer shutdown).
void FreeAllDspUnits();

// The built-in channel-mix callback: mixes the voices of the unit given as
// user value. A program's unit takes it when a channel is started on it.
void* ChannelMixCallback(void* block, void* buffer, int32_t frames, void* user);

}  // namespace zv
