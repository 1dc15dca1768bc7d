#include "audio/library/formats/xm_player.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

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

// XM effect numbers: 0..9, then A = 10 .. Z = 35.
constexpr uint8_t Fx(char c) { return static_cast<uint8_t>(c <= '9' ? c - '0' : c - 'A' + 10); }
constexpr int kVolumeEnvelope = 0;
constexpr int kPanEnvelope = 1;
constexpr int32_t kFullFade = 65536;

bool Linear(const Song& song) { return (song.format_flags & 1) != 0; }

const SongInstrument& EmptyInstrument() {
  static const SongInstrument empty = [] {
    SongInstrument i;
    i.samples.fill(&InvalidSongSample());
    return i;
  }();
  return empty;
}

const SongInstrument& InstrumentOf(Song& song, const SongChannel& channel) {
  if (!channel.has_instrument || channel.instrument >= song.instruments.size()) return EmptyInstrument();
  return song.instruments[channel.instrument];
}

// The period of a real note with a finetune (Amiga or linear).
int32_t XmPeriod(const Song& song, int32_t note, int32_t finetune) {
  if (Linear(song)) return 7680 - note * 64 - finetune / 2;
  note = std::clamp(note, 0, 131);
  const int32_t here = song_tables::S3mPeriod(note);
  if (finetune >= 0) return here + (song_tables::S3mPeriod(note + 1) - here) * finetune / 128;
  if (note > 0) return here - (here - song_tables::S3mPeriod(note - 1)) * (-finetune) / 128;
  return here;
}

void VolumeSlide(SongVoice& voice, uint8_t p) {
  if (p >> 4)
    voice.volume = std::min(64, voice.volume + (p >> 4));
  else
    voice.volume = std::max(0, voice.volume - (p & 15));
  voice.flags |= voice_flag::kVolume;
}

void VibratoStep(Song& song, SongChannel& channel, SongVoice& voice, int32_t depth) {
  const int32_t p = channel.vibrato_position;
  const int32_t value = song_tables::WaveValue(channel.waveforms & 15, p, song.engine.Random());
  const int32_t delta = ((value * depth) >> 7) * 4;
  voice.period_delta += p < 0 ? delta : -delta;
  voice.flags |= voice_flag::kFrequency;
}

void Tremolo(Song& song, SongChannel& channel, SongVoice& voice) {
  const int32_t p = channel.tremolo_position;
  int32_t waveform = (channel.waveforms >> 4) & 3;
  if (waveform == 3) waveform = 0;
  const int32_t value = song_tables::WaveValue(waveform, p, song.engine.Random());
  const int32_t delta = (value * channel.tremolo_depth) >> 6;
  voice.volume_delta = song_effects::TremoloDelta(delta, p, voice.volume);
  channel.tremolo_position = song_tables::AdvanceWave(channel.tremolo_position, channel.tremolo_speed);
  voice.flags |= voice_flag::kVolume;
}

void AutoVibrato(const SongInstrument& instrument, SongVoice& voice) {
  if (!instrument.vibrato_depth && !instrument.vibrato_rate) return;
  const int32_t pos = voice.autovibrato_position & 255;
  int32_t value;
  switch (instrument.vibrato_type) {
    case 1:
      value = pos < 128 ? 64 : -64;
      break;
    case 2:
      value = (128 - ((pos + 128) & 255)) / 2;
      break;
    case 3:
      value = (128 - ((384 - pos) & 255)) / 2;
      break;
    default:
      value = song_tables::kFineSine[static_cast<size_t>(pos)];
      break;
  }
  value *= instrument.vibrato_depth;
  if (instrument.vibrato_sweep) value = value * voice.autovibrato_sweep / instrument.vibrato_sweep;
  voice.period_delta += value >> 6;
  if (voice.autovibrato_sweep < instrument.vibrato_sweep) ++voice.autovibrato_sweep;
  voice.autovibrato_position = (pos + instrument.vibrato_rate) & 255;
  voice.flags |= voice_flag::kFrequency;
}

