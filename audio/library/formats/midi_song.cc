#include "audio/library/formats/midi_song.h"

#include <algorithm>
#include <cmath>

#include "audio/library/formats/song_engine.h"
#include "audio/library/formats/song_reader.h"

namespace zv {
namespace {

constexpr int32_t kMidiInitialTempo = 125;
constexpr int32_t kRenderPiece = 64;  // frames between looks at the event list

MidiSynthesizer* SynthOf(Song& song) { return song.engine.Midi(); }

// The checks every song operation makes: the synthesiser is running and
// the song has MIDI data.
MidiSongData* Checked(Song& song) {
  MidiSynthesizer* midi = SynthOf(song);
  if (!midi || !midi->Started()) {
    song.engine.SetError(song_error::kNotInitialised);
    return nullptr;
  }
  if (!song.midi) {
    song.engine.SetError(song_error::kNoData);
    return nullptr;
  }
  return song.midi.get();
}

void Send(platform::MidiSynth& synth, const MidiSequence& sequence, const MidiEvent& e) {
  const int channel = e.status & 15;
  switch (e.status & 0xF0) {
    case 0x80:
      synth.NoteOff(channel, e.data1);
      break;
    case 0x90:
      synth.NoteOn(channel, e.data1, e.data2);
      break;
    case 0xA0:
      synth.KeyPressure(channel, e.data1, e.data2);
      break;
    case 0xB0:
      synth.ControlChange(channel, e.data1, e.data2);
      break;
    case 0xC0:
      synth.ProgramChange(channel, e.data1);
      break;
    case 0xD0:
      synth.ChannelPressure(channel, e.data1);
      break;
    case 0xE0:
      synth.PitchBend(channel, e.data1 | (e.data2 << 7));
      break;
    case 0xF0:
      if (static_cast<size_t>(e.sysex_offset) + e.sysex_length <= sequence.sysex.size())
        synth.SysEx(sequence.sysex.data() + e.sysex_offset, e.sysex_length);
      break;
    default:
      break;
  }
}

// Starts the song on the synthesiser at its start point: the synthesiser
// is reset and every setting before the point is sent again, so a resumed
// song sounds with its programs and controllers but without old notes.
void StartAtPoint(MidiSynthesizer& midi, MidiSongData& data) {
  platform::MidiSynth& synth = *midi.Synth();
  synth.Reset();
  const uint64_t point = data.PositionUs();
  size_t i = 0;
  for (; i < data.sequence.events.size() && data.sequence.events[i].time_us < point; ++i) {
    const MidiEvent& e = data.sequence.events[i];
    const uint8_t kind = e.status & 0xF0;
    if (kind != 0x80 && kind != 0x90 && kind != 0xA0) Send(synth, data.sequence, e);
  }
  data.next_event = i;
  midi.active = &data;
}

}  // namespace

int32_t VolumeToHundredthsDb(int32_t volume) {
  volume = std::clamp(volume, 0, 255);
  if (volume == 0) return -10000;
  // About 10 dB per halving of the level, as the library's volume table.
  const double db100 = 1000.0 * std::log2(volume / 255.0);
  return std::max(-10000, static_cast<int32_t>(std::lround(db100)));
}

bool MidiSynthesizer::Start(int32_t sample_rate) {
  if (synth_ && synth_->SampleRate() == sample_rate) return true;
  active = nullptr;
  synth_ = factory_ ? factory_(sample_rate) : nullptr;
  if (synth_) synth_->SetReverb(reverb_);
  return synth_ != nullptr;
}

void MidiSynthesizer::Shutdown() {
  if (synth_) synth_->AllSoundOff();
  active = nullptr;
  synth_.reset();
}

void MidiSynthesizer::SetReverb(bool on) {
  reverb_ = on;
  if (synth_) synth_->SetReverb(on);
}

bool LoadMidiSong(Song& song, const std::string& name, std::span<const uint8_t> image) {
  SongEngine& engine = song.engine;
  SongReader in(image);
  if (!in.Matches(0, "MThd") && !in.Matches(0, "RIFF")) {
    engine.SetError(song_error::kBadFormat);
    return false;
  }
  // Of RIFF files only RIFF MIDI holds a song we can play.
  const std::span<const uint8_t> smf = FindStandardMidiFile(image);
  if (smf.empty()) {
    engine.SetError(song_error::kBadFormat);
    return false;
  }
  MidiSynthesizer* midi = engine.Midi();
  if (!midi || !midi->Start(engine.Host().MixRate())) return false;
  auto data = std::make_unique<MidiSongData>();
  if (!ParseMidiFile(smf, data->sequence)) {
    engine.SetError(song_error::kBadFormat);
    return false;
  }
  data->rate = engine.Host().MixRate();
  song.cut = data->sequence.cut;
  song.midi = std::move(data);
  song.name = name.substr(0, 255);
  song.format = SongFormat::kMidi;
  song.initial_tempo = kMidiInitialTempo;
  return true;
}

bool PlayMidiSong(Song& song) {
  MidiSynthesizer* midi = SynthOf(song);
  if (midi && !midi->Start(song.engine.Host().MixRate())) midi = nullptr;
  MidiSongData* data = Checked(song);
  if (!data) return false;
  data->rate = song.engine.Host().MixRate();
  StartAtPoint(*midi, *data);
  SetMidiSongVolume(song);
  return true;
}

bool StopMidiSong(Song& song) {
  MidiSongData* data = Checked(song);
  if (!data) return false;
  MidiSynthesizer& midi = *SynthOf(song);
  if (midi.active == data) {
    midi.Synth()->AllSoundOff();
    midi.active = nullptr;
  }
  data->position_frames = 0;
  data->next_event = 0;
  data->time_ms = 0;
  return true;
}

bool PauseMidiSong(Song& song, bool paused) {
  if (!song.playing) return true;
  MidiSongData* data = Checked(song);
  if (!data) return false;
  MidiSynthesizer& midi = *SynthOf(song);
  if (paused) {
    GetMidiSongTime(song);
    if (midi.active == data) {
      midi.Synth()->AllSoundOff();
      midi.active = nullptr;
    }
  } else {
    StartAtPoint(midi, *data);
    SetMidiSongVolume(song);
  }
  return true;
}

bool FreeMidiSong(Song& song) {
  MidiSynthesizer* midi = SynthOf(song);
  if (midi && song.midi && midi->active == song.midi.get()) {
    if (midi->Synth()) midi->Synth()->AllSoundOff();
    midi->active = nullptr;
  }
  song.midi.reset();
  return true;
}

bool SetMidiSongVolume(Song& song) {
  MidiSongData* data = Checked(song);
  if (!data) return false;
  // The synthesiser's gain is the loudness of the song it plays now; a song
  // that does not play takes its own when it starts.
  if (SynthOf(song)->active != data) return true;
  const int32_t db100 = VolumeToHundredthsDb(std::min(song.master_volume, 255));
  const float gain = db100 <= -10000 ? 0.0f : static_cast<float>(std::pow(10.0, db100 / 2000.0));
  SynthOf(song)->Synth()->SetGain(gain);
  return true;
}

int32_t GetMidiSongTime(Song& song) {
  MidiSongData* data = Checked(song);
  if (!data) return -1;
  if (!song.paused && SynthOf(song)->active == data)
    data->time_ms = static_cast<uint32_t>(std::min(data->PositionUs(), data->sequence.length_us) / 1000);
  return static_cast<int32_t>(data->time_ms);
}

bool IsMidiSongPlaying(Song& song) {
  MidiSongData* data = Checked(song);
  if (!data) return false;
  return SynthOf(song)->active == data && data->PositionUs() < data->sequence.length_us;
}

bool SetMidiReverb(SongEngine& engine, uint8_t on) {
  if (MidiSynthesizer* midi = engine.Midi()) midi->SetReverb(on == 1);
  return true;
}

void RenderMidiSong(Song& song, SongHost& host, void* buffer, int32_t frames) {
  MidiSynthesizer* midi = SynthOf(song);
  MidiSongData* data = song.midi.get();
  if (!midi || !data || midi->active != data || !midi->Synth()) return;
  platform::MidiSynth& synth = *midi->Synth();
  const MidiSequence& sequence = data->sequence;
  midi->scratch.resize(static_cast<size_t>(kRenderPiece) * 2);
  int32_t done = 0;
  while (done < frames) {
    const uint64_t now_us = data->PositionUs();
    while (data->next_event < sequence.events.size() && sequence.events[data->next_event].time_us <= now_us)
      Send(synth, sequence, sequence.events[data->next_event++]);
    // Render up to the next event (or a piece), so events land within a
    // few frames of their time.
    int32_t n = std::min(kRenderPiece, frames - done);
    if (data->next_event < sequence.events.size()) {
      const uint64_t due_us = sequence.events[data->next_event].time_us;
      const uint64_t due_frame = (due_us * static_cast<uint64_t>(data->rate) + 999999) / 1000000;
      if (due_frame > data->position_frames)
        n = static_cast<int32_t>(std::min<uint64_t>(static_cast<uint64_t>(n), due_frame - data->position_frames));
    }
    synth.Render(midi->scratch.data(), n);
    host.AddStereoFrames(buffer, done, midi->scratch.data(), n);
    data->position_frames += static_cast<uint64_t>(n);
    done += n;
  }
  song.time_ms += 25;
}

}  // namespace zv
