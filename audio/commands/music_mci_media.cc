// The files that command strings play: songs of the song player (MIDI
// files above all), WAV and MPEG audio as library samples, and every other
// sound file the platform's decoder reads (WMA, Ogg Vorbis, FLAC, AAC ...)
// decoded as it plays.

#include <algorithm>
#include <limits>

#include "audio/commands/music_mci.h"
#include "audio/library/channel.h"
#include "audio/library/formats/midi_song.h"
#include "audio/library/formats/song_engine.h"
#include "audio/library/library.h"
#include "audio/library/mixer.h"
#include "audio/library/sample.h"
#include "audio/library/sound_feed.h"
#include "platform/video/clip_sound.h"

namespace zv {
namespace {

class SongMedia final : public MciMedia {
 public:
  SongMedia(SongEngine& songs, Song* song) : songs_(songs), song_(song) {}
  ~SongMedia() override { songs_.FreeSong(song_); }
  SongMedia(const SongMedia&) = delete;
  SongMedia& operator=(const SongMedia&) = delete;

  bool Play() override {
    // Halted where it was: on from there. Sounding still: nothing to do.
    // Wound back, or played to its end: from its beginning.
    if (song_->playing && songs_.IsSongPaused(song_)) return songs_.SetSongPaused(song_, 0);
    if (songs_.IsSongPlaying(song_)) return true;
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
  bool SetVolume(int32_t volume) override { return songs_.SetSongMasterVolume(song_, volume); }
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

// A compressed sound file decoded a block at a time as the mixer asks for
// it, through a feed unit of the library: a long piece of music is never
// held whole, and opening it again to loop costs next to nothing. What the
// mixer's thread changes (the track, the frames played, the end) is guarded
// by the mixer's lock.
class DecodedMedia final : public MciMedia {
 public:
  // Null when the library is not running or the file holds no sound that
  // the platform's decoder reads.
  static std::unique_ptr<DecodedMedia> Open(const std::string& path) {
    if (!AudioInitialised()) return nullptr;
    const int32_t rate = GetOutputRate();
    std::unique_ptr<platform::ClipSound> track = platform::OpenClipSound(path, rate);
    if (!track) return nullptr;
    std::unique_ptr<DecodedMedia> media(new DecodedMedia(std::move(track), rate));
    media->unit_ = SoundFeedUnit::Create([m = media.get()](int16_t* out, int32_t frames) { return m->Read(out, frames); });
    if (!media->unit_) return nullptr;
    return media;
  }
  ~DecodedMedia() override { unit_.reset(); }  // the mixer lets go of the track first
  DecodedMedia(const DecodedMedia&) = delete;
  DecodedMedia& operator=(const DecodedMedia&) = delete;

  bool Play() override {
    if (state_ == State::kPaused) return Resume();
    if (Ended() && !Rewind()) return false;  // played to its end: from the start again
    Switch(State::kPlaying);
    return true;
  }
  bool Stop() override {
    Switch(State::kHalted);
    return true;
  }
  bool Rewind() override {
    Switch(State::kHalted);
    MixerGuard guard(MixerMutex());
    played_ = 0;
    ended_ = !track_->Rewind();
    return !ended_;
  }
  bool Pause() override {
    if (state_ == State::kPlaying) Switch(State::kPaused);
    return true;
  }
  bool Resume() override {
    if (state_ == State::kPaused) Switch(State::kPlaying);
    return true;
  }
  int32_t LengthMs() override { return length_ms_; }
  // Short of the length until the track has really ended, so that a stated
  // length a little too short never cuts the music off early.
  int32_t PositionMs() override {
    MixerGuard guard(MixerMutex());
    if (ended_) return length_ms_;
    const int64_t ms = played_ * 1000 / rate_;
    return static_cast<int32_t>(std::min<int64_t>(ms, int64_t{length_ms_} - 1));
  }

 private:
  enum class State { kHalted, kPlaying, kPaused };

  DecodedMedia(std::unique_ptr<platform::ClipSound> track, int32_t rate)
      : track_(std::move(track)), rate_(std::max(1, rate)), length_ms_(LengthOf(*track_)) {}

  // A file that states no length plays until its sound runs out.
  static int32_t LengthOf(const platform::ClipSound& track) {
    constexpr int64_t kLongest = std::numeric_limits<int32_t>::max();
    const int64_t stated = track.StatedLengthMs();
    return static_cast<int32_t>(stated < 0 ? kLongest : std::clamp<int64_t>(stated, 1, kLongest));
  }

  // On the mixer's thread, with its lock held.
  int32_t Read(int16_t* out, int32_t frames) {
    const int32_t got = ended_ ? 0 : std::max(0, track_->Read(out, frames));
    played_ += got;
    if (got < frames) ended_ = true;
    return got;
  }
  bool Ended() const {
    MixerGuard guard(MixerMutex());
    return ended_;
  }
  void Switch(State state) {
    state_ = state;
    unit_->SetActive(state == State::kPlaying);
  }

  std::unique_ptr<platform::ClipSound> track_;
  int32_t rate_;
  int32_t length_ms_;
  std::unique_ptr<SoundFeedUnit> unit_;
  State state_ = State::kHalted;
  int64_t played_ = 0;  // frames at the mixer's rate
  bool ended_ = false;
};

}  // namespace

std::unique_ptr<MciMedia> LibraryMciMediaOpener::Open(const std::string& path) {
  if (Song* song = songs_.LoadSong(path)) return std::make_unique<SongMedia>(songs_, song);
  const uint32_t mode = sample_mode::k2D | sample_mode::kExactMpegLength;
  if (SampleHandle sample = LoadSample(-2, path.c_str(), mode, 0)) return std::make_unique<SampleMedia>(sample);
  return DecodedMedia::Open(path);
}

}  // namespace zv