void RestartInstrument(SongChannel& channel, SongVoice& voice) {
  voice.volume = voice.sample->default_volume;
  voice.pan = voice.sample->default_pan;
  voice.envelopes[kVolumeEnvelope] = EnvelopeState{};
  voice.envelopes[kVolumeEnvelope].value = 64;
  voice.envelopes[kVolumeEnvelope].value16 = 64 << 16;
  voice.envelopes[kPanEnvelope] = EnvelopeState{};
  voice.envelopes[kPanEnvelope].value = 32;
  voice.envelopes[kPanEnvelope].value16 = 32 << 16;
  voice.key_released = false;
  voice.fade_volume = kFullFade;
  voice.autovibrato_position = 0;
  voice.autovibrato_sweep = 0;
  if ((channel.waveforms & 15) < 4) channel.vibrato_position = 0;
  if ((channel.waveforms >> 4) < 4) channel.tremolo_position = 0;
  channel.tremor_counter = 0;
  voice.flags |= voice_flag::kVolume | voice_flag::kPan;
}

// Step 8 of a row and every tick: envelopes and the fade after a release.
void StepEnvelopes(const SongInstrument& instrument, SongVoice& voice) {
  if (!(instrument.volume_envelope.flags & envelope_flag::kOn)) {
    if (voice.key_released) voice.envelopes[kVolumeEnvelope].value = 0;
  } else if (!voice.envelopes[kVolumeEnvelope].done) {
    StepXmEnvelope(instrument.volume_envelope, voice.envelopes[kVolumeEnvelope], voice.key_released);
  }
  if ((instrument.pan_envelope.flags & envelope_flag::kOn) && !voice.envelopes[kPanEnvelope].done)
    StepXmEnvelope(instrument.pan_envelope, voice.envelopes[kPanEnvelope], voice.key_released);
  if (voice.key_released) {
    voice.fade_volume = std::max(0, voice.fade_volume - instrument.fade_out);
    voice.flags |= voice_flag::kVolume;
  }
  voice.flags |= voice_flag::kVolume | voice_flag::kPan;
}

void SetEnvelopePosition(const SongEnvelope& envelope, EnvelopeState& state, int32_t tick) {
  if (envelope.count == 0) return;
  state.done = false;
  int32_t i = 0;
  while (i + 1 < envelope.count && envelope.points[static_cast<size_t>(i + 1)].tick <= tick) ++i;
  const EnvelopePoint& a = envelope.points[static_cast<size_t>(i)];
  if (i + 1 >= envelope.count) {
    state.point = i;
    state.tick = a.tick;
    state.value16 = a.value << 16;
    state.value = a.value;
    state.delta16 = 0;
    return;
  }
  const EnvelopePoint& b = envelope.points[static_cast<size_t>(i + 1)];
  const int32_t dx = b.tick - a.tick;
  state.delta16 = dx > 0 ? ((b.value - a.value) * 65536) / dx : 0;
  state.point = i + 1;
  state.tick = tick;
  state.value16 = a.value * 65536 + state.delta16 * (tick - a.tick);
  state.value = state.value16 >> 16;
}

void ApplyVoice(Song& song, SongVoice& voice) {
  SongEngine& engine = song.engine;
  SongHost& host = engine.Host();
  if (!song_effects::VoiceSends(song, voice, voice.volume + voice.volume_delta)) return;
  if (voice.flags & voice_flag::kStart) engine.StartVoice(voice);
  if (voice.flags & voice_flag::kVolume) {
    const int64_t v = static_cast<int64_t>(voice.envelopes[kVolumeEnvelope].value) *
                      std::max(0, voice.volume + voice.volume_delta) * voice.fade_volume * song.global_volume *
                      song.master_volume * 255;
    host.SetChannelVolumeAbsolute(voice.handle, static_cast<int32_t>(v >> 43));
  }
  if (voice.flags & voice_flag::kPan) {
    const int32_t p = voice.pan + (voice.envelopes[kPanEnvelope].value - 32) * ((128 - std::abs(voice.pan - 128)) / 32);
    host.SetChannelPanDirect(voice.handle, song_effects::SeparatedPan(song, p));
  }
  if (voice.flags & voice_flag::kFrequency) {
    int32_t hz;
    if (Linear(song))
      hz = static_cast<int32_t>(8363.0 * std::exp2((4608.0 - voice.period + voice.period_delta) / 768.0));
    else
      hz = song_effects::AmigaFrequency(voice.period + voice.period_delta);
    host.SetChannelFrequency(voice.handle, hz);
  }
  if (voice.flags & voice_flag::kStop) engine.StopVoice(voice);
}

