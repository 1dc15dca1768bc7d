#pragma once

#include <map>
#include <memory>

#include "audio/library/formats/song_engine.h"
#include "audio/library/formats/song_host.h"
#include "audio/library/voice_list.h"

namespace zv {

// The song engine on the sound library: notes play on the library's
// software channels, each song keeps its channels in a voice list of its
// own that the songs unit mixes between ticks, and samples become
// library samples.
class LibrarySongHost final : public SongHost {
 public:
  int32_t MixRate() const override;
  int32_t BufferLengthMs() const override;
  int32_t BlockCount() const override;
  int32_t CurrentBlock() const override;
  void LockMixer() override;
  void UnlockMixer() override;
  int32_t ChannelCount() const override;
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
  bool PrepareSample(SongSample& sample) override;
  void ForgetSong(Song& song) override;
  bool ReadFile(const std::string& name, std::vector<uint8_t>& bytes) override;
  void SetError(int32_t code) override;
  int32_t Error() const override;
  void ClearError() override;

 private:
  VoiceLink& ListOf(Song& song);
  std::map<const Song*, std::unique_ptr<VoiceLink>> lists_;
};

// The library's song engine: made on first use, with the hooks through
// which the library's mixer plays the songs (and its shutdown stops them)
// installed.
SongEngine& LibrarySongs();
// (Re)installs those hooks.
void InstallLibrarySongHooks();

}  // namespace zv
