#include "audio/library/formats/mod_player.h"

#include <algorithm>
#include <cmath>

#include "audio/library/formats/song_engine.h"
#include "audio/library/formats/song_tables.h"

namespace zv {
namespace {

constexpr int32_t kLastRow = 63;

struct Cell {
  uint8_t note, sample, volume, effect, parameter;
  uint8_t x() const { return parameter >> 4; }
  uint8_t y() const { return parameter & 15; }
};

Cell CellAt(Song& song, int32_t channel) {
  const SongPattern* pattern = song.CurrentPattern();
  if (!pattern || song.row < 0 || song.row >= static_cast<int32_t>(pattern->rows)) return {};
  const size_t at = (static_cast<size_t>(song.row) * static_cast<size_t>(song.channel_count) +
                     static_cast<size_t>(channel)) * 5;
  if (at + 5 > pattern->data.size()) return {};
  const uint8_t* c = &pattern->data[at];
  return {c[0], c[1], c[2], c[3], c[4]};
}

uint32_t ChannelRate(Song& song, const SongChannel& channel) {
  return song.SampleAt(channel.sample)->middle_c_rate;
}

void VolumeSlide(SongVoice& voice, const Cell& cell) {
  if (cell.x())
    voice.volume = std::min(64, voice.volume + cell.x());
  else if (cell.y())
    voice.volume = std::max(0, voice.volume - cell.y());
  voice.flags |= voice_flag::kVolume;
}

void TonePortamento(SongChannel& channel, SongVoice& voice) {
  const int32_t target = static_cast<int32_t>(channel.porta_target);
  const int32_t step = channel.porta_speed * 4;
  if (voice.period < target)
    voice.period = std::min(target, voice.period + step);
  else if (voice.period > target)
    voice.period = std::max(target, voice.period - step);
  voice.flags |= voice_flag::kFrequency;
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
  if (p >= 0)
    voice.volume_delta = std::min(delta, 64 - voice.volume);
  else
    voice.volume_delta = -std::min(delta, voice.volume);
  channel.tremolo_position = song_tables::AdvanceWave(channel.tremolo_position, channel.tremolo_speed);
  voice.flags |= voice_flag::kVolume;
}

// Sends the voice's flags to its library channel.
void ModApplyVoice(Song& song, SongChannel& channel, SongVoice& voice) {
  SongEngine& engine = song.engine;
  SongHost& host = engine.Host();
  if (voice.period + voice.period_delta == 0) voice.flags &= static_cast<uint8_t>(~voice_flag::kFrequency);
  engine.VoiceCulled(song, voice, voice.volume + voice.volume_delta);
  if (voice.spare) return;
  if (voice.flags & voice_flag::kStart) {
    voice.sample = song.SampleAt(channel.sample);
    engine.StartVoice(voice);
  }
  if (voice.flags & voice_flag::kVolume)
    host.SetChannelVolumeAbsolute(voice.handle, ((voice.volume + voice.volume_delta) * song.master_volume) >> 7);
  if (voice.flags & voice_flag::kPan)
    host.SetChannelPanDirect(
        voice.handle, static_cast<int32_t>(static_cast<float>(voice.pan - 128) * song.pan_separation) + 128);
  if (voice.flags & voice_flag::kFrequency)
    host.SetChannelFrequency(voice.handle, 14317056 / (voice.period + voice.period_delta));
  if (voice.flags & voice_flag::kStop) engine.StopVoice(voice);
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

void RowEffect(Song& song, SongChannel& channel, SongVoice& voice, const Cell& cell, bool& jumped) {
  switch (cell.effect) {
    case 0x3:
      if (cell.parameter) channel.porta_speed = cell.parameter;
      channel.porta_target = channel.note_period;
      voice.flags &= static_cast<uint8_t>(~(voice_flag::kStart | voice_flag::kFrequency));
      break;
    case 0x4:
      if (cell.x()) channel.vibrato_speed = cell.x();
      if (cell.y()) channel.vibrato_depth = cell.y();
      break;
    case 0x5:
      channel.porta_target = channel.note_period;
      voice.flags &= static_cast<uint8_t>(~(voice_flag::kStart | voice_flag::kFrequency));
      break;
    case 0x7:
      if (cell.x()) channel.tremolo_speed = cell.x();
      if (cell.y()) channel.tremolo_depth = cell.y();
      voice.flags &= static_cast<uint8_t>(~voice_flag::kVolume);
      break;
    case 0x8:
      voice.pan = cell.parameter * 2;
      voice.flags |= voice_flag::kPan;
      break;
    case 0x9: {
      if (cell.parameter) channel.offset_memory = cell.parameter;
      const int32_t offset = channel.offset_memory * 256;
      const SongSample* sample = song.SampleAt(channel.sample);
      if (offset < sample->loop_start + sample->loop_length) {
        if (!voice.spare) song.engine.Host().SetChannelStartOffset(voice.channel_index, offset);
      } else {
        voice.flags &= static_cast<uint8_t>(~voice_flag::kStart);
        voice.flags |= voice_flag::kStop;
      }
      break;
    }
    case 0xB:
      song.next_order = cell.parameter >= song.order_count ? song.EndOfOrders(0, false) : cell.parameter;
      song.next_row = 0;
      jumped = true;
      break;
    case 0xC:
      voice.volume = cell.parameter;
      break;
    case 0xD: {
      const int32_t row = cell.x() * 10 + cell.y();
      song.next_row = row > kLastRow ? 0 : row;
      if (!jumped) {
        song.next_order = song.order + 1;
        if (song.next_order >= song.order_count) song.next_order = song.EndOfOrders(0, false);
      }
      break;
    }
    case 0xE:
      switch (cell.x()) {
        case 0x1:
          voice.period -= cell.y() * 4;
          break;
        case 0x2:
          voice.period += cell.y() * 4;
          break;
        case 0x4:
          channel.waveforms = static_cast<uint8_t>((channel.waveforms & 0xF0) | cell.y());
          break;
        case 0x5: {
          SongSample* sample = song.SampleAt(channel.sample);
          if (sample != &InvalidSongSample()) sample->middle_c_rate = FinetuneToC2Spd(cell.y());
          break;
        }
        case 0x6:
          if (cell.y() == 0) {
            channel.loop_row = static_cast<uint32_t>(song.row);
          } else {
            channel.loop_count = channel.loop_count == 0 ? cell.y() : channel.loop_count - 1;
            if (channel.loop_count != 0) song.row = static_cast<int32_t>(channel.loop_row) - 1;
          }
          break;
        case 0x7:
          channel.waveforms = static_cast<uint8_t>((channel.waveforms & 0x0F) | (cell.y() << 4));
          break;
        case 0x8:
          voice.pan = cell.y() * 16;
          voice.flags |= voice_flag::kPan;
          break;
        case 0xA:
          voice.volume = std::min(64, voice.volume + cell.y());
          break;
        case 0xB:
          voice.volume = std::max(0, voice.volume - cell.y());
          break;
        case 0xD:
          voice.volume = channel.saved_volume;
          voice.period = channel.saved_period;
          voice.flags &= static_cast<uint8_t>(~(voice_flag::kFrequency | voice_flag::kVolume | voice_flag::kStart));
          break;
        case 0xE:
          song.pattern_delay = cell.y() * song.speed;
          break;
        default:
          break;
      }
      break;
    case 0xF:
      if (cell.parameter < 32)
        song.speed = cell.parameter;
      else
        song.engine.SetSongTempo(song, cell.parameter);
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
  song.next_row = -1;
  song.next_order = -1;
  bool jumped = false;
  for (int32_t c = 0; c < static_cast<int32_t>(song.channels.size()); ++c) {
    SongChannel& channel = song.channels[static_cast<size_t>(c)];
    const Cell cell = CellAt(song, c);
    if (cell.sample) {
      channel.sample = static_cast<uint8_t>(cell.sample - 1);
      if (cell.sample == song.rings[song_ring::kInstrument].instrument)
        engine.QueueSongEvent(song, song_ring::kInstrument, cell.sample);
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
    if (cell.sample) voice->volume = sample->default_volume;
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
    const Cell cell = CellAt(song, c);
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
            voice->period_delta = static_cast<int32_t>(ModNotePeriod(channel.note + cell.x(), rate)) - base;
          else if (t % 3 == 2)
            voice->period_delta = static_cast<int32_t>(ModNotePeriod(channel.note + cell.y(), rate)) - base;
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
        TonePortamento(channel, *voice);
        break;
      case 0x4:
        Vibrato(song, channel, *voice);
        break;
      case 0x5:
        TonePortamento(channel, *voice);
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
        if (cell.x() == 0x9) {
          if (cell.y() && t % cell.y() == 0) voice->flags |= voice_flag::kStart;
        } else if (cell.x() == 0xC) {
          if (t == cell.y()) {
            voice->volume = 0;
            voice->flags |= voice_flag::kVolume;
          }
        } else if (cell.x() == 0xD) {
          if (t == cell.y()) {
            voice = &VoiceForNote(song, channel);
            if (cell.sample) {
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

void ModTick(Song& song) {
  SongEngine& engine = song.engine;
  if (song.tick == 0) {
    const bool order_set = song.next_order >= 0;
    const bool row_set = song.next_row >= 0;
    if (order_set) song.order = song.next_order;
    if (row_set) song.row = song.next_row;
    if (order_set && !song.EnterOrder()) return;
    if (order_set) engine.QueueSongEvent(song, song_ring::kOrder, static_cast<uint8_t>(song.order));
    if (row_set) engine.QueueSongEvent(song, song_ring::kRow, static_cast<uint8_t>(song.row));
    ModRowStart(song);
    if (song.next_row == -1) {
      song.next_row = song.row + 1;
      if (song.next_row > kLastRow) {
        song.next_order = song.order + 1;
        if (song.next_order >= song.order_count) song.next_order = song.EndOfOrders(song.restart_order, true);
        song.next_row = 0;
      }
    }
  } else {
    ModTickEffects(song);
  }
  ++song.tick;
  if (song.tick >= song.speed + song.pattern_delay) {
    song.tick = 0;
    song.pattern_delay = 0;
  }
}

}  // namespace zv