void ApplyChannel(Song& song, SongChannel& channel) {
  if (channel.voices.empty()) return ApplyVoice(song, song.engine.SpareVoice());
  for (SongVoice* voice : channel.voices) ApplyVoice(song, *voice);
}

SongVoice& VoiceOf(Song& song, SongChannel& channel) {
  if (channel.voices.empty() && !song.engine.AttachSongVoice(song, channel)) return song.engine.SpareVoice();
  return *channel.voices.front();
}

// The volume column: tick 0's part, or the per-tick part.
void VolumeColumn(Song& song, SongChannel& channel, SongVoice& voice, uint8_t v, bool first_tick) {
  const uint8_t hi = v >> 4, lo = v & 15;
  switch (hi) {
    case 0x1: case 0x2: case 0x3: case 0x4: case 0x5:
      if (first_tick && v <= 0x50) voice.volume = v - 16;
      break;
    case 0x6:
      voice.volume = std::max(0, voice.volume - lo);
      break;
    case 0x7:
      voice.volume = std::min(64, voice.volume + lo);
      break;
    case 0x8:
      if (first_tick) voice.volume = std::max(0, voice.volume - lo);
      break;
    case 0x9:
      if (first_tick) voice.volume = std::min(64, voice.volume + lo);
      break;
    case 0xA:
      if (first_tick) channel.vibrato_speed = lo;
      break;
    case 0xB:
      if (first_tick) {
        channel.vibrato_depth = lo;
      } else {
        VibratoStep(song, channel, voice, lo);
        channel.vibrato_position = song_tables::AdvanceWave(channel.vibrato_position, channel.vibrato_speed);
      }
      break;
    case 0xC:
      if (first_tick) voice.pan = lo * 16;
      break;
    case 0xD:
      voice.pan -= lo;
      break;
    case 0xE:
      voice.pan += lo;
      break;
    case 0xF:
      if (first_tick) {
        if (lo) channel.porta_speed = static_cast<uint8_t>(lo * 16);
        channel.porta_target = channel.note_period;
        voice.flags &= static_cast<uint8_t>(~voice_flag::kStart);
      } else {
        TonePortamento(channel, voice);
      }
      break;
    default:
      break;
  }
  voice.flags |= voice_flag::kVolume | voice_flag::kPan;
}

struct RowState {
  bool jumped = false;
};

