#include "audio/library/formats/mod_player.h"

#include <algorithm>
#include <cmath>

#include "audio/library/formats/song_effects.h"
#include "audio/library/formats/song_engine.h"
#include "audio/library/formats/song_tables.h"
#include "audio/library/formats/song_tick_driver.h"

namespace zv {
namespace {

constexpr int32_t kLastRow = 63;

uint32_t ChannelRate(Song& song, const SongChannel& channel) {
  return song.SampleAt(channel.sample)->middle_c_rate;
}

void VolumeSlide(SongVoice& voice, const SongCell& cell) {
  if (cell.hi())
    voice.volume = std::min(64, voice.volume + cell.hi());
  else if (cell.lo())
    voice.volume = std::max(0, voice.volume - cell.lo());
  voice.flags |= voice_flag::kVolume;
}

void Vibrato(Song& song, SongChannel& channel, SongVoice& voice) {
  const int32_t p = channel.vibrato_position;
  const int32_t value = song_tables::WaveValue(channel.waveforms & 15, p, song.engine.Random());
  int32_t delta = ((value * channel.vibrato_depth) / 128) * 4;
  if (p < 0) delta = -delta;
  voice.period_delta = delta;
  channel.vibrato_position = song_tables::AdvanceWave(channel.vibrato_position, channel.vibrato_speed);
  voice.flags |= voice_flag::kFrequency;
}

void Tremolo(Song& song, SongChannel& channel, SongVoice& voice) {
  const int32_t p = channel.tremolo_position;
  int32_t waveform = channel.waveforms >> 4;
  if ((waveform & 3) == 3) waveform = 0;
  const int32_t value = song_tables::WaveValue(waveform, p, song.engine.Random());
  const int32_t delta = (value * channel.tremolo_depth) / 64;
  voice.volume_delta = song_effects::TremoloDelta(delta, p, voice.volume);
  channel.tremolo_position = song_tables::AdvanceWave(channel.tremolo_position, channel.tremolo_speed);
  voice.flags |= voice_flag::kVolume;
}

// Sends the voice's flags to its library channel; a MOD voice takes its
// sample from the channel when it starts.
void ModApplyVoice(Song& song, SongChannel& channel, SongVoice& voice) {
  if (!song_effects::VoiceSends(song, voice, voice.volume + voice.volume_delta)) return;
  if (voice.flags & voice_flag::kStart) {
    voice.sample = song.SampleAt(channel.sample);
    song.engine.StartVoice(voice);
  }
  song_effects::SendPlainVoice(song, voice, ((voice.volume + voice.volume_delta) * song.master_volume) >> 7);
}

void ApplyChannel(Song& song, SongChannel& channel) {
  if (channel.voices.empty()) {
    ModApplyVoice(song, channel, song.engine.SpareVoice());
    return;
  }
  for (SongVoice* voice : channel.voices) ModApplyVoice(song, channel, *voice);
}

SongVoice& VoiceForNote(Song& song, SongChannel& channel) {
  if (channel.voices.empty()) {
    SongVoice* voice = song.engine.AttachSongVoice(song, channel);
    if (!voice) return song.engine.SpareVoice();
  }
  return *channel.voices.front();
}

void RowEffect(Song& song, SongChannel& channel, SongVoice& voice, const SongCell& cell, bool& jumped) {
  switch (cell.effect) {
    case 0x3:
      if (cell.parameter) channel.porta_speed = cell.parameter;
      channel.porta_target = channel.note_period;
      voice.flags &= static_cast<uint8_t>(~(voice_flag::kStart | voice_flag::kFrequency));
      break;
    case 0x4:
      if (cell.hi()) channel.vibrato_speed = cell.hi();
      if (cell.lo()) channel.vibrato_depth = cell.lo();
      break;
    case 0x5:
      channel.porta_target = channel.note_period;
      voice.flags &= static_cast<uint8_t>(~(voice_flag::kStart | voice_flag::kFrequency));
      break;
    case 0x7:
      if (cell.hi()) channel.tremolo_speed = cell.hi();
      if (cell.lo()) channel.tremolo_depth = cell.lo();
      voice.flags &= static_cast<uint8_t>(~voice_flag::kVolume);
      break;
    case 0x8:
      voice.pan = cell.parameter * 2;
      voice.flags |= voice_flag::kPan;
      break;
    case 0x9:
      if (cell.parameter) channel.offset_memory = cell.parameter;
      song_effects::StartAtOffset(song, voice, *song.SampleAt(channel.sample), channel.offset_memory * 256);
      break;
    case 0xB:
      song.next_order = cell.parameter >= song.order_count ? song.EndOfOrders(0, false) : cell.parameter;
      song.next_row = 0;
      jumped = true;
      break;
    case 0xC:
      voice.volume = cell.parameter;
      break;
    case 0xD: {
      const int32_t row = cell.hi() * 10 + cell.lo();
      song.next_row = row > kLastRow ? 0 : row;
      if (!jumped) {
        song.next_order = song.order + 1;
        if (song.next_order >= song.order_count) song.next_order = song.EndOfOrders(0, false);
      }
      break;
    }
    case 0xE:
      switch (cell.hi()) {
        case 0x1:
          voice.period -= cell.lo() * 4;
          break;
        case 0x2:
          voice.period += cell.lo() * 4;
          break;
        case 0x5: {
          SongSample* sample = song.SampleAt(channel.sample);
          if (sample != &InvalidSongSample()) sample->middle_c_rate = FinetuneToC2Spd(cell.lo());
          break;
        }
        case 0xA:
          voice.volume = std::min(64, voice.volume + cell.lo());
          break;
        case 0xB:
          voice.volume = std::max(0, voice.volume - cell.lo());
          break;
        case 0xD:
          voice.volume = channel.saved_volume;
          voice.period = channel.saved_period;
          voice.flags &= static_cast<uint8_t>(~(voice_flag::kFrequency | voice_flag::kVolume | voice_flag::kStart));
          break;
        default:
          song_effects::CommonExtendedEffect(song, channel, voice, cell.hi(), cell.lo());
          break;
      }
      break;
    case 0xF:
      song_effects::SetSpeedOrTempo(song, cell.parameter);
      break;
    default:
      break;
  }
}

}  // namespace

uint32_t ModNotePeriod(int32_t note, uint32_t middle_c_rate) {
  const auto period = static_cast<uint32_t>(song_tables::ModPeriod(note));
  if (middle_c_rate == 0) return period;
  return period * 8363u / middle_c_rate;
}

void ModRowStart(Song& song) {
  SongEngine& engine = song.engine;
  bool jumped = false;
  for (int32_t c = 0; c < static_cast<int32_t>(song.channels.size()); ++c) {
    SongChannel& channel = song.channels[static_cast<size_t>(c)];
    const SongCell cell = CellOf(song, c);
    if (cell.instrument) {
      channel.sample = static_cast<uint8_t>(cell.instrument - 1);
      if (cell.instrument == song.rings[song_ring::kInstrument].instrument)
        engine.QueueSongEvent(song, song_ring::kInstrument, cell.instrument);
    }
    SongVoice* voice = &engine.CurrentVoice(channel);
    channel.saved_volume = voice->volume;
    channel.saved_period = voice->period;
    if (channel.last_effect == 0x7 && cell.effect != 0x7) voice->volume += voice->volume_delta;
    channel.last_effect = cell.effect;
    voice->volume_delta = 0;
    voice->flags = 0;
    const SongSample* sample = song.SampleAt(channel.sample);
    if (cell.note) {
      voice = &VoiceForNote(song, channel);
      channel.note = cell.note;
      channel.note_period = ModNotePeriod(cell.note, sample->middle_c_rate);
      voice->pan = song.default_pan[static_cast<size_t>(c)];
      if ((channel.waveforms & 0x0F) < 4) channel.vibrato_position = 0;
      if ((channel.waveforms >> 4) < 4) channel.tremolo_position = 0;
      if (cell.effect != 0x3 && cell.effect != 0x5) voice->period = static_cast<int32_t>(channel.note_period);
      voice->flags = voice_flag::kStart;
    }
    if (cell.instrument) voice->volume = sample->default_volume;
    voice->period_delta = 0;
    voice->flags |= voice_flag::kFrequency | voice_flag::kVolume | voice_flag::kPan;
    RowEffect(song, channel, *voice, cell, jumped);
    ApplyChannel(song, channel);
  }
}

void ModTickEffects(Song& song) {
  SongEngine& engine = song.engine;
  const int32_t t = song.tick;
  for (int32_t c = 0; c < static_cast<int32_t>(song.channels.size()); ++c) {
    SongChannel& channel = song.channels[static_cast<size_t>(c)];
    const SongCell cell = CellOf(song, c);
    SongVoice* voice = &engine.CurrentVoice(channel);
    voice->volume_delta = 0;
    voice->period_delta = 0;
    voice->flags = 0;
    switch (cell.effect) {
      case 0x0:
        if (cell.parameter) {
          const uint32_t rate = ChannelRate(song, channel);
          const int32_t base = static_cast<int32_t>(ModNotePeriod(channel.note, rate));
          if (t % 3 == 1)
            voice->period_delta = static_cast<int32_t>(ModNotePeriod(channel.note + cell.hi(), rate)) - base;
          else if (t % 3 == 2)
            voice->period_delta = static_cast<int32_t>(ModNotePeriod(channel.note + cell.lo(), rate)) - base;
          voice->flags |= voice_flag::kFrequency;
        }
        break;
      case 0x1:
        voice->period = std::max(56, voice->period - cell.parameter * 4);
        voice->flags |= voice_flag::kFrequency;
        break;
      case 0x2:
        voice->period += cell.parameter * 4;
        voice->flags |= voice_flag::kFrequency;
        break;
      case 0x3:
        song_effects::TonePortamento(channel, *voice);
        break;
      case 0x4:
        Vibrato(song, channel, *voice);
        break;
      case 0x5:
        song_effects::TonePortamento(channel, *voice);
        VolumeSlide(*voice, cell);
        break;
      case 0x6:
        Vibrato(song, channel, *voice);
        VolumeSlide(*voice, cell);
        break;
      case 0x7:
        Tremolo(song, channel, *voice);
        break;
      case 0xA:
        VolumeSlide(*voice, cell);
        break;
      case 0xE:
        if (cell.hi() == 0x9) {
          // The library starts the sample at its own pitch and volume: the
          // note's go with it.
          if (cell.lo() && t % cell.lo() == 0)
            voice->flags |= voice_flag::kStart | voice_flag::kFrequency | voice_flag::kVolume;
        } else if (cell.hi() == 0xC) {
          if (t == cell.lo()) {
            voice->volume = 0;
            voice->flags |= voice_flag::kVolume;
          }
        } else if (cell.hi() == 0xD) {
          if (t == cell.lo()) {
            voice = &VoiceForNote(song, channel);
            if (cell.instrument) {
              voice->volume = song.SampleAt(channel.sample)->default_volume;
              voice->flags |= voice_flag::kVolume;
            }
            voice->pan = song.default_pan[static_cast<size_t>(c)];
            voice->period = static_cast<int32_t>(channel.note_period);
            voice->flags |= voice_flag::kFrequency | voice_flag::kStart | voice_flag::kPan;
          } else {
            voice->flags &=
                static_cast<uint8_t>(~(voice_flag::kFrequency | voice_flag::kVolume | voice_flag::kStart));
          }
        }
        break;
      default:
        break;
    }
    ApplyChannel(song, channel);
  }
}

void ModTick(Song& song) { RunSongTick(song, ModRowStart, ModTickEffects); }

}  // namespace zv
