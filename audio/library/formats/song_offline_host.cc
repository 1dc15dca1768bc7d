#include "audio/library/formats/song_offline_host.h"

#include <algorithm>
#include <cmath>

namespace zv {

OfflineSongHost::OfflineSongHost(int32_t mix_rate, int32_t channels, int32_t buffer_ms)
    : mix_rate_(std::clamp(mix_rate, 4000, 192000)),
      buffer_ms_(std::max(50, buffer_ms / 25 * 25)),
      channels_(static_cast<size_t>(std::clamp(channels, 1, 4095))) {
  // The library's block: 25 ms, rounded up to a multiple of 4 frames.
  block_frames_ = (mix_rate_ * 25 / 1000 + 3) / 4 * 4;
}

std::vector<int16_t> OfflineSongHost::Render(SongEngine& engine, int32_t blocks) {
  std::vector<int16_t> out;
  out.reserve(static_cast<size_t>(std::max(0, blocks)) * static_cast<size_t>(block_frames_) * 2);
  std::vector<float> mix(static_cast<size_t>(block_frames_) * 2);
  for (int32_t b = 0; b < blocks; ++b) {
    std::fill(mix.begin(), mix.end(), 0.0f);
    frame_in_block_ = 0;
    engine.MixSongs(mix.data(), block_frames_);
    for (float v : mix) {
      const float scaled = std::clamp(v * 32767.0f, -32768.0f, 32767.0f);
      out.push_back(static_cast<int16_t>(std::lrint(scaled)));
    }
    frames_rendered_ += static_cast<uint64_t>(block_frames_);
    current_block_ = (current_block_ + 1) % BlockCount();
  }
  return out;
}

void OfflineSongHost::Log(Event::Kind kind, int32_t channel, int32_t value, const SongSample* sample) {
  if (!record_events) return;
  events.push_back(Event{frames_rendered_ + static_cast<uint64_t>(frame_in_block_), channel, kind, value, sample});
}

OfflineSongHost::Channel* OfflineSongHost::Lookup(int32_t handle) {
  if (handle < 0) return nullptr;
  const auto index = static_cast<size_t>(handle & 0xFFF);
  if (index >= channels_.size()) return nullptr;
  Channel& c = channels_[index];
  if ((handle & 0x7FFFF000) != 0 && c.handle != handle) return nullptr;
  return &c;
}

int32_t OfflineSongHost::ChannelsPlaying() {
  int32_t n = 0;
  for (const Channel& c : channels_) n += c.sample ? 1 : 0;
  return n;
}

int32_t OfflineSongHost::AttachSongChannel(Song&) {
  for (size_t i = 0; i < channels_.size(); ++i) {
    Channel& c = channels_[i];
    if (!c.reserved && !c.sample) {
      c.reserved = true;
      return static_cast<int32_t>(i);
    }
  }
  return -1;
}

void OfflineSongHost::DetachSongChannel(Song&, int32_t index) {
  if (index >= 0 && static_cast<size_t>(index) < channels_.size()) channels_[static_cast<size_t>(index)].reserved = false;
}

bool OfflineSongHost::IsChannelPlaying(int32_t index) {
  return index >= 0 && static_cast<size_t>(index) < channels_.size() && channels_[static_cast<size_t>(index)].sample;
}

int32_t OfflineSongHost::PlaySample(int32_t index, SongSample& sample) {
  if (index < 0 || static_cast<size_t>(index) >= channels_.size()) return -1;
  Channel& c = channels_[static_cast<size_t>(index)];
  c.sample = sample.length > 0 && !sample.data.empty() ? &sample : nullptr;
  c.position = c.start_offset >= 0 && c.start_offset < sample.length ? c.start_offset : 0;
  c.start_offset = 0;
  c.direction = 1;
  c.handle = index | static_cast<int32_t>(c.reference << 12);
  c.reference = c.reference >= 0x7FFFF ? 1 : c.reference + 1;
  Log(Event::kStart, index, static_cast<int32_t>(c.position), &sample);
  return c.handle;
}

void OfflineSongHost::SetChannelVolumeAbsolute(int32_t handle, int32_t volume) {
  if (Channel* c = Lookup(handle)) {
    c->volume = std::clamp(volume, 0, 255);
    Log(Event::kVolume, handle & 0xFFF, c->volume);
  }
}

void OfflineSongHost::SetChannelPanDirect(int32_t handle, int32_t pan) {
  if (Channel* c = Lookup(handle)) {
    c->pan = pan == -1 ? -1 : std::clamp(pan, 0, 255);
    Log(Event::kPan, handle & 0xFFF, c->pan);
  }
}

void OfflineSongHost::SetChannelFrequency(int32_t handle, int32_t hz) {
  if (Channel* c = Lookup(handle)) {
    c->frequency = std::clamp(hz, 100, 705600);
    Log(Event::kFrequency, handle & 0xFFF, c->frequency);
  }
}

void OfflineSongHost::SetChannelSurround(int32_t handle, bool on) {
  if (Channel* c = Lookup(handle)) {
    c->surround = on;
    Log(Event::kSurround, handle & 0xFFF, on ? 1 : 0);
  }
}

void OfflineSongHost::StopChannel(int32_t handle) {
  if (Channel* c = Lookup(handle)) {
    c->sample = nullptr;
    c->position = 0.0;
    Log(Event::kStop, handle & 0xFFF, 0);
  }
}

void OfflineSongHost::SetChannelStartOffset(int32_t index, int32_t frames) {
  if (index >= 0 && static_cast<size_t>(index) < channels_.size())
    channels_[static_cast<size_t>(index)].start_offset = frames;
}

void OfflineSongHost::ForgetSample(SongSample& sample) {
  for (Channel& c : channels_) {
    if (c.sample == &sample) c.sample = nullptr;
  }
}

void OfflineSongHost::MixChannel(Channel& c, float* out, int32_t frames) {
  const SongSample& s = *c.sample;
  const double step = static_cast<double>(c.frequency) / mix_rate_;
  const float gain = static_cast<float>(c.volume) / 255.0f / 32768.0f;
  const float left = c.pan < 0 ? gain : gain * static_cast<float>(255 - c.pan) / 255.0f;
  const float right = c.pan < 0 ? gain : gain * static_cast<float>(c.pan) / 255.0f;
  const bool looping = s.loop_mode != sample_loop::kOff && s.loop_length > 0;
  const double loop_end = looping ? static_cast<double>(s.loop_start) + s.loop_length : s.length;
  const auto length = static_cast<int64_t>(std::min<size_t>(s.data.size(), static_cast<size_t>(s.length)));
  for (int32_t i = 0; i < frames; ++i) {
    const auto at = static_cast<int64_t>(c.position);
    if (at < 0 || at >= length) {
      c.sample = nullptr;
      return;
    }
    const float v = s.data[static_cast<size_t>(at)];
    out[2 * i] += v * (c.surround ? -left : left);
    out[2 * i + 1] += v * right;
    c.position += step * c.direction;
    if (c.position >= loop_end) {
      if (!looping) {
        c.sample = nullptr;
        return;
      }
      if (s.loop_mode == sample_loop::kBidirectional) {
        c.direction = -1;
        c.position = loop_end - 1 - (c.position - loop_end);
      } else {
        c.position = s.loop_start + std::fmod(c.position - loop_end, static_cast<double>(s.loop_length));
      }
    } else if (c.direction < 0 && c.position < s.loop_start) {
      c.direction = 1;
      c.position = s.loop_start + (s.loop_start - c.position);
    }
  }
}

void OfflineSongHost::MixSongChannels(Song& song, void* buffer, int32_t frame_offset, int32_t frames) {
  float* out = static_cast<float*>(buffer) + 2 * frame_offset;
  frame_in_block_ = frame_offset + frames;
  for (int32_t index : song.channel_list) {
    if (index < 0 || static_cast<size_t>(index) >= channels_.size()) continue;
    Channel& c = channels_[static_cast<size_t>(index)];
    if (c.sample) MixChannel(c, out, frames);
  }
}

void OfflineSongHost::AddStereoFrames(void* buffer, int32_t frame_offset, const float* left_right,
                                      int32_t frames) {
  float* out = static_cast<float*>(buffer) + 2 * frame_offset;
  for (int32_t i = 0; i < 2 * frames; ++i) out[i] += left_right[i];
}

}  // namespace zv