void RowEffect(Song& song, SongChannel& channel, SongVoice& voice, const SongCell& cell, RowState& row) {
  const uint8_t p = cell.parameter;
  switch (cell.effect) {
    case Fx('1'):
      Remember(channel.porta_up_memory, p);
      break;
    case Fx('2'):
      Remember(channel.porta_down_memory, p);
      break;
    case Fx('3'):
      if (p) channel.porta_speed = p;
      channel.porta_target = channel.note_period;
      voice.flags &= static_cast<uint8_t>(~voice_flag::kStart);
      break;
    case Fx('4'):
      if (cell.hi()) channel.vibrato_speed = cell.hi();
      if (cell.lo()) channel.vibrato_depth = cell.lo();
      VibratoStep(song, channel, voice, channel.vibrato_depth);
      break;
    case Fx('5'):
      channel.porta_target = channel.note_period;
      Remember(channel.volume_slide_memory, p);
      voice.flags &= static_cast<uint8_t>(~voice_flag::kStart);
      break;
    case Fx('6'):
      Remember(channel.volume_slide_memory, p);
      VibratoStep(song, channel, voice, channel.vibrato_depth);
      break;
    case Fx('7'):
      if (cell.hi()) channel.tremolo_speed = cell.hi();
      if (cell.lo()) channel.tremolo_depth = cell.lo();
      break;
    case Fx('8'):
      voice.pan = p;
      voice.flags |= voice_flag::kPan;
      break;
    case Fx('9'): {
      if (p) channel.offset_memory = p;
      const int32_t offset = channel.offset_memory * 256;
      const SongSample* sample = voice.sample ? voice.sample : &InvalidSongSample();
      if (offset < sample->loop_start + sample->loop_length) {
        if (!voice.spare) song.engine.Host().SetChannelStartOffset(voice.channel_index, offset);
      } else {
        voice.flags &= static_cast<uint8_t>(~voice_flag::kStart);
        voice.flags |= voice_flag::kStop;
      }
      break;
    }
    case Fx('A'):
      Remember(channel.volume_slide_memory, p);
      break;
    case Fx('B'):
      song.next_order = p >= song.order_count ? song.EndOfOrders(0, false) : p;
      song.next_row = 0;
      row.jumped = true;
      break;
    case Fx('C'):
      voice.volume = p;
      break;
    case Fx('D'): {
      const int32_t target = cell.hi() * 10 + cell.lo();
      song.next_row = target > 63 ? 0 : target;
      if (!row.jumped) song.next_order = song.order + 1;
      if (song.next_order >= song.order_count) song.next_order = song.EndOfOrders(0, false);
      break;
    }
    case Fx('E'):
      switch (cell.hi()) {
        case 0x1:
          voice.period -= Remember(channel.fine_porta_up_memory, cell.lo()) * 4;
          break;
        case 0x2:
          voice.period += Remember(channel.fine_porta_down_memory, cell.lo()) * 4;
          break;
        case 0x5:
          if (voice.sample && voice.sample != &InvalidSongSample())
            voice.sample->finetune = static_cast<int8_t>(cell.lo());
          break;
        case 0xA:
          voice.volume = std::min(64, voice.volume + Remember(channel.fine_volume_memory, cell.lo()));
          break;
        case 0xB:
          voice.volume = std::max(0, voice.volume - Remember(channel.fine_volume_memory, cell.lo()));
          break;
        case 0xD:
          voice.volume = channel.saved_volume;
          voice.period = channel.saved_period;
          voice.pan = channel.saved_pan;
          voice.flags = 0;
          break;
        default:
          song_effects::CommonExtendedEffect(song, channel, voice, cell.hi(), cell.lo());
          break;
      }
      break;
    case Fx('F'):
      song_effects::SetSpeedOrTempo(song, p);
      break;
    case Fx('G'):
      song.global_volume = std::min<int32_t>(p, 64);
      break;
    case Fx('H'):
      Remember(song.global_slide_memory, p);
      break;
    case Fx('K'):
      voice.key_released = true;
      break;
    case Fx('L'): {
      const SongInstrument& instrument = InstrumentOf(song, channel);
      if (instrument.volume_envelope.flags & envelope_flag::kOn)
        SetEnvelopePosition(instrument.volume_envelope, voice.envelopes[kVolumeEnvelope], p);
      break;
    }
    case Fx('P'):
      Remember(channel.pan_slide_memory, p);
      voice.flags |= voice_flag::kPan;
      break;
    case Fx('R'):
      if (cell.hi()) channel.retrigger_volume = cell.hi();
      if (cell.lo()) channel.retrigger_interval = cell.lo();
      break;
    case Fx('T'):
      // The times are the memory's, which holds 0 (one tick on, one off)
      // until a tremor with a parameter comes.
      if (p || channel.tremor_on == 0) song_effects::SetTremor(channel, p);
      TremorStep(channel, voice);
      break;
    case Fx('X'):
      if (cell.hi() == 1) voice.period -= Remember(channel.extra_fine_up_memory, cell.lo());
      if (cell.hi() == 2) voice.period += Remember(channel.extra_fine_down_memory, cell.lo());
      break;
    case Fx('Z'):
      song.engine.QueueSongEvent(song, song_ring::kZxx, p);
      break;
    default:
      break;
  }
}

