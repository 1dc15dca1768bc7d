#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/library/formats/song.h"

namespace zv {

// What the song engine asks of the sound library: its output rate and
// buffer, channels for the notes of the songs, the mixing of those channels
// and the library's last-error code. The sound library implements it over
// its channels and mixer; tests and the fuzz targets use the offline host
// (song_offline_host.h).
class SongHost {
 public:
  virtual ~SongHost() = default;

  // ---- Output --------------------------------------------------------------
  virtual int32_t MixRate() const = 0;
  // Length of the output buffer in milliseconds, and in mix blocks of 25 ms.
  virtual int32_t BufferLengthMs() const = 0;
  virtual int32_t BlockCount() const = 0;
  // The block the mixer fills next.
  virtual int32_t CurrentBlock() const = 0;
  // Holds the mixer off while the songs' lists and positions change; the
  // mixer calls MixSongs with it held.
  virtual void LockMixer() {}
  virtual void UnlockMixer() {}

  // ---- Channels ---------------------------------------------------------
  virtual int32_t ChannelCount() const = 0;
  virtual int32_t ChannelsPlaying() = 0;
  // A free library channel for a note of `song` (priority 255), reserved so
  // that sound effects cannot take it and mixed with the song's own
  // channels; -1 when none is free.
  virtual int32_t AttachSongChannel(Song& song) = 0;
  // Gives the channel back to the library's free channels.
  virtual void DetachSongChannel(Song& song, int32_t index) = 0;
  virtual bool IsChannelPlaying(int32_t index) = 0;
  // Starts the sample on the channel; the new channel handle.
  virtual int32_t PlaySample(int32_t index, SongSample& sample) = 0;
  virtual void SetChannelVolumeAbsolute(int32_t handle, int32_t volume) = 0;
  virtual void SetChannelPanDirect(int32_t handle, int32_t pan) = 0;
  virtual void SetChannelFrequency(int32_t handle, int32_t hz) = 0;
  virtual void SetChannelSurround(int32_t handle, bool on) = 0;
  virtual void StopChannel(int32_t handle) = 0;
  // Where the next start of the channel begins, in frames.
  virtual void SetChannelStartOffset(int32_t index, int32_t frames) = 0;

  // ---- Mixing (on the mixer thread) ---------------------------------------
  // Mixes `frames` frames of the song's channels into the DSP buffer,
  // starting `frame_offset` frames into it.
  virtual void MixSongChannels(Song& song, void* buffer, int32_t frame_offset, int32_t frames) = 0;
  // Adds stereo frames made elsewhere (a synthesiser) into the DSP buffer.
  virtual void AddStereoFrames(void* buffer, int32_t frame_offset, const float* left_right,
                               int32_t frames) = 0;

  // ---- Samples --------------------------------------------------------------
  // Called once a song's sample is complete; the library may make its own
  // record from it (SongSample::host_sample). False when it cannot.
  virtual bool PrepareSample(SongSample& sample) {
    (void)sample;
    return true;
  }
  // A sample is about to go: the library stops every channel that plays it.
  virtual void ForgetSample(SongSample& sample) { (void)sample; }
  // A song is about to go (after it stopped).
  virtual void ForgetSong(Song& song) { (void)song; }

  // ---- Files --------------------------------------------------------------
  // Reads a whole file for the loaders; false when it cannot be opened. The
  // library reads through its own file layer; by default a disk file.
  virtual bool ReadFile(const std::string& name, std::vector<uint8_t>& bytes);

  // ---- Last-error code --------------------------------------------------
  virtual void SetError(int32_t code) = 0;
  virtual int32_t Error() const = 0;
  // Clears it when called on the thread that initialised the library.
  virtual void ClearError() = 0;
};

}  // namespace zv
