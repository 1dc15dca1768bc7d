#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "audio/library/formats/song.h"
#include "audio/library/formats/song_host.h"
#include "audio/library/formats/song_tables.h"

namespace zv {

class MidiSynthesizer;  // audio/library/formats/midi_song.h

// Error codes of the library's last-error word that the songs set.
namespace song_error {
constexpr int32_t kNotInitialised = 2;
constexpr int32_t kCannotPlay = 5;
constexpr int32_t kFileNotFound = 9;
constexpr int32_t kBadFormat = 10;
constexpr int32_t kNoData = 11;
constexpr int32_t kNoMemory = 12;
constexpr int32_t kSampleFailed = 13;
constexpr int32_t kBadParameter = 14;
}  // namespace song_error

// The song half of the sound library: loads modules and MIDI files into
// songs, plays them through the library's channels and reports their
// position. The mixer calls MixSongs once per block (the songs unit).
// Every public operation takes songs by pointer: null is error 14.
class SongEngine {
 public:
  explicit SongEngine(SongHost& host);
  ~SongEngine();
  SongEngine(const SongEngine&) = delete;
  SongEngine& operator=(const SongEngine&) = delete;

  SongHost& Host() { return host_; }
  // The synthesiser for MIDI songs: the engine's own (FluidSynth, made on
  // first use) unless another is given; null: MIDI songs do not load.
  void SetMidiSynthesizer(MidiSynthesizer* synth) { midi_ = synth; }
  MidiSynthesizer* Midi() { return midi_; }

  // ---- Public song operations ------------------------------------------
  Song* LoadSong(const std::string& name);
  Song* LoadSongFromMemory(const uint8_t* data, int32_t length);
  bool FreeSong(Song* song);
  bool PlaySong(Song* song);
  bool StopSong(Song* song);
  void StopAllSongs();
  bool SetSongPaused(Song* song, uint8_t paused);
  // With `once`, the song falls silent and stops playing when it has played
  // through (the end of its order list, or a jump back to an order it has
  // played); without, it goes on as its order list leads. Kept across plays.
  bool SetSongPlayOnce(Song* song, bool once);
  bool SetSongMasterVolume(Song* song, int32_t volume);
  bool SetSongPanSeparation(Song* song, float separation);
  bool SetSongOrder(Song* song, int32_t order);
  bool SetSongVoiceLimits(Song* song, int32_t voice_limit, int32_t minimum_volume);
  bool SetSongSample(Song* song, int32_t index, SongSample* sample);
  bool SetSongRowCallback(Song* song, SongCallback callback, int32_t step);
  bool SetSongOrderCallback(Song* song, SongCallback callback, int32_t step);
  bool SetSongZxxCallback(Song* song, SongCallback callback);
  bool SetSongInstrumentCallback(Song* song, SongCallback callback, int32_t instrument);
  const char* GetSongName(Song* song);
  int32_t GetSongFormat(Song* song);
  bool IsSongFinished(Song* song);
  bool IsSongPlaying(Song* song);
  bool IsSongPaused(Song* song);
  int32_t GetSongOrderCount(Song* song);
  int32_t GetSongPatternCount(Song* song);
  int32_t GetSongInstrumentCount(Song* song);
  int32_t GetSongSampleCount(Song* song);
  int32_t GetSongChannelCount(Song* song);
  SongSample* GetSongSample(Song* song, int32_t index);
  int32_t GetSongPatternRows(Song* song, int32_t order);
  int32_t GetSongMasterVolume(Song* song);
  int32_t GetSongGlobalVolume(Song* song);
  int32_t GetSongCurrentPattern(Song* song);
  int32_t GetSongSpeed(Song* song);
  int32_t GetSongTempo(Song* song);
  int32_t GetSongAudibleOrder(Song* song);
  int32_t GetSongAudibleRow(Song* song);
  int32_t GetSongTime(Song* song);
  bool SongUsesLinearFrequencies(Song* song);
  bool SetMidiSongOption(uint8_t flag);

  // The songs unit of the mixer: plays every active song into the block.
  void MixSongs(void* buffer, int32_t frames);
  // Recomputes every playing song's samples per tick (after a new mix rate).
  void ReapplyTempos();
  // Library shutdown: the MIDI synthesiser goes (it is made again on the
  // next MIDI load).
  void ShutdownMidi();
  // The samples that a freed library sample leaves: every playing song
  // forgets it.
  void ForgetSampleInSongs(SongSample* sample);

  // ---- Used by the players ---------------------------------------------------
  void SetSongTempo(Song& song, int32_t bpm);
  // A library channel for a new note; null when none is free.
  SongVoice* AttachSongVoice(Song& song, SongChannel& channel);
  // Gives a voice whose sound has ended back to the library; true when it
  // was released (and so left the channel's voice list).
  bool ReleaseSongVoice(Song& song, SongVoice& voice);
  void QueueSongEvent(Song& song, int ring, uint8_t value);
  SongVoice& SpareVoice() { return spare_; }
  // The channel's current voice, or the spare one.
  SongVoice& CurrentVoice(SongChannel& channel);
  // Runs a voice's update flags against its library channel (the S3M form
  // with the volume given).
  void StartVoice(SongVoice& voice);
  void StopVoice(SongVoice& voice);
  bool VoiceCulled(Song& song, SongVoice& voice, int32_t audible_volume);
  // The frames a loader may make for a sample of `frames` (fewer once the
  // song's budget runs out).
  static int32_t TakeSampleFrames(Song& song, int64_t frames);
  // Creates a sample owned by the song being loaded.
  SongSample* NewSongSample(Song& song);
  void SetError(int32_t code) { host_.SetError(code); }
  // The random waveforms' generator (the mixer thread's own).
  song_tables::WaveRandom& Random() { return random_; }

  const std::vector<Song*>& PlayingSongs() const { return playing_; }

 private:
  Song* LoadSongImage(std::span<const uint8_t> image, const std::string& name);
  bool BadSong(Song* song);
  void ReleaseChannels(Song& song);
  void ResetRings(Song& song);

  SongHost& host_;
  std::unique_ptr<MidiSynthesizer> own_midi_;
  MidiSynthesizer* midi_ = nullptr;
  std::vector<Song*> playing_;
  std::vector<std::unique_ptr<SongVoice>> voices_;  // one per library channel
  SongVoice spare_;
  song_tables::WaveRandom random_;
};

// The format loaders, in the order they are tried. Each tests its own
// signature first; false (with error 10 where a signature was read) when
// the image is not of its format.
bool LoadModModule(Song& song, std::span<const uint8_t> image);
bool LoadS3mModule(Song& song, std::span<const uint8_t> image);
bool LoadXmModule(Song& song, std::span<const uint8_t> image);
bool LoadItModule(Song& song, std::span<const uint8_t> image);
bool LoadMidiSong(Song& song, const std::string& name, std::span<const uint8_t> image);

// The middle-C rate of a MOD finetune (low nibble).
uint32_t FinetuneToC2Spd(int32_t finetune);

}  // namespace zv