void TickEffect(Song& song, SongChannel& channel, SongVoice*& voice_ref, const SongCell& cell) {
  SongVoice& voice = *voice_ref;
  const int32_t t = song.tick;
  const uint8_t p = cell.parameter;
  switch (cell.effect) {
    case Fx('0'):
      // Every third tick the note is back at its own pitch, which the
      // channel must be told as much as the steps away from it.
      if (p) {
        if (t % 3 != 0) {
          const uint8_t step = (t % 3) == 1 ? cell.hi() : cell.lo();
          const int32_t finetune = voice.sample ? voice.sample->finetune : 0;
          if (Linear(song))
            voice.period_delta = step * 64;
          else
            voice.period_delta =
                XmPeriod(song, channel.real_note + step, finetune) - XmPeriod(song, channel.real_note, finetune);
        }
        voice.flags |= voice_flag::kFrequency;
      }
      break;
    case Fx('1'):
      voice.period = std::max(56, voice.period - channel.porta_up_memory * 4);
      voice.flags |= voice_flag::kFrequency;
      break;
    case Fx('2'):
      voice.period += channel.porta_down_memory * 4;
      voice.flags |= voice_flag::kFrequency;
      break;
    case Fx('3'):
      TonePortamento(channel, voice);
      break;
    case Fx('4'):
      VibratoStep(song, channel, voice, channel.vibrato_depth);
      channel.vibrato_position = song_tables::AdvanceWave(channel.vibrato_position, channel.vibrato_speed);
      break;
    case Fx('5'):
      TonePortamento(channel, voice);
      VolumeSlide(voice, channel.volume_slide_memory);
      break;
    case Fx('6'):
      VibratoStep(song, channel, voice, channel.vibrato_depth);
      channel.vibrato_position = song_tables::AdvanceWave(channel.vibrato_position, channel.vibrato_speed);
      VolumeSlide(voice, channel.volume_slide_memory);
      break;
    case Fx('7'):
      Tremolo(song, channel, voice);
      break;
    case Fx('A'):
      VolumeSlide(voice, channel.volume_slide_memory);
      break;
    case Fx('E'):
      if (cell.hi() == 0x9) {
        if (cell.lo() && t % cell.lo() == 0)
          voice.flags |= voice_flag::kStart | voice_flag::kVolume | voice_flag::kFrequency;
      } else if (cell.hi() == 0xC) {
        if (t == cell.lo()) {
          voice.volume = 0;
          voice.flags |= voice_flag::kVolume;
        }
      } else if (cell.hi() == 0xD) {
        if (t == cell.lo()) {
          SongVoice& v = VoiceOf(song, channel);
          voice_ref = &v;
          if (cell.instrument) RestartInstrument(channel, v);
          v.period = static_cast<int32_t>(channel.note_period);
          if (cell.volume) VolumeColumn(song, channel, v, cell.volume, true);
          v.flags |= voice_flag::kStart | voice_flag::kFrequency | voice_flag::kVolume;
        } else {
          voice.flags = 0;
        }
      }
      break;
    case Fx('H'): {
      const uint8_t m = song.global_slide_memory;
      if (m >> 4)
        song.global_volume = std::min(64, song.global_volume + (m >> 4));
      else
        song.global_volume = std::max(0, song.global_volume - (m & 15));
      voice.flags |= voice_flag::kVolume;
      break;
    }
    case Fx('P'): {
      const uint8_t m = channel.pan_slide_memory;
      if (m >> 4)
        voice.pan = std::min(255, voice.pan + (m >> 4));
      else
        voice.pan = std::max(0, voice.pan - (m & 15));
      voice.flags |= voice_flag::kPan;
      break;
    }
    case Fx('R'):
      if (channel.retrigger_interval && t % channel.retrigger_interval == 0) {
        voice.volume = std::clamp(RetriggerVolume(voice.volume, channel.retrigger_volume), 0, 64);
        voice.flags |= voice_flag::kStart | voice_flag::kVolume | voice_flag::kFrequency;
      }
      break;
    case Fx('T'):
      TremorStep(channel, voice);
      break;
    default:
      break;
  }
}

