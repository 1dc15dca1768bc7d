#include "audio/library/formats/s3m_player.h"

#include <algorithm>

#include "audio/library/formats/song_effects.h"
#include "audio/library/formats/song_engine.h"
#include "audio/library/formats/song_tables.h"
#include "audio/library/formats/song_tick_driver.h"

namespace zv {
namespace {

using song_effects::Remember;
using song_effects::RetriggerVolume;
using song_effects::TonePortamento;
using song_effects::TremorStep;

// Effects by letter: A is 1 .. Z is 26.
constexpr uint8_t Fx(char letter) { return static_cast<uint8_t>(letter - 'A' + 1); }
constexpr uint8_t kAllButPan = voice_flag::kFrequency | voice_flag::kVolume | voice_flag::kStart;

bool FastSlides(const Song& song) { return (song.format_flags & 1) != 0; }

void NormalSlide(SongVoice& voice, uint8_t p) {
  const int hi = p >> 4, lo = p & 15;
  if (lo == 0)
    voice.volume += hi;
  else if (hi == 0)
    voice.volume -= lo;
  voice.volume = std::clamp(voice.volume, 0, 64);
  voice.flags |= voice_flag::kVolume;
}

void Vibrato(Song& song, SongChannel& channel, SongVoice& voice, bool fine) {
  const int32_t p = channel.vibrato_position;
  const int32_t value = song_tables::WaveValue(channel.waveforms & 15, p, song.engine.Random());
  int32_t delta = (value * channel.vibrato_depth) >> 7;
  if (!fine) delta *= 4;
  voice.period_delta = p < 0 ? -delta : delta;
  channel.vibrato_position = song_tables::AdvanceWave(channel.vibrato_position, channel.vibrato_speed);
  voice.flags |= voice_flag::kFrequency;
}

void Tremolo(Song& song, SongChannel& channel, SongVoice& voice) {
  const int32_t p = channel.tremolo_position;
  const int32_t value = song_tables::WaveValue(channel.waveforms >> 4, p, song.engine.Random());
  const int32_t delta = (value * channel.tremolo_depth) >> 6;
  voice.volume_delta = song_effects::TremoloDelta(delta, p, voice.volume);
  channel.tremolo_position = song_tables::AdvanceWave(channel.tremolo_position, channel.tremolo_speed);
  voice.flags |= voice_flag::kVolume;
}

uint32_t NotePeriod(int32_t note, uint32_t rate) {
  const auto period = static_cast<uint32_t>(song_tables::S3mPeriod(note));
  return rate ? period * 8363u / rate : period;
}

void ApplyVoice(Song& song, SongVoice& voice) {
  if (!song_effects::VoiceSends(song, voice, voice.volume + voice.volume_delta)) return;
  if (voice.flags & voice_flag::kStart) song.engine.StartVoice(voice);
  song_effects::SendPlainVoice(
      song, voice, ((voice.volume + voice.volume_delta) * song.global_volume * song.master_volume) >> 13);
}

void ApplyChannel(Song& song, SongChannel& channel) {
  if (channel.voices.empty()) return ApplyVoice(song, song.engine.SpareVoice());
  for (SongVoice* voice : channel.voices) ApplyVoice(song, *voice);
}

SongVoice& VoiceForNote(Song& song, SongChannel& channel) {
  if (channel.voices.empty() && !song.engine.AttachSongVoice(song, channel)) return song.engine.SpareVoice();
  return *channel.voices.front();
}

void ResetWaves(SongChannel& channel) {
  if ((channel.waveforms & 15) < 4) channel.vibrato_position = 0;
  if ((channel.waveforms >> 4) < 4) channel.tremolo_position = 0;
}

void RowEffect(Song& song, int32_t c, SongChannel& channel, SongVoice& voice, const SongCell& cell, bool& jumped) {
  const uint8_t p = cell.parameter;
  switch (cell.effect) {
    case Fx('A'):
      song.speed = p;
      break;
    case Fx('B'):
      song.next_order = p >= song.order_count ? song.EndOfOrders(0, false) : p;
      song.next_row = 0;
      jumped = true;
      break;
    case Fx('C'): {
      const int32_t row = cell.hi() * 10 + cell.lo();
      song.next_row = row > 63 ? 0 : row;
      if (!jumped) song.next_order = song.order + 1;
      if (song.next_order >= song.order_count) song.next_order = song.EndOfOrders(0, false);
      break;
    }
    case Fx('D'): {
      const uint8_t m = Remember(channel.volume_slide_memory, p);
      if ((m & 15) == 15)
        voice.volume += m >> 4;
      else if ((m >> 4) == 15)
        voice.volume -= m & 15;
      voice.volume = std::clamp(voice.volume, 0, 64);
      if (FastSlides(song)) NormalSlide(voice, m);
      voice.flags |= voice_flag::kVolume;
      break;
    }
    case Fx('E'):
    case Fx('F'): {
      const uint8_t m = Remember(channel.portamento_memory, p);
      const int32_t sign = cell.effect == Fx('E') ? 1 : -1;
      if ((m >> 4) == 15)
        voice.period += sign * (m & 15) * 4;
      else if ((m >> 4) == 14)
        voice.period += sign * (m & 15);
      break;
    }
    case Fx('G'):
      if (p) channel.porta_speed = p;
      channel.porta_target = channel.note_period;
      voice.flags &= static_cast<uint8_t>(~(voice_flag::kStart | voice_flag::kFrequency));
      break;
    case Fx('H'):
    case Fx('U'):
      if (cell.hi()) channel.vibrato_speed = cell.hi();
      if (cell.lo()) channel.vibrato_depth = cell.lo();
      break;
    case Fx('I'):
      if (p) song_effects::SetTremor(channel, p);
      TremorStep(channel, voice);
      break;
    case Fx('J'):
      Remember(channel.arpeggio_memory, p);
      break;
    case Fx('K'):
      Remember(channel.volume_slide_memory, p);
      break;
    case Fx('L'):
      Remember(channel.volume_slide_memory, p);
      channel.porta_target = channel.note_period;
      voice.flags &= static_cast<uint8_t>(~(voice_flag::kStart | voice_flag::kFrequency));
      break;
    case Fx('O'):
      song_effects::StartAtOffset(song, voice, *song.SampleAt(channel.instrument), p * 256);
      break;
    case Fx('Q'):
      if (p) {
        channel.retrigger_volume = cell.hi();
        channel.retrigger_interval = cell.lo();
      }
      break;
    case Fx('R'):
      if (cell.hi()) channel.tremolo_speed = cell.hi();
      if (cell.lo()) channel.tremolo_depth = cell.lo();
      break;
    case Fx('S'):
      switch (cell.hi()) {
        case 0x2: {
          SongSample* sample = song.SampleAt(channel.instrument);
          if (sample != &InvalidSongSample()) sample->middle_c_rate = FinetuneToC2Spd(cell.lo());
          break;
        }
        case 0x3:
          song_effects::SetVibratoWaveform(channel, cell.lo());
          break;
        case 0x4:
          song_effects::SetTremoloWaveform(channel, cell.lo());
          break;
        case 0x8:
          song_effects::SetCoarsePan(voice, cell.lo());
          break;
        case 0xA:
          voice.pan = (cell.lo() > 7 ? cell.lo() - 8 : cell.lo() + 8) * 16;
          voice.flags |= voice_flag::kPan;
          break;
        case 0xB:
          if (song_effects::PatternLoop(channel, song.row, cell.lo()))
            song.row = static_cast<int32_t>(channel.loop_row) - 1;
          break;
        case 0xD:
          voice.volume = channel.saved_volume;
          voice.period = channel.saved_period;
          voice.flags &= static_cast<uint8_t>(~kAllButPan);
          break;
        case 0xE:
          song.pattern_delay = cell.lo() * song.speed;
          break;
        default:
          break;
      }
      break;
    case Fx('T'):
      if (p >= 32) song.engine.SetSongTempo(song, p);
      break;
    case Fx('V'):
      song.global_volume = std::min<int32_t>(p, 64);
      break;
    case Fx('X'):
      voice.pan = p * 2;
      voice.flags |= voice_flag::kPan;
      break;
    case Fx('Z'):
      song.engine.QueueSongEvent(song, song_ring::kZxx, p);
      break;
    default:
      break;
  }
  (void)c;
}

void TickEffect(Song& song, int32_t c, SongChannel& channel, SongVoice*& voice, const SongCell& cell) {
  const int32_t t = song.tick;
  switch (cell.effect) {
    case Fx('D'):
      NormalSlide(*voice, channel.volume_slide_memory);
      break;
    case Fx('E'):
      if (channel.portamento_memory < 0xE0) {
        voice->period += channel.portamento_memory * 4;
        voice->flags |= voice_flag::kFrequency;
      }
      break;
    case Fx('F'):
      if (channel.portamento_memory < 0xE0) {
        voice->period -= channel.portamento_memory * 4;
        if (voice->period < 1)
          voice->flags |= voice_flag::kStop;
        else
          voice->flags |= voice_flag::kFrequency;
      }
      break;
    case Fx('G'):
      TonePortamento(channel, *voice);
      break;
    case Fx('H'):
      Vibrato(song, channel, *voice, false);
      break;
    case Fx('U'):
      Vibrato(song, channel, *voice, true);
      break;
    case Fx('I'):
      TremorStep(channel, *voice);
      break;
    case Fx('J'): {
      const uint8_t m = channel.arpeggio_memory;
      if (m) {
        const int32_t base = song_tables::S3mPeriod(channel.note);
        if (t % 3 == 1)
          voice->period_delta = song_tables::S3mPeriod(channel.note + (m >> 4)) - base;
        else if (t % 3 == 2)
          voice->period_delta = song_tables::S3mPeriod(channel.note + (m & 15)) - base;
        voice->flags |= voice_flag::kFrequency;
      }
      break;
    }
    case Fx('K'):
      Vibrato(song, channel, *voice, false);
      NormalSlide(*voice, channel.volume_slide_memory);
      break;
    case Fx('L'):
      TonePortamento(channel, *voice);
      NormalSlide(*voice, channel.volume_slide_memory);
      break;
    case Fx('Q'):
      if (channel.retrigger_interval && t % channel.retrigger_interval == 0) {
        voice->volume = std::clamp(RetriggerVolume(voice->volume, channel.retrigger_volume), 0, 64);
        voice->pan = song.default_pan[static_cast<size_t>(c)];
        voice->period = static_cast<int32_t>(channel.note_period);
        voice->period_delta = 0;
        voice->flags |= voice_flag::kVolume | voice_flag::kPan | voice_flag::kFrequency | voice_flag::kStart;
      }
      break;
    case Fx('R'):
      Tremolo(song, channel, *voice);
      break;
    case Fx('S'):
      if (cell.hi() == 0xC) {
        if (t == cell.lo()) {
          voice->volume = 0;
          voice->flags |= voice_flag::kVolume;
        }
      } else if (cell.hi() == 0xD) {
        if (t == cell.lo()) {
          voice = &VoiceForNote(song, channel);
          voice->sample = song.SampleAt(channel.instrument);
          if (cell.instrument) {
            voice->volume = voice->sample->default_volume;
            ResetWaves(channel);
            channel.tremor_counter = 0;
          }
          voice->pan = song.default_pan[static_cast<size_t>(c)];
          voice->period = static_cast<int32_t>(channel.note_period);
          voice->period_delta = 0;
          if (cell.volume) voice->volume = cell.volume - 1;
          voice->flags |= voice_flag::kFrequency | voice_flag::kVolume | voice_flag::kStart;
        } else {
          voice->flags &= static_cast<uint8_t>(~kAllButPan);
        }
      }
      break;
    default:
      break;
  }
}

void S3mRow(Song& song) {
  SongEngine& engine = song.engine;
  bool jumped = false;
  for (int32_t c = 0; c < static_cast<int32_t>(song.channels.size()); ++c) {
    SongChannel& channel = song.channels[static_cast<size_t>(c)];
    const SongCell cell = CellOf(song, c);
    SongVoice* voice = &engine.CurrentVoice(channel);
    if (cell.instrument) {
      channel.instrument = static_cast<uint8_t>(cell.instrument - 1);
      if (cell.instrument == song.rings[song_ring::kInstrument].instrument)
        engine.QueueSongEvent(song, song_ring::kInstrument, cell.instrument);
    }
    const bool note = cell.note >= 1 && cell.note <= 254;
    if (note) channel.note = static_cast<uint8_t>(cell.note - 1);
    SongSample* sample = song.SampleAt(channel.instrument);
    channel.saved_volume = voice->volume;
    channel.saved_period = voice->period;
    if (channel.last_effect == Fx('R') && cell.effect != Fx('R')) voice->volume += voice->volume_delta;
    channel.last_effect = cell.effect;
    voice->volume_delta = 0;
    voice->flags = 0;
    if (note) {
      voice = &VoiceForNote(song, channel);
      channel.note_period = NotePeriod(channel.note, sample->middle_c_rate);
      voice->pan = song.default_pan[static_cast<size_t>(c)];
      voice->sample = sample;
      if (cell.effect != Fx('G') && cell.effect != Fx('L')) voice->period = static_cast<int32_t>(channel.note_period);
      voice->flags = voice_flag::kStart;
    }
    if (cell.instrument) {
      voice->volume = sample->default_volume;
      channel.tremor_counter = 0;
      ResetWaves(channel);
    }
    voice->period_delta = 0;
    voice->flags |= voice_flag::kFrequency | voice_flag::kVolume | voice_flag::kPan;
    if (cell.volume) voice->volume = cell.volume - 1;
    if (cell.note == 255) voice->volume = 0;
    RowEffect(song, c, channel, *voice, cell, jumped);
    ApplyChannel(song, channel);
  }
}

void S3mEffects(Song& song) {
  SongEngine& engine = song.engine;
  for (int32_t c = 0; c < static_cast<int32_t>(song.channels.size()); ++c) {
    SongChannel& channel = song.channels[static_cast<size_t>(c)];
    const SongCell cell = CellOf(song, c);
    SongVoice* voice = &engine.CurrentVoice(channel);
    voice->volume_delta = 0;
    voice->period_delta = 0;
    voice->flags = 0;
    TickEffect(song, c, channel, voice, cell);
    ApplyChannel(song, channel);
  }
}

}  // namespace

void S3mTick(Song& song) { RunSongTick(song, S3mRow, S3mEffects); }

}  // namespace zv
