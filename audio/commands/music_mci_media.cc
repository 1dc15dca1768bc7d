// The files that command strings play: songs of the song player (MIDI
// files above all) and decoded audio files as library samples.

#include <algorithm>
#include <limits>

#include "audio/commands/music_mci.h"
#include "audio/library/channel.h"
#include "audio/library/formats/midi_song.h"
#include "audio/library/formats/song_engine.h"
#include "audio/library/sample.h"

namespace zv {
namespace {

class SongMedia final : public MciMedia {
 public:
  SongMedia(SongEngine& songs, Song* song) : songs_(songs), song_(song) {}
  ~SongMedia() override { songs_.FreeSong(song_); }
  SongMedia(const SongMedia&) = delete;
  SongMedia& operator=(const SongMedia&) = delete;

  bool Play() override {
    if (songs_.IsSongPaused(song_)) return songs_.SetSongPaused(song_, 0);
    if (song_->playing) return true;
    return songs_.PlaySong(song_);
  }
  bool Stop() override {
    // The position stays until a rewind; a halted song is a paused one.
    if (song_->playing && !songs_.IsSongFinished(song_)) return songs_.SetSongPaused(song_, 1);
    return true;
  }
  bool Rewind() override { return songs_.StopSong(song_); }
  bool Pause() override { return songs_.SetSongPaused(song_, 1); }
  bool Resume() override { return songs_.SetSongPaused(song_, 0); }
  int32_t LengthMs() override {
    if (song_->midi) return static_cast<int32_t>(std::min<uint64_t>(song_->midi->sequence.length_us / 1000, 0x7FFFFFFF));
    return std::numeric_limits<int32_t>::max();  // a module plays on and on
  }
  int32_t PositionMs() override {
    if (song_->playing && songs_.IsSongFinished(song_)) return LengthMs();
    return std::max(0, songs_.GetSongTime(song_));
  }

 private:
  SongEngine& songs_;
  Song* song_;
};

class SampleMedia final : public MciMedia {
 public:
  explicit SampleMedia(SampleHandle sample) : sample_(sample) {}
  ~SampleMedia() override {
    Release();
    FreeSample(sample_);
  }
  SampleMedia(const SampleMedia&) = delete;
  SampleMedia& operator=(const SampleMedia&) = delete;

  bool Play() override {
    if (paused_) return Resume();
    if (channel_ >= 0 && IsChannelPlaying(channel_)) return true;
    Release();
    channel_ = PlaySamplePaused(kChooseChannel, sample_, true);
    if (channel_ < 0) return false;
    // Music keeps its channel: sound effects must not take it over.
    SetChannelReserved(channel_, true);
    SetChannelPriority(channel_, 255);
    SetChannelPaused(channel_, false);
    started_ = true;
    return true;
  }
  bool Stop() override {
    if (channel_ >= 0 && IsChannelPlaying(channel_)) {
      position_ = PositionMs();
      Release();
    }
    paused_ = false;
    return true;
  }
  bool Rewind() override {
    Release();
    started_ = false;
    position_ = 0;
    return true;
  }
  bool Pause() override {
    if (channel_ < 0) return true;
    paused_ = SetChannelPaused(channel_, true) || paused_;
    return true;
  }
  bool Resume() override {
    paused_ = false;
    return channel_ < 0 || SetChannelPaused(channel_, false);
  }
  int32_t LengthMs() override { return FramesToMs(GetSampleLength(sample_)); }
  int32_t PositionMs() override {
    if (channel_ >= 0 && IsChannelPlaying(channel_)) return FramesToMs(static_cast<int32_t>(GetChannelPosition(channel_)));
    if (channel_ >= 0 && started_) return LengthMs();  // played to its end
    return position_;
  }

 private:
  int32_t FramesToMs(int32_t frames) const {
    const int32_t rate = std::max(1, sample_->default_frequency);
    return static_cast<int32_t>(static_cast<int64_t>(frames) * 1000 / rate);
  }
  void Release() {
    if (channel_ < 0) return;
    StopChannel(channel_);
    SetChannelReserved(channel_, false);
    channel_ = -1;
  }

  SampleHandle sample_;
  ChannelHandle channel_ = -1;
  bool paused_ = false;
  bool started_ = false;
  int32_t position_ = 0;
};

}  // namespace

std::unique_ptr<MciMedia> LibraryMciMediaOpener::Open(const std::string& path) {
  if (Song* song = songs_.LoadSong(path)) return std::make_unique<SongMedia>(songs_, song);
  const uint32_t mode = sample_mode::k2D | sample_mode::kExactMpegLength;
  if (SampleHandle sample = LoadSample(-2, path.c_str(), mode, 0)) return std::make_unique<SampleMedia>(sample);
  return nullptr;
}

}  // namespace zv