void XmRow(Song& song) {
  SongEngine& engine = song.engine;
  RowState row;
  for (int32_t c = 0; c < static_cast<int32_t>(song.channels.size()); ++c) {
    SongChannel& channel = song.channels[static_cast<size_t>(c)];
    const SongCell cell = CellOf(song, c);
    const bool portamento = cell.effect == Fx('3') || cell.effect == Fx('5');
    const bool note = cell.note != 0 && cell.note != 255;
    if (cell.instrument) {
      if (!portamento) {
        channel.instrument = static_cast<uint8_t>(cell.instrument - 1);
        channel.has_instrument = true;
      }
      if (cell.instrument == song.rings[song_ring::kInstrument].instrument)
        engine.QueueSongEvent(song, song_ring::kInstrument, cell.instrument);
    }
    if (note && !portamento) channel.note = static_cast<uint8_t>(cell.note - 1);
    const SongInstrument& instrument = InstrumentOf(song, channel);
    SongVoice* voice = &engine.CurrentVoice(channel);
    SongSample* sample = &InvalidSongSample();
    if (channel.has_instrument && channel.instrument < song.instruments.size()) {
      if (note || cell.instrument) voice = &VoiceOf(song, channel);
      const uint8_t slot = channel.note < 96 ? instrument.sample_map[channel.note] : 16;
      if (slot < 16 && slot < instrument.sample_count && instrument.samples[slot]) sample = instrument.samples[slot];
    }
    if (!portamento && (note || cell.instrument)) voice->sample = sample;
    if (!voice->sample) voice->sample = &InvalidSongSample();
    channel.saved_volume = voice->volume;
    channel.saved_period = voice->period;
    channel.saved_pan = voice->pan;
    if (channel.last_effect == Fx('7') && cell.effect != Fx('7')) voice->volume += voice->volume_delta;
    channel.last_effect = cell.effect;
    voice->volume_delta = 0;
    voice->flags = 0;
    if (note) {
      voice = &VoiceOf(song, channel);
      if (!voice->sample) voice->sample = &InvalidSongSample();
      const int32_t real = cell.note - 1 + sample->relative_note;
      channel.note_period = static_cast<uint32_t>(std::max(1, XmPeriod(song, real, sample->finetune)));
      if (!portamento) {
        channel.real_note = static_cast<uint8_t>(std::clamp(real, 0, 255));
        voice->period = static_cast<int32_t>(channel.note_period);
      }
      voice->flags = voice_flag::kStart;
    }
    voice->period_delta = 0;
    voice->flags |= voice_flag::kFrequency | voice_flag::kVolume;
    if (cell.instrument) RestartInstrument(channel, *voice);
    if (cell.volume) VolumeColumn(song, channel, *voice, cell.volume, true);
    if (cell.note == 255 || cell.effect == Fx('K')) voice->key_released = true;
    StepEnvelopes(instrument, *voice);
    RowEffect(song, channel, *voice, cell, row);
    AutoVibrato(instrument, *voice);
    ApplyChannel(song, channel);
  }
}

void XmEffects(Song& song) {
  SongEngine& engine = song.engine;
  for (int32_t c = 0; c < static_cast<int32_t>(song.channels.size()); ++c) {
    SongChannel& channel = song.channels[static_cast<size_t>(c)];
    const SongCell cell = CellOf(song, c);
    const SongInstrument& instrument = InstrumentOf(song, channel);
    SongVoice* voice = &engine.CurrentVoice(channel);
    voice->volume_delta = 0;
    voice->period_delta = 0;
    voice->flags = 0;
    StepEnvelopes(instrument, *voice);
    if (cell.volume) VolumeColumn(song, channel, *voice, cell.volume, false);
    TickEffect(song, channel, voice, cell);
    AutoVibrato(instrument, *voice);
    ApplyChannel(song, channel);
  }
}

}  // namespace

void StepXmEnvelope(const SongEnvelope& envelope, EnvelopeState& s, bool key_released) {
  if (s.done || envelope.count == 0) return;
  if (s.point < envelope.count) {
    if (s.tick == envelope.points[static_cast<size_t>(s.point)].tick) {
      if ((envelope.flags & envelope_flag::kLoop) && s.point == envelope.loop_end)
        song_effects::JumpEnvelope(envelope, s, envelope.loop_begin);
      if (!song_effects::EnterEnvelopePoint(envelope, s)) return;
      // XM holds at the sustain point itself; IT loops between two.
      if ((envelope.flags & envelope_flag::kSustain) && s.point == envelope.sustain_begin && !key_released) return;
      song_effects::StartEnvelopeSegment(envelope, s);
    } else {
      s.value16 += s.delta16;
    }
  }
  s.value = std::clamp(s.value16 >> 16, 0, 64);
  ++s.tick;
}

void XmTick(Song& song) { RunSongTick(song, XmRow, XmEffects); }

}  // namespace zv
