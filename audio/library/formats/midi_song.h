#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "audio/library/formats/midi_file.h"
#include "audio/library/formats/song.h"
#include "platform/midi/midi_synth.h"

namespace zv {

class SongEngine;
class SongHost;

// The library-wide MIDI state: one synthesiser that every MIDI song plays
// on, made on first use. Only one MIDI song plays at a time: starting one
// takes the synthesiser from the one before.
class MidiSynthesizer {
 public:
  using Factory = std::function<std::unique_ptr<platform::MidiSynth>(int sample_rate)>;
  explicit MidiSynthesizer(Factory factory = platform::CreateMidiSynth) : factory_(std::move(factory)) {}

  // Makes the synthesiser at the mix rate when there is none (or it runs
  // at another rate); false when it cannot be made.
  bool Start(int32_t sample_rate);
  bool Started() const { return synth_ != nullptr; }
  platform::MidiSynth* Synth() { return synth_.get(); }
  void SetReverb(bool on);
  // Silences and drops the synthesiser.
  void Shutdown();

  MidiSongData* active = nullptr;  // the song that has the synthesiser
  std::vector<float> scratch;      // rendered frames before they are mixed

 private:
  Factory factory_;
  std::unique_ptr<platform::MidiSynth> synth_;
  bool reverb_ = true;
};

// A MIDI song's own state: its time line and how far it has played.
class MidiSongData {
 public:
  MidiSequence sequence;
  size_t next_event = 0;
  uint64_t position_frames = 0;  // frames played since the start point's origin
  int32_t rate = 44100;
  uint32_t time_ms = 0;  // the song time last read

  uint64_t PositionUs() const { return rate > 0 ? position_frames * 1000000u / static_cast<uint64_t>(rate) : 0; }
};

// The MIDI song operations behind the song API.
bool PlayMidiSong(Song& song);
bool StopMidiSong(Song& song);
bool PauseMidiSong(Song& song, bool paused);
bool FreeMidiSong(Song& song);
bool SetMidiSongVolume(Song& song);
int32_t GetMidiSongTime(Song& song);
bool IsMidiSongPlaying(Song& song);
bool SetMidiReverb(SongEngine& engine, uint8_t on);
// Plays the song's events due in the next `frames` frames and mixes what
// the synthesiser renders into the DSP buffer (on the mixer thread).
void RenderMidiSong(Song& song, SongHost& host, void* buffer, int32_t frames);

// Hundredths of a decibel for a library volume 0..255 (0 is silence).
int32_t VolumeToHundredthsDb(int32_t volume);

}  // namespace zv
