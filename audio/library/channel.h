#pragma once

#include <cstdint>

#include "audio/library/sample.h"
#include "audio/library/voice_list.h"

namespace zv {

struct ChannelRecord;
struct DspUnit;

// A channel as callers hold it: bits 0-11 the channel index, bits 12-30 a
// reference id, so that a handle kept from an earlier sound stops working
// once the channel plays another. A plain index (no reference bits) reaches
// the channel whatever it plays.
using ChannelHandle = int32_t;
inline constexpr ChannelHandle kChooseChannel = -1;  // play functions; "no channel" as a result
inline constexpr ChannelHandle kAllChannels = -3;
inline constexpr ChannelHandle kMixerChannel = -1000;

// The thirteen operations of a channel: the software mixer's voice, or the
// output driver's own.
struct ChannelOps {
  bool (*prepare_voice)(ChannelRecord&, SampleRecord*) = nullptr;
  bool (*start)(DspUnit*, ChannelRecord&, SampleRecord*) = nullptr;
  void (*stop)(ChannelRecord&) = nullptr;
  void (*set_frequency)(ChannelRecord&, int32_t hz) = nullptr;
  void (*set_volume)(ChannelRecord&, int32_t volume) = nullptr;
  void (*set_pan)(ChannelRecord&, int32_t pan) = nullptr;
  bool (*set_paused)(ChannelRecord&, bool paused) = nullptr;
  uint32_t (*get_position)(ChannelRecord&) = nullptr;
  float (*get_level)(ChannelRecord&) = nullptr;
  bool (*is_playing)(ChannelRecord&) = nullptr;
  void (*set_3d)(ChannelRecord&, const float* position, const float* velocity) = nullptr;
  bool (*get_3d)(ChannelRecord&, float* position, float* velocity) = nullptr;
  bool (*set_level_scale)(ChannelRecord&, float scale) = nullptr;
};

// The software mixer's state of a voice (read and written by the mixing
// routines on the mixer thread, under the mixer lock).
struct SoftwareVoice {
  int32_t volume = 0;
  int32_t frequency = 44100;  // 100..705600
  int32_t pan = 128;          // 0..255, -1 full volume on both sides
  uint32_t start_position = 0;
  uint8_t mute = 0;
  uint8_t surround = 0;
  uint32_t sounding = 0;
  SampleRecord* sample = nullptr;
  int32_t left_gain = 0;      // 0..255: what the ramps head for
  int32_t right_gain = 0;
  int32_t half_volume = 0;
  uint32_t position = 0;      // samples
  uint32_t fraction = 0;      // 2^-32 sample
  uint32_t step_int = 1;
  uint32_t step_frac = 0;
  uint8_t direction = 1;      // 1 forward, 2 backward
  uint8_t loop_mode = kLoopModeOff;
  int32_t ramp_left = 0;      // 24.8 fixed point of a 0..255 gain
  int32_t ramp_right = 0;
  float ramp_step_left = 0;   // per frame, 24.8 units (whole ones in the saturating family)
  float ramp_step_right = 0;
  int32_t ramp_count = 0;
  int32_t ramp_target_left = 0;
  int32_t ramp_target_right = 0;
  uint8_t in_list = 0;        // kept in a list of its owner's (a song's): Start leaves it there
  float reverb_send = 1.0f;   // how much of the voice goes into the mixer's reverb
};

struct ChannelRecord : VoiceLink {
  int32_t index = 0;          // -1000 for the mixer's own record
  ChannelHandle handle = 0;
  int32_t reference = 1;      // id the next handle carries, 1..0x7ffff
  int32_t volume = 255;
  int32_t frequency = 44100;
  int32_t pan = 128;
  uint8_t mute = 0;
  uint8_t mark = 0;
  int32_t priority = 0;
  uint8_t reserved = 0;
  uint8_t paused = 0;
  float position3d[3] = {};
  float velocity3d[3] = {};
  SampleRecord* sample = nullptr;
  uint8_t loop_mode = kLoopModeOff;
  uint8_t song_owned = 0;
  float level_scale = 1.0f;
  uint8_t absolute_volume = 0;
  ChannelOps ops;
  SoftwareVoice voice;
  void* driver_data = nullptr;  // the output driver's own state
};

// The channels that automatic choice searches, first..last, starting at next.
struct ChannelRange {
  int32_t first = 0;
  int32_t last = -1;
  int32_t next = 0;
};

ChannelHandle MakeChannelHandle(int32_t index);
// The record a handle names, or null (last error 2 or 14).
ChannelRecord* LookupChannel(ChannelHandle handle);
// Picks and prepares a channel for `sample` (Algorithms of the channel
// layer); null with last error 2, 14 or 17.
ChannelRecord* AllocChannel(ChannelHandle channel, ChannelRange& range, SampleRecord* sample,
                            int32_t requested_priority);

ChannelHandle PlaySampleThroughUnit(DspUnit* unit, ChannelHandle channel, SampleHandle sample, bool start_paused);
ChannelHandle PlaySamplePaused(ChannelHandle channel, SampleHandle sample, bool start_paused);
ChannelHandle PlaySample(ChannelHandle channel, SampleHandle sample);
ChannelHandle PlaySoundEx(ChannelHandle channel, SampleHandle sample, int32_t frequency, int32_t volume,
                          int32_t pan, const float* position, const float* velocity);
ChannelHandle PlaySampleAttrib(ChannelHandle channel, SampleHandle sample, int32_t frequency, int32_t volume,
                               int32_t pan);
ChannelHandle PlaySample3D(ChannelHandle channel, SampleHandle sample, const float* position,
                           const float* velocity);

bool StopChannel(ChannelHandle channel);
bool StopAllChannels();
bool SetChannelFrequency(ChannelHandle channel, int32_t hz);
bool SetChannelVolume(ChannelHandle channel, int32_t volume);
bool SetChannelVolumeAbsolute(ChannelHandle channel, int32_t volume);
bool SetChannelPan(ChannelHandle channel, int32_t pan);
bool SetChannelPanDirect(ChannelHandle channel, int32_t pan);
bool SetChannelMute(ChannelHandle channel, bool mute);
bool SetChannelPaused(ChannelHandle channel, bool paused);
bool SetChannelPriority(ChannelHandle channel, int32_t priority);
bool SetChannelReserved(ChannelHandle channel, bool reserved);
bool SetChannelLoopMode(ChannelHandle channel, uint8_t mode);
bool SetChannelMark(ChannelHandle channel, bool mark);
bool SetChannel3DAttributes(ChannelHandle channel, const float* position, const float* velocity);
bool SetChannelLevelScale(ChannelHandle channel, float scale);

int32_t GetChannelFrequency(ChannelHandle channel);
int32_t GetChannelVolume(ChannelHandle channel);
int32_t GetChannelPan(ChannelHandle channel);
bool GetChannelMark(ChannelHandle channel);
bool GetChannelMute(ChannelHandle channel);
int32_t GetChannelPriority(ChannelHandle channel);
bool GetChannelReserved(ChannelHandle channel);
bool GetChannelPaused(ChannelHandle channel);
SampleHandle GetChannelSample(ChannelHandle channel);
uint32_t GetChannelPosition(ChannelHandle channel);
float GetChannelLevel(ChannelHandle channel);
bool IsChannelPlaying(ChannelHandle channel);
bool GetChannel3DAttributes(ChannelHandle channel, float* position, float* velocity);
bool GetChannelLevelScale(ChannelHandle channel, float* scale);

// The channel table's size (software + hardware channels) and the record
// of index i (0 <= i < count), for the library's own walks and the songs.
int32_t ChannelCount();
ChannelRecord* ChannelAt(int32_t index);
ChannelRange& SoftwareChannelRange();
ChannelRange& HardwareChannelRange();

}  // namespace zv
