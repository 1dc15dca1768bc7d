#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/library/formats/song_engine.h"
#include "audio/library/formats/song_host.h"

namespace zv {

// A song host without a device: channels of its own, a plain mixer, and a
// log of what the players asked of each channel. Songs render into memory
// block by block, as the library's mixer would play them, so tests and the
// fuzz targets can hear (and time) what a module does.
class OfflineSongHost : public SongHost {
 public:
  // What a player asked of a channel, and at which output frame.
  struct Event {
    enum Kind { kStart, kStop, kVolume, kPan, kFrequency, kSurround };
    uint64_t frame = 0;
    int32_t channel = 0;
    Kind kind = kStart;
    int32_t value = 0;
    const SongSample* sample = nullptr;
  };

  explicit OfflineSongHost(int32_t mix_rate = 44100, int32_t channels = 32, int32_t buffer_ms = 100);

  // Mixes `blocks` blocks of 25 ms through the engine's songs; interleaved
  // 16-bit stereo.
  std::vector<int16_t> Render(SongEngine& engine, int32_t blocks);
  int32_t BlockFrames() const { return block_frames_; }
  uint64_t FramesRendered() const { return frames_rendered_; }

  std::vector<Event> events;
  bool record_events = true;

  // ---- SongHost ----------------------------------------------------------
  int32_t MixRate() const override { return mix_rate_; }
  int32_t BufferLengthMs() const override { return buffer_ms_; }
  int32_t BlockCount() const override { return buffer_ms_ / 25; }
  int32_t CurrentBlock() const override { return current_block_; }
  int32_t ChannelCount() const override { return static_cast<int32_t>(channels_.size()); }
  int32_t ChannelsPlaying() override;
  int32_t AttachSongChannel(Song& song) override;
  void DetachSongChannel(Song& song, int32_t index) override;
  bool IsChannelPlaying(int32_t index) override;
  int32_t PlaySample(int32_t index, SongSample& sample) override;
  void SetChannelVolumeAbsolute(int32_t handle, int32_t volume) override;
  void SetChannelPanDirect(int32_t handle, int32_t pan) override;
  void SetChannelFrequency(int32_t handle, int32_t hz) override;
  void SetChannelSurround(int32_t handle, bool on) override;
  void StopChannel(int32_t handle) override;
  void SetChannelStartOffset(int32_t index, int32_t frames) override;
  void MixSongChannels(Song& song, void* buffer, int32_t frame_offset, int32_t frames) override;
  void AddStereoFrames(void* buffer, int32_t frame_offset, const float* left_right, int32_t frames) override;
  void ForgetSample(SongSample& sample) override;
  void SetError(int32_t code) override { error_ = code; }
  int32_t Error() const override { return error_; }
  void ClearError() override { error_ = 0; }

 private:
  struct Channel {
    const SongSample* sample = nullptr;
    int32_t handle = 0;
    uint32_t reference = 1;
    bool reserved = false;
    double position = 0.0;
    int32_t start_offset = 0;
    int32_t direction = 1;
    int32_t volume = 255;
    int32_t pan = 128;
    int32_t frequency = 44100;
    bool surround = false;
  };
  Channel* Lookup(int32_t handle);
  void Log(Event::Kind kind, int32_t channel, int32_t value, const SongSample* sample = nullptr);
  void MixChannel(Channel& channel, float* out, int32_t frames);

  int32_t mix_rate_;
  int32_t buffer_ms_;
  int32_t block_frames_;
  int32_t current_block_ = 0;
  int32_t error_ = 0;
  uint64_t frames_rendered_ = 0;
  int32_t frame_in_block_ = 0;
  std::vector<Channel> channels_;
};

}  // namespace zv
