#include "audio/library/formats/song_engine.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "audio/library/formats/midi_song.h"
#include "audio/library/load_shortfall.h"
#include "platform/paths/file_read.h"

namespace zv {
namespace {

// Files larger than this are no module or MIDI file we could hold.
constexpr uint64_t kMaxSongFileBytes = 256 << 20;
constexpr int32_t kMaxSongTempo = 1000;

// Holds the mixer off for the life of the guard.
class MixerGuard {
 public:
  explicit MixerGuard(SongHost& host) : host_(host) { host_.LockMixer(); }
  ~MixerGuard() { host_.UnlockMixer(); }
  MixerGuard(const MixerGuard&) = delete;
  MixerGuard& operator=(const MixerGuard&) = delete;

 private:
  SongHost& host_;
};

using Loader = bool (*)(Song&, std::span<const uint8_t>);

// The parts a song's file ends inside or before: "2 patterns and 1 sample".
std::string CutPartsText(const SongCutParts& cut) {
  static constexpr const char* kNames[SongCutParts::kPartKinds] = {"pattern", "instrument", "sample", "track"};
  std::vector<std::string> parts;
  for (int part = 0; part < SongCutParts::kPartKinds; ++part) {
    const int32_t n = cut.count[static_cast<size_t>(part)];
    if (n > 0) parts.push_back(std::to_string(n) + " " + kNames[part] + (n > 1 ? "s" : ""));
  }
  std::string text;
  for (size_t i = 0; i < parts.size(); ++i)
    text += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
  return text;
}

}  // namespace

bool SongHost::ReadFile(const std::string& name, std::vector<uint8_t>& bytes) {
  auto read = platform::ReadWholeFile(name, kMaxSongFileBytes);
  if (!read) return false;
  bytes = std::move(*read);
  return true;
}

SongSample& InvalidSongSample() {
  static SongSample invalid = [] {
    SongSample s;
    s.name = "Invalid Sample";
    return s;
  }();
  return invalid;
}

uint32_t FinetuneToC2Spd(int32_t finetune) {
  static constexpr uint32_t kRates[16] = {8363, 8413, 8463, 8529, 8581, 8651, 8723, 8757,
                                          7895, 7941, 7985, 8046, 8107, 8169, 8232, 8280};
  if (finetune < 1 || finetune > 15) return 8363;
  return kRates[finetune];
}

Song::Song(SongEngine& owner) : engine(owner) {}

Song::~Song() {
  for (SongSample* s : samples) {
    if (s && s->song_owned) delete s;
  }
}

SongPattern* Song::CurrentPattern() {
  if (order < 0 || order >= 256) return nullptr;
  const int32_t number = orders[static_cast<size_t>(order)];
  if (number >= static_cast<int32_t>(patterns.size())) return nullptr;
  return &patterns[static_cast<size_t>(number)];
}

int32_t Song::EndOfOrders(int32_t next, bool report_finished) {
  pass_ended = true;
  if (report_finished) finished = true;
  return next;
}

bool Song::EnterOrder() {
  const size_t entry = static_cast<size_t>(order) & 255;
  if (pass_ended || entered_orders.test(entry)) {
    pass_ended = false;
    entered_orders.reset();
    if (play_once) {
      // Nothing of the next pass is played: the mixer leaves the song alone
      // from here on, and its owner stops it.
      finished = true;
      playing = false;
      return false;
    }
  }
  entered_orders.set(entry);
  return true;
}

SongSample* Song::SampleAt(int32_t index) {
  if (index < 0 || index >= static_cast<int32_t>(samples.size()) || !samples[static_cast<size_t>(index)])
    return &InvalidSongSample();
  return samples[static_cast<size_t>(index)];
}

SongEngine::SongEngine(SongHost& host) : host_(host), own_midi_(std::make_unique<MidiSynthesizer>()) {
  midi_ = own_midi_.get();
  spare_.spare = true;
}

SongEngine::~SongEngine() { StopAllSongs(); }

// ---- Loading -----------------------------------------------------------------------

Song* SongEngine::LoadSong(const std::string& name) {
  host_.ClearError();
  ClearLoadShortfall();
  std::vector<uint8_t> bytes;
  if (!host_.ReadFile(name, bytes)) {
    host_.SetError(song_error::kFileNotFound);
    return nullptr;
  }
  return LoadSongImage(bytes, name);
}

Song* SongEngine::LoadSongFromMemory(const uint8_t* data, int32_t length) {
  host_.ClearError();
  ClearLoadShortfall();
  if (!data || length < 0) {
    host_.SetError(song_error::kFileNotFound);
    return nullptr;
  }
  return LoadSongImage(std::span<const uint8_t>(data, static_cast<size_t>(length)), "Memory file");
}

Song* SongEngine::LoadSongImage(std::span<const uint8_t> image, const std::string& name) {
  static constexpr Loader kModuleLoaders[] = {LoadModModule, LoadS3mModule, LoadXmModule, LoadItModule};
  // A loader that gives up part way leaves its song half built, so each
  // one starts on a fresh record.
  auto fresh = [this, image] {
    auto song = std::make_unique<Song>(*this);
    song->voice_limit = host_.ChannelCount();
    song->sample_frame_budget = static_cast<int64_t>(image.size()) * 8 + (1 << 20);
    song->positions.assign(static_cast<size_t>(std::max(1, host_.BlockCount())), SongPositionRecord{});
    for (SongTimingRing& ring : song->rings) ring.Reset();
    return song;
  };
  std::unique_ptr<Song> loaded;
  for (Loader loader : kModuleLoaders) {
    auto song = fresh();
    if (loader(*song, image)) {
      loaded = std::move(song);
      break;
    }
  }
  if (!loaded) {
    auto song = fresh();
    if (LoadMidiSong(*song, name, image)) loaded = std::move(song);
  }
  const int32_t error = host_.Error();
  if (!loaded) return nullptr;
  for (SongSample* sample : loaded->samples) {
    if (!sample) continue;
    sample->song_owned = true;
    if (!host_.PrepareSample(*sample)) {
      host_.SetError(song_error::kSampleFailed);
      return nullptr;
    }
  }
  host_.SetError(error & 0xFF);
  if (loaded->cut.Any()) NoteLoadShortfall(CutPartsText(loaded->cut), loaded->cut.missing_bytes);
  return loaded.release();
}

int32_t SongEngine::TakeSampleFrames(Song& song, int64_t frames) {
  const int64_t granted = std::clamp<int64_t>(frames, 0, std::min<int64_t>(song.sample_frame_budget, 0x7FFFFFFF));
  song.sample_frame_budget -= granted;
  return static_cast<int32_t>(granted);
}

SongSample* SongEngine::NewSongSample(Song& song) {
  auto* sample = new SongSample;
  sample->song_owned = true;
  song.samples.push_back(sample);
  return sample;
}

// ---- Play, stop, free ----------------------------------------------------------------

bool SongEngine::BadSong(Song* song) {
  if (song) return false;
  host_.SetError(song_error::kBadParameter);
  return true;
}

void SongEngine::ResetRings(Song& song) {
  for (SongTimingRing& ring : song.rings) ring.Reset();
}

bool SongEngine::PlaySong(Song* song) {
  host_.ClearError();
  if (BadSong(song)) return false;
  StopSong(song);
  SetSongPaused(song, 0);
  MixerGuard guard(host_);
  Song& s = *song;
  s.global_volume = s.initial_global_volume;
  s.speed = s.initial_speed;
  s.row = 0;
  s.order = 0;
  s.next_order = 0;
  s.next_row = 0;
  s.samples_left = 0;
  s.tick = 0;
  s.pattern_delay = 0;
  s.fine_pattern_delay = 0;
  s.finished = false;
  s.entered_orders.reset();
  s.pass_ended = false;
  s.time_ms = 0;
  ResetRings(s);
  if (s.reset_hook) s.reset_hook(s);
  if (s.format == SongFormat::kMidi && !PlayMidiSong(s)) return false;
  SetSongTempo(s, s.initial_tempo);
  // The library may have started (or changed its buffer) since the load.
  s.positions.assign(static_cast<size_t>(std::max(1, host_.BlockCount())), SongPositionRecord{});
  s.channels.assign(static_cast<size_t>(std::max(0, s.channel_count)), SongChannel{});
  for (size_t i = 0; i < s.channels.size() && i < 64; ++i) {
    s.channels[i].pan = s.default_pan[i];
    s.channels[i].channel_volume = s.default_channel_volume[i];
  }
  if (std::find(playing_.begin(), playing_.end(), song) == playing_.end()) playing_.push_back(song);
  s.playing = true;
  const int32_t blocks = static_cast<int32_t>(s.positions.size());
  s.position_index = blocks > 0 ? std::clamp(host_.CurrentBlock(), 0, blocks - 1) : 0;
  return true;
}

void SongEngine::ReleaseChannels(Song& song) {
  for (SongChannel& channel : song.channels) {
    for (SongVoice* voice : channel.voices) {
      if (voice->spare) continue;
      host_.StopChannel(voice->handle);
      host_.DetachSongChannel(song, voice->channel_index);
      voice->owner = nullptr;
      voice->flags = 0;
    }
    channel.voices.clear();
  }
  song.channels.clear();
  song.channel_list.clear();
}

bool SongEngine::StopSong(Song* song) {
  host_.ClearError();
  if (BadSong(song)) return false;
  MixerGuard guard(host_);
  if (song->format == SongFormat::kMidi) StopMidiSong(*song);
  playing_.erase(std::remove(playing_.begin(), playing_.end(), song), playing_.end());
  song->playing = false;
  ReleaseChannels(*song);
  return true;
}

void SongEngine::StopAllSongs() {
  const std::vector<Song*> songs = playing_;
  for (Song* song : songs) StopSong(song);
}

bool SongEngine::FreeSong(Song* song) {
  host_.ClearError();
  if (BadSong(song)) return false;
  StopSong(song);
  MixerGuard guard(host_);
  for (SongSample* sample : song->samples) {
    if (sample && sample->song_owned) host_.ForgetSample(*sample);
  }
  if (song->format == SongFormat::kMidi) FreeMidiSong(*song);
  host_.ForgetSong(*song);
  delete song;
  host_.ClearError();
  return true;
}

// ---- Settings ----------------------------------------------------------------------------

bool SongEngine::SetSongPaused(Song* song, uint8_t paused) {
  host_.ClearError();
  if (BadSong(song)) return false;
  MixerGuard guard(host_);
  const bool was = song->paused;
  song->paused = paused != 0;
  if (song->format == SongFormat::kMidi && was != song->paused) PauseMidiSong(*song, song->paused);
  return true;
}

bool SongEngine::SetSongPlayOnce(Song* song, bool once) {
  host_.ClearError();
  if (BadSong(song)) return false;
  MixerGuard guard(host_);
  song->play_once = once;
  return true;
}

bool SongEngine::SetSongMasterVolume(Song* song, int32_t volume) {
  host_.ClearError();
  if (BadSong(song)) return false;
  MixerGuard guard(host_);
  song->master_volume = std::clamp(volume, 0, 256);
  if (song->format == SongFormat::kMidi) SetMidiSongVolume(*song);
  return true;
}

bool SongEngine::SetSongPanSeparation(Song* song, float separation) {
  host_.ClearError();
  if (BadSong(song)) return false;
  if (!(separation >= 0.0f))
    separation = 0.0f;
  else if (!(separation < 1.0f))
    separation = 1.0f;
  song->pan_separation = separation;
  return true;
}

bool SongEngine::SetSongOrder(Song* song, int32_t order) {
  host_.ClearError();
  if (BadSong(song)) return false;
  MixerGuard guard(host_);
  song->next_order = std::clamp(order, 0, std::max(0, song->order_count - 1));
  song->next_row = 0;
  song->tick = 0;
  // A jump asked for counts as a new start, not as the song coming round.
  song->entered_orders.reset();
  song->pass_ended = false;
  return true;
}

bool SongEngine::SetSongVoiceLimits(Song* song, int32_t voice_limit, int32_t minimum_volume) {
  if (BadSong(song)) return false;
  song->voice_limit = std::max(0, voice_limit);
  song->minimum_volume = std::max(0, minimum_volume);
  return true;
}

bool SongEngine::SetSongSample(Song* song, int32_t index, SongSample* sample) {
  host_.ClearError();
  if (!song || !sample || index < 0 || song->format == SongFormat::kMidi) {
    host_.SetError(song_error::kBadParameter);
    return false;
  }
  MixerGuard guard(host_);
  SongSample* old = index < static_cast<int32_t>(song->samples.size()) ? song->samples[static_cast<size_t>(index)]
                                                                        : nullptr;
  // The instrument slot that plays the sample now at the index (last wins).
  SongInstrument* slot_instrument = nullptr;
  size_t slot = 0;
  if (old) {
    for (SongInstrument& instrument : song->instruments) {
      for (size_t k = 0; k < instrument.samples.size(); ++k) {
        if (instrument.samples[k] == old) {
          slot_instrument = &instrument;
          slot = k;
        }
      }
    }
  }
  if (index >= static_cast<int32_t>(song->samples.size())) {
    song->samples.resize(static_cast<size_t>(index) + 1, nullptr);
    song->sample_count = static_cast<int32_t>(song->samples.size());
  }
  SongSample*& entry = song->samples[static_cast<size_t>(index)];
  if (!entry) {
    entry = sample;
    sample->in_song = true;
    return true;
  }
  if (entry == sample) return true;
  sample->default_frequency = old->default_frequency;
  sample->default_volume = old->default_volume;
  sample->default_pan = old->default_pan;
  sample->loop_start = old->loop_start;
  sample->loop_length = old->loop_length;
  sample->loop_mode = old->loop_mode;
  sample->global_volume = old->global_volume;
  sample->relative_note = old->relative_note;
  sample->finetune = old->finetune;
  sample->middle_c_rate = old->middle_c_rate;
  sample->sustain_start = old->sustain_start;
  sample->sustain_end = old->sustain_end;
  sample->vibrato_speed = old->vibrato_speed;
  sample->vibrato_depth = old->vibrato_depth;
  sample->vibrato_rate = old->vibrato_rate;
  sample->vibrato_type = old->vibrato_type;
  // The copied loop must still lie inside the new sound.
  if (sample->loop_start < 0 || sample->loop_start >= sample->length ||
      sample->loop_length > sample->length - sample->loop_start) {
    sample->loop_mode = sample_loop::kOff;
    sample->loop_start = 0;
    sample->loop_length = sample->length;
  }
  sample->in_song = true;
  // Voices still playing the old sample move to the new one before it goes.
  for (SongChannel& channel : song->channels) {
    for (SongVoice* voice : channel.voices) {
      if (voice->sample == old) voice->sample = sample;
    }
  }
  if (old->song_owned) {
    host_.ForgetSample(*old);
    delete old;
  }
  entry = sample;
  if (slot_instrument) slot_instrument->samples[slot] = sample;
  return true;
}

bool SongEngine::SetSongRowCallback(Song* song, SongCallback callback, int32_t step) {
  host_.ClearError();
  if (BadSong(song)) return false;
  if (step < 0) {
    host_.SetError(song_error::kBadParameter);
    return false;
  }
  song->rings[song_ring::kRow].callback = callback;
  song->rings[song_ring::kRow].step = step;
  return true;
}

bool SongEngine::SetSongOrderCallback(Song* song, SongCallback callback, int32_t step) {
  host_.ClearError();
  if (BadSong(song)) return false;
  if (step < 0) {
    host_.SetError(song_error::kBadParameter);
    return false;
  }
  song->rings[song_ring::kOrder].callback = callback;
  song->rings[song_ring::kOrder].step = step;
  return true;
}

bool SongEngine::SetSongZxxCallback(Song* song, SongCallback callback) {
  if (BadSong(song)) return false;
  song->rings[song_ring::kZxx].callback = callback;
  return true;
}

bool SongEngine::SetSongInstrumentCallback(Song* song, SongCallback callback, int32_t instrument) {
  host_.ClearError();
  if (BadSong(song)) return false;
  if (instrument < 0) {
    host_.SetError(song_error::kBadParameter);
    return false;
  }
  SongTimingRing& ring = song->rings[song_ring::kInstrument];
  ring.callback = callback;
  ring.instrument = instrument;
  ring.step = 1;
  return true;
}

bool SongEngine::SetMidiSongOption(uint8_t flag) {
  host_.ClearError();
  MixerGuard guard(host_);
  return SetMidiReverb(*this, flag);
}

// ---- Queries --------------------------------------------------------------------------

const char* SongEngine::GetSongName(Song* song) {
  host_.ClearError();
  if (BadSong(song)) return nullptr;
  return song->name.c_str();
}

int32_t SongEngine::GetSongFormat(Song* song) { return song ? static_cast<int32_t>(song->format) : 0; }

bool SongEngine::IsSongFinished(Song* song) {
  host_.ClearError();
  if (BadSong(song)) return false;
  if (song->format == SongFormat::kMidi && !song->paused) {
    MixerGuard guard(host_);
    song->finished = !IsMidiSongPlaying(*song);
  }
  return song->finished;
}

bool SongEngine::IsSongPlaying(Song* song) {
  host_.ClearError();
  if (BadSong(song)) return false;
  // A song that plays once ends on the mixer's side.
  MixerGuard guard(host_);
  if (song->format == SongFormat::kMidi && !song->paused) return song->playing && IsMidiSongPlaying(*song);
  return song->playing;
}

bool SongEngine::IsSongPaused(Song* song) { return song && song->paused; }

int32_t SongEngine::GetSongOrderCount(Song* song) {
  host_.ClearError();
  if (BadSong(song)) return 0;
  return song->order_count;
}

int32_t SongEngine::GetSongPatternCount(Song* song) {
  host_.ClearError();
  if (BadSong(song)) return 0;
  return song->referenced_pattern_count;
}

int32_t SongEngine::GetSongInstrumentCount(Song* song) { return song ? song->instrument_count : 0; }
int32_t SongEngine::GetSongSampleCount(Song* song) { return song ? song->sample_count : 0; }
int32_t SongEngine::GetSongChannelCount(Song* song) { return song ? song->channel_count : 0; }

SongSample* SongEngine::GetSongSample(Song* song, int32_t index) {
  host_.ClearError();
  if (BadSong(song)) return nullptr;
  if (index < 0 || index >= static_cast<int32_t>(song->samples.size())) {
    host_.SetError(song_error::kBadParameter);
    return nullptr;
  }
  return song->samples[static_cast<size_t>(index)];
}

int32_t SongEngine::GetSongPatternRows(Song* song, int32_t order) {
  host_.ClearError();
  if (BadSong(song)) return 0;
  if (song->patterns.empty() || order < 0 || order >= 256) {
    host_.SetError(song_error::kBadParameter);
    return 0;
  }
  const uint8_t number = song->orders[static_cast<size_t>(order)];
  if (number >= song->patterns.size()) return 0;
  return static_cast<int32_t>(song->patterns[number].rows);
}

int32_t SongEngine::GetSongMasterVolume(Song* song) {
  host_.ClearError();
  if (BadSong(song)) return -1;
  return song->master_volume;
}

int32_t SongEngine::GetSongGlobalVolume(Song* song) {
  host_.ClearError();
  if (BadSong(song)) return -1;
  return song->global_volume;
}

int32_t SongEngine::GetSongCurrentPattern(Song* song) {
  if (!song) return -1;
  if (song->order < 0 || song->order >= 256) return -1;
  return song->orders[static_cast<size_t>(song->order)];
}

int32_t SongEngine::GetSongSpeed(Song* song) { return song ? song->speed : -1; }
int32_t SongEngine::GetSongTempo(Song* song) { return song ? song->tempo : -1; }

int32_t SongEngine::GetSongAudibleOrder(Song* song) {
  host_.ClearError();
  if (BadSong(song) || song->positions.empty()) return -1;
  return song->positions[static_cast<size_t>(song->position_index)].order;
}

int32_t SongEngine::GetSongAudibleRow(Song* song) {
  host_.ClearError();
  if (BadSong(song) || song->positions.empty()) return -1;
  return song->positions[static_cast<size_t>(song->position_index)].row;
}

int32_t SongEngine::GetSongTime(Song* song) {
  host_.ClearError();
  if (BadSong(song)) return -1;
  if (song->format == SongFormat::kMidi) {
    MixerGuard guard(host_);
    return GetMidiSongTime(*song);
  }
  if (song->positions.empty()) return 0;
  return static_cast<int32_t>(song->positions[static_cast<size_t>(song->position_index)].time_ms);
}

bool SongEngine::SongUsesLinearFrequencies(Song* song) {
  if (!song) return false;
  if (song->format == SongFormat::kIt) return (song->format_flags & 8) != 0;
  if (song->format == SongFormat::kXm) return (song->format_flags & 1) != 0;
  return false;
}

// ---- The mixer's side ----------------------------------------------------------------

void SongEngine::MixSongs(void* buffer, int32_t frames) {
  // A tick may not touch the list, but a callback may not be trusted not to.
  const std::vector<Song*> songs = playing_;
  for (Song* song : songs) {
    if (!song->playing || song->paused) continue;
    if (song->format == SongFormat::kMidi) {
      RenderMidiSong(*song, host_, buffer, frames);
      continue;
    }
    if (!song->tick_function) continue;
    for (SongTimingRing& ring : song->rings) {
      // A due time already passed (a block skipped) still fires, so a ring
      // never stalls.
      while (ring.due[static_cast<size_t>(ring.read)] <= song->time_ms) {
        const uint8_t value = ring.values[static_cast<size_t>(ring.read)];
        ring.due[static_cast<size_t>(ring.read)] = kEmptyDueTime;
        ring.read = (ring.read + 1) & 255;
        if (ring.callback) ring.callback(song, value);
      }
    }
    int32_t done = 0;
    while (done < frames) {
      if (song->samples_left <= 0) {
        song->tick_function(*song);
        song->samples_left = std::max(1, song->samples_per_tick);
        if (!song->playing) break;
      }
      const int32_t n = std::min(song->samples_left, frames - done);
      host_.MixSongChannels(*song, buffer, done, n);
      song->samples_left -= n;
      done += n;
    }
    if (!song->positions.empty()) {
      SongPositionRecord& record = song->positions[static_cast<size_t>(song->position_index)];
      record.order = static_cast<uint8_t>(song->order);
      record.row = static_cast<uint8_t>(song->row);
      record.time_ms = song->time_ms;
      song->position_index = (song->position_index + 1) % static_cast<int32_t>(song->positions.size());
    }
    song->time_ms += 25;
  }
}

void SongEngine::ShutdownMidi() {
  MixerGuard guard(host_);
  if (midi_) midi_->Shutdown();
}

void SongEngine::ReapplyTempos() {
  for (Song* song : playing_) SetSongTempo(*song, song->tempo);
}

void SongEngine::ForgetSampleInSongs(SongSample* sample) {
  for (Song* song : playing_) {
    for (SongSample*& entry : song->samples) {
      if (entry == sample) entry = nullptr;
    }
    for (SongInstrument& instrument : song->instruments) {
      for (SongSample*& entry : instrument.samples) {
        if (entry == sample) entry = &InvalidSongSample();
      }
    }
    for (SongChannel& channel : song->channels) {
      for (SongVoice* voice : channel.voices) {
        if (voice->sample == sample) voice->sample = &InvalidSongSample();
      }
    }
  }
}

// ---- Used by the players ---------------------------------------------------------------

void SongEngine::SetSongTempo(Song& song, int32_t bpm) {
  // Past 1000 beats a minute a tick would shrink towards a single sample
  // and a file could make the mixer run the player for every sample.
  song.tempo = std::clamp(bpm, 1, kMaxSongTempo);
  const float rate = static_cast<float>(host_.MixRate());
  const float ms_per_tick = 1000.0f / (2.0f * static_cast<float>(song.tempo) / 5.0f);
  song.samples_per_tick = static_cast<int32_t>(rate * ms_per_tick / 1000.0f);
}

SongVoice* SongEngine::AttachSongVoice(Song& song, SongChannel& channel) {
  const int32_t index = host_.AttachSongChannel(song);
  if (index < 0) return nullptr;
  if (static_cast<size_t>(index) >= voices_.size()) voices_.resize(static_cast<size_t>(index) + 1);
  auto& slot = voices_[static_cast<size_t>(index)];
  if (slot && slot->owner) {
    // The library gave a channel that a voice still holds: drop it there.
    auto& list = slot->owner->voices;
    list.erase(std::remove(list.begin(), list.end(), slot.get()), list.end());
  }
  slot = std::make_unique<SongVoice>();
  SongVoice& voice = *slot;
  voice.channel_index = index;
  voice.owner = &channel;
  voice.handle = index;
  voice.background = false;
  channel.voices.insert(channel.voices.begin(), &voice);
  if (std::find(song.channel_list.begin(), song.channel_list.end(), index) == song.channel_list.end())
    song.channel_list.push_back(index);
  return &voice;
}

bool SongEngine::ReleaseSongVoice(Song& song, SongVoice& voice) {
  if (voice.spare) return false;
  if (host_.IsChannelPlaying(voice.channel_index)) return false;
  host_.DetachSongChannel(song, voice.channel_index);
  voice.flags = 0;
  song.channel_list.erase(std::remove(song.channel_list.begin(), song.channel_list.end(), voice.channel_index),
                          song.channel_list.end());
  if (voice.owner) {
    auto& list = voice.owner->voices;
    list.erase(std::remove(list.begin(), list.end(), &voice), list.end());
    voice.owner = nullptr;
  }
  return true;
}

void SongEngine::QueueSongEvent(Song& song, int ring_number, uint8_t value) {
  if (ring_number < 0 || ring_number > 3) return;
  SongTimingRing& ring = song.rings[static_cast<size_t>(ring_number)];
  if (!ring.callback) return;
  // A step of 0 reports every row or order, as a step of 1 does.
  const int32_t step = std::max(1, ring.step);
  if (ring_number == song_ring::kRow && song.row % step != 0) return;
  if (ring_number == song_ring::kOrder && song.order % step != 0) return;
  const int32_t buffer_ms = std::max(25, host_.BufferLengthMs());
  ring.due[static_cast<size_t>(ring.write)] = song.time_ms + static_cast<uint32_t>(buffer_ms - 25);
  ring.values[static_cast<size_t>(ring.write)] = value;
  ring.write = (ring.write + 1) & 255;
}

SongVoice& SongEngine::CurrentVoice(SongChannel& channel) {
  return channel.voices.empty() ? spare_ : *channel.voices.front();
}

void SongEngine::StartVoice(SongVoice& voice) {
  if (voice.spare) return;
  SongSample* sample = voice.sample ? voice.sample : &InvalidSongSample();
  voice.handle = host_.PlaySample(voice.channel_index, *sample);
  // The library starts a channel at the sample's own pan: the voice's goes
  // with every start (a delayed note, a retrigger), or it plays centred.
  voice.flags |= voice_flag::kPan;
}

void SongEngine::StopVoice(SongVoice& voice) {
  if (voice.spare) return;
  host_.StopChannel(voice.handle);
  host_.SetChannelStartOffset(voice.channel_index, 0);
}

bool SongEngine::VoiceCulled(Song& song, SongVoice& voice, int32_t audible_volume) {
  if (audible_volume < song.minimum_volume && host_.ChannelsPlaying() > song.voice_limit) {
    voice.flags = voice_flag::kStop;
    return true;
  }
  return false;
}

}  // namespace zv
