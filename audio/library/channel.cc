#include "audio/library/channel.h"

#include <algorithm>

#include "audio/library/audio_error.h"
#include "audio/library/dsp_unit.h"
#include "audio/library/library_state.h"
#include "audio/library/mixer.h"
#include "audio/library/sound3d.h"

namespace zv {
namespace {

constexpr int32_t kReferenceLimit = 0x7ffff;

bool Ready() {
  if (Lib().initialised && Lib().channels) return true;
  SetAudioError(audio_error::kNotInitialised);
  return false;
}

// Runs `apply` on the channel a handle names, or on every channel for -3
// (the last one's result). False when the library is not initialised or
// the handle does not resolve.
template <typename Apply>
bool ForChannels(ChannelHandle handle, Apply apply) {
  ClearAudioErrorOnLibraryThread();
  if (!Ready()) return false;
  if (handle == kAllChannels) {
    bool result = false;
    for (int32_t i = 0; i < Lib().total_channels; ++i) result = apply(Lib().channels[i]);
    return result;
  }
  ChannelRecord* c = LookupChannel(handle);
  return c != nullptr && apply(*c);
}

// The record a query reads, or null (last error 2 or 14).
ChannelRecord* QueryChannel(ChannelHandle handle) {
  ClearAudioErrorOnLibraryThread();
  if (!Ready()) return nullptr;
  return LookupChannel(handle);
}

ChannelHandle PlainHandle(const ChannelRecord& c) { return c.index == kMixerChannel ? kMixerChannel : c.index; }

bool IsSoftware(const ChannelRecord& c) { return c.index >= 0 && c.index < Lib().software_channels; }

ChannelRecord* ChooseChannel(ChannelRange& range, int32_t requested_priority) {
  AudioLibraryState& lib = Lib();
  requested_priority = std::clamp(requested_priority, 0, 255);
  const int32_t first = std::max(range.first, 0);
  const int32_t last = std::min(range.last, lib.total_channels - 1);
  if (last < first) return nullptr;
  ChannelRecord* best = nullptr;
  int32_t best_priority = 256;
  int32_t i = std::clamp(range.next, first, last);
  for (int32_t visited = 0; visited <= last - first; ++visited) {
    ChannelRecord& c = lib.channels[i];
    if (!c.reserved) {
      if (!c.ops.is_playing(c)) {
        best = &c;
        best_priority = 0;
        break;
      }
      if (c.priority < best_priority) {
        best = &c;
        best_priority = c.priority;
      }
    }
    i = i == last ? first : i + 1;
  }
  if (best && best_priority <= requested_priority) range.next = best->index == last ? first : best->index + 1;
  return best;
}

}  // namespace

ChannelHandle MakeChannelHandle(int32_t index) {
  AudioLibraryState& lib = Lib();
  if (!lib.channels || index < 0 || index >= lib.total_channels) return kChooseChannel;
  ChannelRecord& c = lib.channels[index];
  c.handle = index | (c.reference << 12);
  if (++c.reference > kReferenceLimit) c.reference = 1;
  return c.handle;
}

ChannelRecord* LookupChannel(ChannelHandle handle) {
  AudioLibraryState& lib = Lib();
  if (!lib.channels) {
    SetAudioError(audio_error::kNotInitialised);
    return nullptr;
  }
  if (handle == kMixerChannel) return &lib.mixer_channel;
  const int32_t index = handle & 0xfff;
  if (handle < 0 || index >= lib.total_channels) {
    SetAudioError(audio_error::kBadParameter);
    return nullptr;
  }
  ChannelRecord& c = lib.channels[index];
  if ((handle & 0x7ffff000) == 0 || c.handle == handle) return &c;
  SetAudioError(audio_error::kBadParameter);
  return nullptr;
}

ChannelRecord* AllocChannel(ChannelHandle channel, ChannelRange& range, SampleRecord* sample,
                            int32_t requested_priority) {
  AudioLibraryState& lib = Lib();
  const bool choose = channel == kChooseChannel;
  const bool mixer = channel == kMixerChannel;
  if (!choose && !mixer && (channel < -1 || (channel & 0xfff) >= lib.total_channels)) {
    SetAudioError(audio_error::kBadParameter);
    return nullptr;
  }
  if (!lib.initialised || !lib.channels) {
    SetAudioError(audio_error::kNotInitialised);
    return nullptr;
  }
  ChannelRecord* c = nullptr;
  if (mixer) {
    c = &lib.mixer_channel;
  } else if (!choose) {
    const int32_t index = channel & 0xfff;
    if (sample) {
      const bool software = index < lib.software_channels;
      if ((software && sample->driver_buffer != 0) || (!software && sample->driver_buffer == 0)) {
        SetAudioError(audio_error::kNoChannel);
        return nullptr;
      }
    }
    c = &lib.channels[index];
  } else {
    c = ChooseChannel(range, requested_priority);
    if (c == nullptr) {
      SetAudioError(audio_error::kNoChannel);
      return nullptr;
    }
  }

  c->sample = sample;
  if (!c->ops.prepare_voice(*c, sample)) {
    SetAudioError(audio_error::kNoChannel);
    return nullptr;
  }
  if (sample) {
    const ChannelHandle h = PlainHandle(*c);
    c->priority = sample->default_priority;
    c->loop_mode = sample->loop_mode;
    c->level_scale = 1.0f;
    SetChannelFrequency(h, sample->default_frequency);
    SetChannelVolume(h, sample->default_volume);
    SetChannelPan(h, sample->default_pan);
    float position[3];
    GetListener(position, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    const float still[3] = {0, 0, 0};
    SetChannel3DAttributes(h, position, still);
    if (sample->data) UpdateChannel3D(*c);
  }
  return c;
}

ChannelHandle PlaySampleThroughUnit(DspUnit* unit, ChannelHandle channel, SampleHandle sample, bool start_paused) {
  ClearAudioErrorOnLibraryThread();
  AudioLibraryState& lib = Lib();
  if (!lib.initialised || !lib.channels) {
    SetAudioError(audio_error::kNotInitialised);
    return kChooseChannel;
  }
  if (sample == nullptr) {
    SetAudioError(audio_error::kBadParameter);
    return kChooseChannel;
  }
  if (unit) {
    MixerGuard guard(MixerMutex());
    unit->callback = ChannelMixCallback;
    unit->user = unit;
  } else {
    unit = GetChannelMixUnit();
  }
  auto play_once = [&](ChannelHandle target) -> ChannelHandle {
    ChannelRange& range = sample->driver_buffer ? lib.hardware_range : lib.software_range;
    ChannelRecord* c = AllocChannel(target, range, sample, sample->default_priority);
    if (c == nullptr) return kChooseChannel;
    const ChannelHandle h = PlainHandle(*c);
    SetChannelPaused(h, true);
    if (!c->ops.start(unit, *c, sample)) {
      SetAudioError(audio_error::kChannelStart);
      return kChooseChannel;
    }
    SetChannelPaused(h, start_paused);
    return MakeChannelHandle(c->index);
  };
  if (channel != kAllChannels) return play_once(channel);
  ChannelHandle result = kChooseChannel;
  for (int32_t i = 0; i < lib.total_channels; ++i) result = play_once(i);
  return result;
}

ChannelHandle PlaySamplePaused(ChannelHandle channel, SampleHandle sample, bool start_paused) {
  return PlaySampleThroughUnit(nullptr, channel, sample, start_paused);
}

ChannelHandle PlaySample(ChannelHandle channel, SampleHandle sample) {
  return PlaySampleThroughUnit(nullptr, channel, sample, false);
}

ChannelHandle PlaySoundEx(ChannelHandle channel, SampleHandle sample, int32_t frequency, int32_t volume, int32_t pan,
                          const float* position, const float* velocity) {
  const ChannelHandle h = PlaySamplePaused(channel, sample, true);
  if (h == kChooseChannel) return h;
  if (frequency >= 0) SetChannelFrequency(h, frequency);
  if (volume >= 0) SetChannelVolume(h, volume);
  if (pan >= 0) SetChannelPan(h, pan);
  if (position || velocity) {
    SetChannel3DAttributes(h, position, velocity);
    ChannelRecord* c = LookupChannel(h);
    if (c && IsSoftware(*c) && sample->data) UpdateChannel3D(*c);
  }
  SetChannelPaused(h, false);
  return h;
}

ChannelHandle PlaySampleAttrib(ChannelHandle channel, SampleHandle sample, int32_t frequency, int32_t volume,
                               int32_t pan) {
  const ChannelHandle h = PlaySamplePaused(channel, sample, true);
  if (h == kChooseChannel) return h;
  SetChannelFrequency(h, frequency);
  SetChannelVolume(h, volume);
  SetChannelPan(h, pan);
  SetChannelPaused(h, false);
  return h;
}

ChannelHandle PlaySample3D(ChannelHandle channel, SampleHandle sample, const float* position, const float* velocity) {
  const ChannelHandle h = PlaySamplePaused(channel, sample, true);
  if (h == kChooseChannel) return h;
  if (position || velocity) {
    SetChannel3DAttributes(h, position, velocity);
    ChannelRecord* c = LookupChannel(h);
    if (c && IsSoftware(*c) && sample->data) UpdateChannel3D(*c);
  }
  SetChannelPaused(h, false);
  return h;
}

bool StopChannel(ChannelHandle channel) {
  return ForChannels(channel, [](ChannelRecord& c) {
    c.ops.stop(c);
    c.sample = nullptr;
    c.priority = 0;
    return true;
  });
}

bool StopAllChannels() { return StopChannel(kAllChannels); }

bool SetChannelFrequency(ChannelHandle channel, int32_t hz) {
  return ForChannels(channel, [hz](ChannelRecord& c) {
    c.frequency = hz;
    c.ops.set_frequency(c, hz);
    return true;
  });
}

bool SetChannelVolume(ChannelHandle channel, int32_t volume) {
  return ForChannels(channel, [volume](ChannelRecord& c) {
    c.volume = std::clamp(volume, 0, 255);
    c.absolute_volume = 0;
    if (!c.mute) c.ops.set_volume(c, c.volume * Lib().master_volume / 255);
    return true;
  });
}

bool SetChannelVolumeAbsolute(ChannelHandle channel, int32_t volume) {
  return ForChannels(channel, [volume](ChannelRecord& c) {
    c.volume = std::clamp(volume, 0, 255);
    c.absolute_volume = 1;
    c.ops.set_volume(c, c.volume);
    return true;
  });
}

bool SetChannelPan(ChannelHandle channel, int32_t pan) {
  return ForChannels(channel, [pan](ChannelRecord& c) {
    const int32_t p = pan == -1 ? -1 : std::clamp(pan, 0, 255);
    const int32_t effective = static_cast<int32_t>(static_cast<float>(p - 128) * Lib().pan_separation.load()) + 128;
    c.pan = effective;
    c.ops.set_pan(c, effective);
    return true;
  });
}

bool SetChannelPanDirect(ChannelHandle channel, int32_t pan) {
  return ForChannels(channel, [pan](ChannelRecord& c) {
    c.pan = pan == -1 ? -1 : std::clamp(pan, 0, 255);
    c.ops.set_pan(c, c.pan);
    return true;
  });
}

bool SetChannelMute(ChannelHandle channel, bool mute) {
  return ForChannels(channel, [mute](ChannelRecord& c) {
    c.mute = mute ? 1 : 0;
    c.ops.set_volume(c, mute ? 0 : c.volume);
    return true;
  });
}

bool SetChannelPaused(ChannelHandle channel, bool paused) {
  return ForChannels(channel, [paused](ChannelRecord& c) {
    c.ops.set_paused(c, paused);
    MixerGuard guard(MixerMutex());
    c.paused = paused ? 1 : 0;
    return true;
  });
}

bool SetChannelPriority(ChannelHandle channel, int32_t priority) {
  return ForChannels(channel, [priority](ChannelRecord& c) {
    c.priority = priority;
    return true;
  });
}

bool SetChannelReserved(ChannelHandle channel, bool reserved) {
  return ForChannels(channel, [reserved](ChannelRecord& c) {
    c.reserved = reserved ? 1 : 0;
    return true;
  });
}

bool SetChannelLoopMode(ChannelHandle channel, uint8_t mode) {
  return ForChannels(channel, [mode](ChannelRecord& c) {
    MixerGuard guard(MixerMutex());
    c.loop_mode = mode;
    return true;
  });
}

bool SetChannelMark(ChannelHandle channel, bool mark) {
  return ForChannels(channel, [mark](ChannelRecord& c) {
    c.mark = mark ? 1 : 0;
    return true;
  });
}

bool SetChannel3DAttributes(ChannelHandle channel, const float* position, const float* velocity) {
  return ForChannels(channel, [position, velocity](ChannelRecord& c) {
    c.ops.set_3d(c, position, velocity);
    return true;
  });
}

bool SetChannelLevelScale(ChannelHandle channel, float scale) {
  return ForChannels(channel, [scale](ChannelRecord& c) {
    const float s = scale > 1.0f ? 1.0f : scale;
    if (!c.ops.set_level_scale(c, s)) return false;
    c.level_scale = s;
    return true;
  });
}

namespace {

// A setting of the channel, or nothing (0, false, null) for a handle that
// names no channel.
template <class Value, class Field>
Value ChannelField(ChannelHandle channel, Field ChannelRecord::*field) {
  ChannelRecord* c = QueryChannel(channel);
  return c ? static_cast<Value>(c->*field) : Value{};
}

}  // namespace

int32_t GetChannelFrequency(ChannelHandle channel) { return ChannelField<int32_t>(channel, &ChannelRecord::frequency); }

int32_t GetChannelVolume(ChannelHandle channel) { return ChannelField<int32_t>(channel, &ChannelRecord::volume); }

int32_t GetChannelPan(ChannelHandle channel) { return ChannelField<int32_t>(channel, &ChannelRecord::pan); }

bool GetChannelMark(ChannelHandle channel) { return ChannelField<bool>(channel, &ChannelRecord::mark); }

bool GetChannelMute(ChannelHandle channel) { return ChannelField<bool>(channel, &ChannelRecord::mute); }

int32_t GetChannelPriority(ChannelHandle channel) { return ChannelField<int32_t>(channel, &ChannelRecord::priority); }

bool GetChannelReserved(ChannelHandle channel) { return ChannelField<bool>(channel, &ChannelRecord::reserved); }

bool GetChannelPaused(ChannelHandle channel) { return ChannelField<bool>(channel, &ChannelRecord::paused); }

SampleHandle GetChannelSample(ChannelHandle channel) {
  return ChannelField<SampleHandle>(channel, &ChannelRecord::sample);
}

uint32_t GetChannelPosition(ChannelHandle channel) {
  ChannelRecord* c = QueryChannel(channel);
  return c ? c->ops.get_position(*c) : 0;
}

float GetChannelLevel(ChannelHandle channel) {
  ChannelRecord* c = QueryChannel(channel);
  return c ? c->ops.get_level(*c) : 0.0f;
}

bool IsChannelPlaying(ChannelHandle channel) {
  ChannelRecord* c = QueryChannel(channel);
  return c && c->ops.is_playing(*c);
}

bool GetChannel3DAttributes(ChannelHandle channel, float* position, float* velocity) {
  ChannelRecord* c = QueryChannel(channel);
  return c && c->ops.get_3d(*c, position, velocity);
}

bool GetChannelLevelScale(ChannelHandle channel, float* scale) {
  ChannelRecord* c = QueryChannel(channel);
  if (c == nullptr || scale == nullptr) {
    SetAudioError(audio_error::kBadParameter);
    return false;
  }
  *scale = c->level_scale;
  return true;
}

int32_t ChannelCount() { return Lib().total_channels; }

ChannelRecord* ChannelAt(int32_t index) {
  AudioLibraryState& lib = Lib();
  if (!lib.channels || index < 0 || index >= lib.total_channels) return nullptr;
  return &lib.channels[index];
}

ChannelRange& SoftwareChannelRange() { return Lib().software_range; }
ChannelRange& HardwareChannelRange() { return Lib().hardware_range; }

}  // namespace zv
