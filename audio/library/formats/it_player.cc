#include "audio/library/formats/it_player.h"

#include <algorithm>
#include <cmath>

#include "audio/library/formats/song_effects.h"
#include "audio/library/formats/song_engine.h"
#include "audio/library/formats/song_tables.h"

namespace zv {
namespace {

using song_effects::Remember;
using song_effects::RetriggerVolume;

constexpr uint8_t Fx(char c) { return static_cast<uint8_t>(c - 'A' + 1); }
constexpr int kVolumeEnvelope = 0;
constexpr int kPanEnvelope = 1;
constexpr int kPitchEnvelope = 2;
constexpr int32_t kFullFade = 1024;
constexpr uint8_t kNnaCut = 0, kNnaOff = 2, kNnaFade = 3;
constexpr int kMaxOrderSkips = 512;

bool InstrumentMode(const Song& s) { return (s.format_flags & 4) != 0; }
bool Linear(const Song& s) { return (s.format_flags & 8) != 0; }
bool OldEffects(const Song& s) { return (s.format_flags & 16) != 0; }
bool SeparateG(const Song& s) { return (s.format_flags & 32) != 0; }
bool Muted(const Song& s, int32_t c) { return (s.default_pan[static_cast<size_t>(c)] & 128) != 0; }

struct Cell {
  uint8_t note, instrument, volume, effect, parameter;
  uint8_t hi() const { return parameter >> 4; }
  uint8_t lo() const { return parameter & 15; }
};

// ---- Pattern decoding ---------------------------------------------------------------

void RestartDecoding(Song& song) {
  song.packed_position = 0;
  song.last_note.fill(0);
  song.last_instrument.fill(0);
  song.last_volume.fill(0);
  song.last_effect.fill(0);
  song.last_parameter.fill(0);
  song.last_mask.fill(0);
}

void DecodeRow(Song& song) {
  song.row_cells.fill(0);
  const SongPattern* pattern = song.CurrentPattern();
  if (!pattern) return;
  const std::vector<uint8_t>& data = pattern->data;
  uint32_t& pos = song.packed_position;
  auto next = [&]() -> uint8_t { return pos < data.size() ? data[pos++] : 0; };
  while (pos < data.size()) {
    const uint8_t c = next();
    if (c == 0) break;
    const size_t ch = static_cast<size_t>((c - 1) & 63);
    uint8_t mask = song.last_mask[ch];
    if (c & 0x80) mask = song.last_mask[ch] = next();
    uint8_t* cell = &song.row_cells[ch * 5];
    if (mask & 1) {
      const uint8_t note = next();
      song.last_note[ch] = cell[0] = note < 254 ? static_cast<uint8_t>(note + 1) : note;
    }
    if (mask & 2) song.last_instrument[ch] = cell[1] = next();
    if (mask & 4) song.last_volume[ch] = cell[2] = static_cast<uint8_t>(next() + 1);
    if (mask & 8) {
      song.last_effect[ch] = cell[3] = next();
      song.last_parameter[ch] = cell[4] = next();
    }
    if (mask & 16) cell[0] = song.last_note[ch];
    if (mask & 32) cell[1] = song.last_instrument[ch];
    if (mask & 64) cell[2] = song.last_volume[ch];
    if (mask & 128) {
      cell[3] = song.last_effect[ch];
      cell[4] = song.last_parameter[ch];
    }
  }
}

// ---- Periods ----------------------------------------------------------------------------

int32_t NotePeriod(const Song& song, int32_t note, uint32_t rate) {
  if (rate == 0) rate = 8363;
  note = std::clamp(note, 0, 143);
  if (Linear(song))
    return 7680 - note * 64 - static_cast<int32_t>(768.0 * std::log2(static_cast<double>(rate) / 8363.0));
  return static_cast<int32_t>(static_cast<int64_t>(song_tables::ItAmigaPeriod(note)) * 8363 / rate);
}

const SongInstrument* InstrumentOf(Song& song, uint8_t index) {
  if (!InstrumentMode(song) || index >= song.instruments.size()) return nullptr;
  return &song.instruments[index];
}

void KeyOff(Song& song, SongVoice& voice) {
  voice.key_released = true;
  const SongInstrument* instrument = InstrumentOf(song, voice.instrument);
  if (!(voice.volume_envelope_flags & envelope_flag::kOn) ||
      (instrument && (instrument->volume_envelope.flags & envelope_flag::kLoop)))
    voice.fading = true;
}

void RestartEnvelopes(const SongInstrument& instrument, SongVoice& voice) {
  const SongEnvelope* envelopes[3] = {&instrument.volume_envelope, &instrument.pan_envelope,
                                      &instrument.pitch_envelope};
  for (int i = 0; i < 3; ++i) {
    if (envelopes[i]->flags & envelope_flag::kCarry) continue;
    voice.envelopes[i] = EnvelopeState{};
    if (i == kVolumeEnvelope) {
      voice.envelopes[i].value = 64;
      voice.envelopes[i].value16 = 64 << 16;
    }
  }
  voice.key_released = false;
  voice.fading = false;
  voice.fade_volume = kFullFade;
  voice.autovibrato_position = 0;
  voice.autovibrato_sweep = 0;
}

// ---- Effects on the voice -------------------------------------------------------------

// IT remembers that the slide arrived: later rows of the same slide leave the period alone.
void TonePortamento(SongChannel& channel, SongVoice& voice) {
  if (song_effects::TonePortamento(channel, voice)) channel.porta_done = true;
}

void Vibrato(Song& song, SongChannel& channel, SongVoice& voice) {
  const bool old = OldEffects(song);
  auto& random = song.engine.Random();
  if (channel.vibrato_type == 'U') {
    const bool negative = channel.vibrato_position < 0;
    const int32_t value = song_tables::WaveValue(channel.vibrato_waveform, channel.vibrato_position, random);
    int32_t delta = (value * channel.vibrato_depth) >> 7;
    if (old) delta *= 2;
    voice.period_delta += negative ? -delta : delta;
    channel.vibrato_position = song_tables::AdvanceWave(channel.vibrato_position, channel.vibrato_speed);
  } else {
    channel.vibrato_position = song_tables::AdvanceWave(channel.vibrato_position, channel.vibrato_speed);
    const int32_t value = song_tables::WaveValue(channel.vibrato_waveform, channel.vibrato_position, random);
    int32_t delta = ((value * channel.vibrato_depth) >> 6) & ~1;
    if (old) delta *= 2;
    voice.period_delta += channel.vibrato_position < 0 ? delta : -delta;
  }
  voice.flags |= voice_flag::kFrequency;
}

void Tremolo(Song& song, SongChannel& channel) {
  const int32_t p = channel.tremolo_position;
  const int32_t value = song_tables::WaveValue(channel.tremolo_waveform, p, song.engine.Random());
  const int32_t delta = (value * channel.tremolo_depth) >> 6;
  channel.volume_delta = song_effects::TremoloDelta(delta, p, channel.note_volume);
  channel.tremolo_position = song_tables::AdvanceWave(channel.tremolo_position, channel.tremolo_speed);
}

// IT's tremolo and tremor work on the channel's note volume, not the voice's.
// The channel's delta lasts the whole row, so the on phase must clear it.
void TremorStep(SongChannel& channel) {
  channel.volume_delta = song_effects::TremorSilences(channel) ? -channel.note_volume : 0;
}

int32_t PanWave(int32_t waveform, int32_t position, song_tables::WaveRandom& random) {
  position &= 255;
  switch (waveform & 3) {
    case 1:
      return (128 - ((position + 128) & 255)) / 2;
    case 2:
      return position < 128 ? 64 : -64;
    case 3:
      return random.Next() / 2 - 64;
    default:
      return song_tables::kFineSine[static_cast<size_t>(position)];
  }
}

void Panbrello(Song& song, SongChannel& channel, SongVoice& voice) {
  const int32_t value = PanWave(channel.panbrello_waveform, channel.panbrello_position, song.engine.Random());
  int32_t delta = (value * channel.panbrello_depth) >> 5;
  delta = std::clamp(delta, -voice.pan, 64 - voice.pan);
  voice.pan_delta = delta;
  channel.panbrello_position = (channel.panbrello_position + channel.panbrello_speed) & 255;
  voice.flags |= voice_flag::kPan;
}

// A D/K/L style slide on a 0..64 value: the fine part on the note's tick,
// the plain part on the others.
void SlideValue(int32_t& value, uint8_t m, bool first, int32_t limit) {
  const int hi = m >> 4, lo = m & 15;
  if (first) {
    if (lo == 15 && hi)
      value += hi;
    else if (hi == 15 && lo)
      value -= lo;
  } else {
    if (lo == 0)
      value += hi;
    else if (hi == 0)
      value -= lo;
  }
  value = std::clamp(value, 0, limit);
}

// ---- A channel's note, volume column and effect --------------------------------------------

struct Tick {
  int32_t t;          // the song's tick
  bool first;         // the note's own tick
  bool jumped;        // a B earlier in the row
};

void NewNote(Song& song, int32_t c, SongChannel& channel, SongVoice*& voice, const Cell& cell, bool portamento) {
  SongEngine& engine = song.engine;
  const SongInstrument* instrument = InstrumentOf(song, channel.instrument);
  const int32_t number = instrument ? instrument->key_sample[channel.note] : channel.instrument + 1;
  if (number == 0) return;
  channel.sample = static_cast<uint8_t>(number - 1);
  SongSample* sample = song.SampleAt(channel.sample);
  const int32_t real = instrument ? instrument->key_note[channel.note] : channel.note;
  channel.real_note = static_cast<uint8_t>(real);
  if (instrument && instrument->dct) {
    for (SongVoice* v : channel.voices) {
      const bool same = (instrument->dct == 1 && v->note == channel.note) ||
                        (instrument->dct == 2 && v->sample_number == channel.sample) ||
                        (instrument->dct == 3 && v->instrument == channel.instrument);
      if (!same) continue;
      if (instrument->dca == 0)
        engine.StopVoice(*v);
      else if (instrument->dca == 1)
        KeyOff(song, *v);
      else
        v->fading = true;
    }
  }
  if (!portamento) {
    if (channel.voices.empty()) {
      voice = engine.AttachSongVoice(song, channel);
    } else if (instrument && channel.voices.front()->nna != kNnaCut) {
      SongVoice* old = channel.voices.front();
      old->background = true;
      if (old->nna == kNnaOff)
        KeyOff(song, *old);
      else if (old->nna == kNnaFade)
        old->fading = true;
      if (channel.note_volume == 0) engine.StopVoice(*old);
      voice = engine.AttachSongVoice(song, channel);
    } else {
      voice = channel.voices.front();
    }
    if (!voice) voice = &engine.SpareVoice();
    voice->nna = instrument ? instrument->nna : 0;
    voice->volume_envelope_flags = instrument ? instrument->volume_envelope.flags : 0;
    voice->instrument = channel.instrument;
    voice->note = channel.note;
    voice->sample_number = channel.sample;
    voice->sample = sample;
    voice->background = false;
  }
  channel.note_period = static_cast<uint32_t>(std::max(1, NotePeriod(song, real, sample->middle_c_rate)));
  if (!portamento) {
    channel.vibrato_position = 0;
    channel.tremolo_position = 0;
    channel.panbrello_position = 0;
    channel.tremor_counter = 0;
    channel.retrigger_counter = 0;
    voice->period = static_cast<int32_t>(channel.note_period);
    if ((channel.pan & 127) == 100)
      voice->flags |= voice_flag::kSurroundOn;
    else
      voice->pan = channel.pan & 127;
    if (instrument && !(instrument->default_pan & 128)) voice->pan = std::min(64, instrument->default_pan);
    if (sample->default_pan & 128) voice->pan = std::min(64, sample->default_pan & 127);
    if (!instrument) {
      voice->sample_volume_factor = sample->global_volume;
    } else {
      voice->pan += (channel.note - instrument->pitch_pan_centre) * instrument->pitch_pan_separation / 8;
      voice->pan = std::clamp(voice->pan, 0, 64);
      voice->sample_volume_factor = (sample->global_volume * instrument->global_volume) >> 7;
    }
    voice->flags |= voice_flag::kStart | voice_flag::kPan;
  } else {
    channel.porta_done = false;
  }
  if (instrument && (!portamento || SeparateG(song))) RestartEnvelopes(*instrument, *voice);
  (void)c;
  (void)cell;
}

void VolumeColumn(SongChannel& channel, SongVoice& voice, uint8_t byte, const Tick& tick) {
  if (byte == 0) return;
  const int32_t v = byte - 1;
  const bool voice_ok = !voice.background;
  auto memory = [&](int32_t x) {
    if (x) channel.volume_column_memory = static_cast<uint8_t>(x);
    return static_cast<int32_t>(channel.volume_column_memory);
  };
  if (v <= 64) {
    if (tick.first) channel.note_volume = v;
  } else if (v <= 74) {
    if (tick.first) channel.note_volume = std::min(64, channel.note_volume + memory(v - 65));
  } else if (v <= 84) {
    if (tick.first) channel.note_volume = std::max(0, channel.note_volume - memory(v - 75));
  } else if (v <= 94) {
    const int32_t x = memory(v - 85);
    if (!tick.first) channel.note_volume = std::min(64, channel.note_volume + x);
  } else if (v <= 104) {
    const int32_t x = memory(v - 95);
    if (!tick.first) channel.note_volume = std::max(0, channel.note_volume - x);
  } else if (v <= 114) {
    const int32_t x = Remember(channel.portamento_memory, static_cast<uint8_t>(v - 105));
    if (voice_ok) {
      voice.period += x * 16;
      voice.flags |= voice_flag::kFrequency;
    }
  } else if (v <= 124) {
    const int32_t x = Remember(channel.portamento_memory, static_cast<uint8_t>(v - 115));
    if (voice_ok) {
      voice.period -= x * 16;
      voice.flags |= voice.period < 1 ? voice_flag::kStop : voice_flag::kFrequency;
    }
  } else if (v >= 128 && v <= 192) {
    if (tick.first) {
      channel.pan = v - 128;
      if (voice_ok) {
        voice.pan = channel.pan;
        voice.flags |= voice_flag::kPan;
      }
    }
  } else if (v >= 193 && v <= 202) {
    if (tick.first) {
      if (v > 193) channel.porta_speed = static_cast<uint8_t>((v - 193) * 2);
      channel.porta_target = channel.note_period;
    } else if (voice_ok) {
      TonePortamento(channel, voice);
    }
  } else if (v >= 203 && v <= 212) {
    if (tick.first) channel.vibrato_depth = static_cast<uint8_t>(v - 203);
  }
}

void Effect(Song& song, SongChannel& channel, SongVoice& voice, const Cell& cell, Tick& tick) {
  SongEngine& engine = song.engine;
  const bool first = tick.first;
  const bool voice_ok = !voice.background;
  uint8_t p = cell.parameter;
  switch (cell.effect) {
    case Fx('A'):
      if (first) song.speed = p;
      break;
    case Fx('B'):
      if (first) {
        song.next_order = p >= song.order_count ? song.EndOfOrders(0, false) : p;
        song.next_row = 0;
        tick.jumped = true;
      }
      break;
    case Fx('C'):
      if (first) {
        const SongPattern* pattern = song.CurrentPattern();
        const int32_t rows = pattern ? static_cast<int32_t>(pattern->rows) : 64;
        song.next_row = p > rows ? 0 : p;
        if (!tick.jumped) song.next_order = song.order + 1;
        if (song.next_order >= song.order_count) song.next_order = song.EndOfOrders(0, false);
      }
      break;
    case Fx('D'):
      SlideValue(channel.note_volume, Remember(channel.volume_slide_memory, first ? p : 0), first, 64);
      break;
    case Fx('E'):
    case Fx('F'): {
      const uint8_t m = first ? Remember(channel.portamento_memory, p) : channel.portamento_memory;
      if (!voice_ok) break;
      const int32_t sign = cell.effect == Fx('E') ? 1 : -1;
      if (first) {
        if ((m >> 4) == 0xF) voice.period += sign * (m & 15) * 4;
        if ((m >> 4) == 0xE) voice.period += sign * (m & 15);
      } else if (m < 0xE0) {
        voice.period += sign * m * 4;
      }
      voice.flags |= voice_flag::kFrequency;
      if (cell.effect == Fx('F') && voice.period < 1) voice.flags |= voice_flag::kStop;
      break;
    }
    case Fx('G'):
      if (first) {
        channel.porta_speed =
            SeparateG(song) ? Remember(channel.porta_g_memory, p) : Remember(channel.portamento_memory, p);
        channel.porta_target = channel.note_period;
      } else if (voice_ok && !channel.porta_done) {
        TonePortamento(channel, voice);
      }
      break;
    case Fx('H'):
    case Fx('U'):
      if (first) {
        if (cell.hi()) channel.vibrato_speed = cell.hi();
        if (cell.lo()) channel.vibrato_depth = cell.lo();
        channel.vibrato_type = cell.effect == Fx('H') ? 'H' : 'U';
        if (!OldEffects(song) && voice_ok) Vibrato(song, channel, voice);
      } else if (voice_ok) {
        Vibrato(song, channel, voice);
      }
      break;
    case Fx('I'):
      if (first) song_effects::SetTremor(channel, p);
      if (voice_ok) TremorStep(channel);
      break;
    case Fx('J'): {
      const uint8_t m = first ? Remember(channel.arpeggio_memory, p) : channel.arpeggio_memory;
      if (first || !voice_ok || tick.t % 3 == 0) break;
      const int32_t x = tick.t % 3 == 1 ? (m >> 4) : (m & 15);
      const uint32_t rate = voice.sample ? voice.sample->middle_c_rate : 8363;
      voice.period_delta += Linear(song) ? -64 * x
                                         : NotePeriod(song, channel.real_note + x, rate) -
                                               NotePeriod(song, channel.real_note, rate);
      voice.flags |= voice_flag::kFrequency;
      break;
    }
    case Fx('K'):
      if (first) {
        SlideValue(channel.note_volume, Remember(channel.volume_slide_memory, p), true, 64);
        if (!OldEffects(song) && voice_ok) Vibrato(song, channel, voice);
      } else {
        if (voice_ok) Vibrato(song, channel, voice);
        SlideValue(channel.note_volume, channel.volume_slide_memory, false, 64);
      }
      break;
    case Fx('L'):
      if (first) {
        SlideValue(channel.note_volume, Remember(channel.volume_slide_memory, p), true, 64);
        channel.porta_target = channel.note_period;
      } else {
        if (voice_ok && !channel.porta_done) TonePortamento(channel, voice);
        SlideValue(channel.note_volume, channel.volume_slide_memory, false, 64);
      }
      break;
    case Fx('M'):
      if (first) channel.channel_volume = std::min<int32_t>(p, 64);
      break;
    case Fx('N'):
      SlideValue(channel.channel_volume, first ? Remember(channel.channel_volume_slide_memory, p)
                                               : channel.channel_volume_slide_memory,
                 first, 64);
      break;
    case Fx('O'):
      if (first && voice_ok) {
        if (p) channel.offset_memory = p;
        const SongSample* sample = voice.sample ? voice.sample : &InvalidSongSample();
        int64_t offset = static_cast<int64_t>(channel.high_offset) * 65536 + channel.offset_memory * 256;
        offset = std::min<int64_t>(offset, std::max(0, sample->loop_start + sample->loop_length - 1));
        if (!voice.spare) engine.Host().SetChannelStartOffset(voice.channel_index, static_cast<int32_t>(offset));
      }
      break;
    case Fx('Q'):
      if (first) {
        if (p) {
          channel.retrigger_volume = cell.hi();
          channel.retrigger_interval = cell.lo();
        }
      } else if (voice_ok) {
        ++channel.retrigger_counter;
        if (channel.retrigger_interval && channel.retrigger_counter % channel.retrigger_interval == 0) {
          channel.note_volume = std::clamp(RetriggerVolume(channel.note_volume, channel.retrigger_volume), 0, 64);
          voice.flags |= voice_flag::kStart | voice_flag::kPan | voice_flag::kVolume | voice_flag::kFrequency;
        }
      }
      break;
    case Fx('R'):
      if (first) {
        if (cell.hi()) channel.tremolo_speed = cell.hi();
        if (cell.lo()) channel.tremolo_depth = cell.lo();
      } else if (voice_ok) {
        Tremolo(song, channel);
      }
      break;
    case Fx('S'): {
      if (first) p = Remember(channel.s_memory, p);
      const uint8_t x = p & 15;
      switch (p >> 4) {
        case 0x3:
          if (first) channel.vibrato_waveform = x & 3;
          break;
        case 0x4:
          if (first) channel.tremolo_waveform = x & 3;
          break;
        case 0x5:
          if (first) channel.panbrello_waveform = x & 3;
          break;
        case 0x6:
          if (first) song.fine_pattern_delay = x;
          break;
        case 0x7:
          if (!first) break;
          if (x <= 2) {
            for (SongVoice* v : channel.voices) {
              if (!v->background) continue;
              if (x == 0)
                engine.StopVoice(*v);
              else if (x == 1)
                KeyOff(song, *v);
              else
                v->fading = true;
            }
          } else if (x <= 6) {
            voice.nna = static_cast<uint8_t>(x - 3);
          } else if (x == 7) {
            voice.volume_envelope_flags &= static_cast<uint8_t>(~envelope_flag::kOn);
          } else if (x == 8) {
            voice.volume_envelope_flags |= envelope_flag::kOn;
          }
          break;
        case 0x8:
          if (first && voice_ok) {
            channel.pan = x * 4;
            voice.pan = channel.pan;
            voice.flags |= voice_flag::kPan | voice_flag::kSurroundOff;
          }
          break;
        case 0x9:
          if (first && voice_ok && x == 1) voice.flags |= voice_flag::kSurroundOn;
          break;
        case 0xA:
          if (first) channel.high_offset = x;
          break;
        case 0xB:
          if (!first) break;
          if (song_effects::PatternLoop(channel, song.row, x))
            song.next_row = static_cast<int32_t>(channel.loop_row);
          break;
        case 0xC:
          if (!first && tick.t == std::max<int32_t>(1, x)) {
            channel.note_volume = 0;
            voice.flags |= voice_flag::kStop;
          }
          break;
        case 0xE:
          if (first) song.pattern_delay = x * song.speed;
          break;
        default:
          break;
      }
      break;
    }
    case Fx('T'):
      if (first && p >= 0x20)
        engine.SetSongTempo(song, p);
      else if ((p >> 4) == 0)
        engine.SetSongTempo(song, song.tempo - (p & 15));
      else if ((p >> 4) == 1)
        engine.SetSongTempo(song, song.tempo + (p & 15));
      break;
    case Fx('V'):
      if (first) song.global_volume = std::min<int32_t>(p, 128);
      break;
    case Fx('W'):
      SlideValue(song.global_volume, first ? Remember(song.global_slide_memory, p) : song.global_slide_memory, first,
                 128);
      break;
    case Fx('X'):
      if (first && voice_ok) {
        channel.pan = p / 4;
        voice.pan = channel.pan;
        voice.flags |= voice_flag::kPan | voice_flag::kSurroundOff;
      }
      break;
    case Fx('Y'):
      if (first) {
        if (cell.hi()) channel.panbrello_speed = cell.hi();
        if (cell.lo()) channel.panbrello_depth = cell.lo();
      } else if (voice_ok) {
        Panbrello(song, channel, voice);
      }
      break;
    case Fx('Z'):
      if (first) engine.QueueSongEvent(song, song_ring::kZxx, p);
      break;
    default:
      break;
  }
}

// ---- Voice output ------------------------------------------------------------------------

void UpdateVoice(Song& song, SongChannel& channel, SongVoice& voice, bool foreground) {
  SongEngine& engine = song.engine;
  SongHost& host = engine.Host();
  const SongInstrument* instrument = InstrumentOf(song, voice.instrument);
  const bool has_sample = voice.sample && voice.sample->length > 0;
  if (!has_sample) voice.flags &= static_cast<uint8_t>(~voice_flag::kStart);
  if (instrument) {
    EnvelopeState& volume = voice.envelopes[kVolumeEnvelope];
    if ((voice.volume_envelope_flags & envelope_flag::kOn) && !volume.done) {
      StepItEnvelope(instrument->volume_envelope, volume, voice.key_released);
      if (volume.done) {
        voice.fading = true;
        if (volume.value == 0) voice.flags |= voice_flag::kStop;
      }
      voice.flags |= voice_flag::kVolume;
    }
    if ((instrument->pan_envelope.flags & envelope_flag::kOn) && !voice.envelopes[kPanEnvelope].done) {
      StepItEnvelope(instrument->pan_envelope, voice.envelopes[kPanEnvelope], voice.key_released);
      voice.flags |= voice_flag::kPan;
    }
    if ((instrument->pitch_envelope.flags & envelope_flag::kOn) && !voice.envelopes[kPitchEnvelope].done) {
      StepItEnvelope(instrument->pitch_envelope, voice.envelopes[kPitchEnvelope], voice.key_released);
      voice.flags |= voice_flag::kFrequency;
    }
    if (voice.fading) {
      voice.fade_volume -= instrument->fade_out;
      if (voice.fade_volume <= 0) {
        voice.fade_volume = 0;
        voice.flags |= voice_flag::kStop;
      } else {
        voice.flags |= voice_flag::kVolume;
      }
    }
  }
  if (voice.sample && (voice.sample->vibrato_depth || voice.sample->vibrato_rate)) {
    const SongSample& s = *voice.sample;
    const int32_t pos = voice.autovibrato_position & 255;
    int32_t value;
    switch (s.vibrato_type & 3) {
      case 1:
        value = (128 - ((pos + 128) & 255)) / 2;
        break;
      case 2:
        value = pos < 128 ? 64 : -64;
        break;
      default:
        value = song_tables::kFineSine[static_cast<size_t>(pos)];
        break;
    }
    voice.period_delta -= static_cast<int32_t>((static_cast<int64_t>(value) * s.vibrato_depth * voice.autovibrato_sweep) >> 23);
    voice.autovibrato_sweep = std::min(0x10000, voice.autovibrato_sweep + s.vibrato_rate * 2);
    voice.autovibrato_position = (pos + s.vibrato_speed) & 255;
    voice.flags |= voice_flag::kFrequency;
  }
  if (foreground) {
    voice.volume = channel.note_volume;
    voice.volume_delta = channel.volume_delta;
  }
  const int32_t audible = std::max(0, voice.volume + voice.volume_delta);
  engine.VoiceCulled(song, voice, audible);
  if (voice.spare) return;
  if (voice.flags & voice_flag::kStart) engine.StartVoice(voice);
  if (voice.flags & voice_flag::kVolume) {
    int64_t v;
    if (instrument) {
      const int32_t envelope = (voice.volume_envelope_flags & envelope_flag::kOn)
                                   ? voice.envelopes[kVolumeEnvelope].value
                                   : 64;
      v = static_cast<int64_t>(envelope) * audible * voice.fade_volume * voice.sample_volume_factor *
          channel.channel_volume * song.global_volume;
      v = (v * song.master_volume * 255) >> 49;
    } else {
      v = static_cast<int64_t>(audible) * voice.sample_volume_factor * channel.channel_volume * song.global_volume *
          song.master_volume * 255;
      v >>= 34;
    }
    host.SetChannelVolumeAbsolute(voice.handle, static_cast<int32_t>(std::min<int64_t>(v, 255)));
  }
  if (voice.flags & voice_flag::kPan) {
    int32_t pan = voice.pan + voice.pan_delta;
    if (instrument && (instrument->pan_envelope.flags & envelope_flag::kOn))
      pan += voice.envelopes[kPanEnvelope].value;
    const int32_t p = std::clamp(pan, 0, 64) * 4;
    host.SetChannelPanDirect(voice.handle, song_effects::SeparatedPan(song, p));
  }
  if (voice.flags & voice_flag::kFrequency) {
    int32_t p = voice.period + voice.period_delta;
    if (instrument && (instrument->pitch_envelope.flags & envelope_flag::kOn)) {
      const int32_t value = voice.envelopes[kPitchEnvelope].value;
      if (Linear(song)) {
        p -= value * 32;
      } else {
        const uint32_t rate = voice.sample ? voice.sample->middle_c_rate : 8363;
        const int32_t real = channel.real_note;
        p -= NotePeriod(song, real, rate) - NotePeriod(song, real + value / 2, rate);
      }
    }
    if (Linear(song))
      host.SetChannelFrequency(voice.handle,
                               static_cast<int32_t>(std::min(1e7, 8363.0 * std::exp2((3840.0 - p) / 768.0))));
    else if (p > 0)
      host.SetChannelFrequency(voice.handle, song_effects::AmigaFrequency(p));
  }
  if (voice.flags & voice_flag::kSurroundOn) host.SetChannelSurround(voice.handle, true);
  if (voice.flags & voice_flag::kSurroundOff) host.SetChannelSurround(voice.handle, false);
  if (voice.flags & voice_flag::kStop) engine.StopVoice(voice);
  voice.flags = 0;
}

void UpdateChannelVoices(Song& song, int32_t c, SongChannel& channel) {
  if (Muted(song, c)) return;
  SongEngine& engine = song.engine;
  for (size_t i = 0; i < channel.voices.size();) {
    SongVoice& voice = *channel.voices[i];
    if (!(voice.flags & voice_flag::kStart) && !engine.Host().IsChannelPlaying(voice.channel_index) &&
        engine.ReleaseSongVoice(song, voice))
      continue;
    UpdateVoice(song, channel, voice, i == 0 && !voice.background);
    ++i;
  }
}

void ProcessChannel(Song& song, int32_t c, Tick& tick) {
  SongEngine& engine = song.engine;
  SongChannel& channel = song.channels[static_cast<size_t>(c)];
  const uint8_t* raw = &song.row_cells[static_cast<size_t>(c) * 5];
  const Cell cell{raw[0], raw[1], raw[2], raw[3], raw[4]};
  const bool delayed = cell.effect == Fx('S') && (cell.parameter >> 4) == 0xD;
  const int32_t note_tick = delayed ? std::max(1, cell.parameter & 15) : 0;
  if (song.tick < note_tick) {
    UpdateChannelVoices(song, c, channel);
    return;
  }
  Tick here = tick;
  here.first = song.tick == note_tick;
  SongVoice* voice = &engine.CurrentVoice(channel);
  if (here.first) {
    if (channel.last_effect == Fx('R') && cell.effect != Fx('R')) channel.note_volume += channel.volume_delta;
    channel.last_effect = cell.effect;
    channel.volume_delta = 0;
    voice->pan_delta = 0;
    voice->flags = 0;
    bool new_note = cell.note >= 1 && cell.note <= 120;
    if (cell.instrument) {
      channel.instrument = static_cast<uint8_t>(cell.instrument - 1);
      if (cell.instrument == song.rings[song_ring::kInstrument].instrument)
        engine.QueueSongEvent(song, song_ring::kInstrument, cell.instrument);
    }
    if (InstrumentMode(song) && channel.instrument >= song.instruments.size()) new_note = false;
    if (Muted(song, c)) new_note = false;
    const bool portamento = (cell.effect == Fx('G') || cell.effect == Fx('L') || (cell.volume >= 194 && cell.volume <= 203)) &&
                            !voice->spare;
    if (new_note) {
      channel.note = static_cast<uint8_t>(cell.note - 1);
      NewNote(song, c, channel, voice, cell, portamento);
    }
    if (cell.instrument) {
      const SongInstrument* instrument = InstrumentOf(song, channel.instrument);
      const int32_t number = instrument ? instrument->key_sample[channel.note] : cell.instrument;
      if (number > 0 && number <= static_cast<int32_t>(song.samples.size()) && song.samples[static_cast<size_t>(number - 1)])
        channel.note_volume = song.samples[static_cast<size_t>(number - 1)]->default_volume;
    }
  }
  for (SongVoice* v : channel.voices) v->period_delta = 0;
  voice = &engine.CurrentVoice(channel);
  voice->flags |= voice_flag::kFrequency | voice_flag::kVolume;
  VolumeColumn(channel, *voice, cell.volume, here);
  if (here.first && InstrumentMode(song) && cell.note == 255) KeyOff(song, *voice);
  if (here.first && cell.note == 254) voice->flags |= voice_flag::kStop;
  Effect(song, channel, *voice, cell, here);
  tick.jumped = here.jumped;
  UpdateChannelVoices(song, c, channel);
}

void ProcessRow(Song& song) {
  Tick tick{song.tick, song.tick == 0, false};
  for (int32_t c = 0; c < static_cast<int32_t>(song.channels.size()) && c < 64; ++c) ProcessChannel(song, c, tick);
}

// The order to play for a wanted one: markers (254) are skipped, an end
// (255) goes back to the restart order and sets the finished flag. A list
// of nothing but markers cannot be played; it stays where it is.
int32_t PlayableOrder(Song& song, int32_t order) {
  for (int i = 0; i < kMaxOrderSkips; ++i) {
    if (order >= song.order_count || order < 0 || order >= 256) {
      order = song.EndOfOrders(song.restart_order, true);
      if (order >= song.order_count) order = 0;
      continue;
    }
    const uint8_t entry = song.orders[static_cast<size_t>(order)];
    if (entry == 254) {
      ++order;
      continue;
    }
    if (entry == 255) {
      order = song.EndOfOrders(song.restart_order, true);
      if (order >= song.order_count) order = 0;
      continue;
    }
    return order;
  }
  return 0;
}

}  // namespace

void StepItEnvelope(const SongEnvelope& envelope, EnvelopeState& s, bool key_released) {
  if (envelope.count == 0 || s.point >= envelope.count) return;
  if (s.tick >= envelope.points[static_cast<size_t>(s.point)].tick) {
    if ((envelope.flags & envelope_flag::kSustain) && !key_released && s.point >= envelope.sustain_end) {
      if (envelope.sustain_begin == envelope.sustain_end) {
        s.value16 = envelope.points[static_cast<size_t>(s.point)].value * 65536;
        s.value = s.value16 >> 16;
        return;
      }
      song_effects::JumpEnvelope(envelope, s, envelope.sustain_begin);
    } else if ((envelope.flags & envelope_flag::kLoop) && s.point >= envelope.loop_end) {
      if (envelope.loop_end <= envelope.loop_begin) {
        s.value16 = envelope.points[static_cast<size_t>(s.point)].value * 65536;
        s.value = s.value16 >> 16;
        return;
      }
      song_effects::JumpEnvelope(envelope, s, envelope.loop_begin);
    }
    if (!song_effects::EnterEnvelopePoint(envelope, s)) return;
    song_effects::StartEnvelopeSegment(envelope, s);
  } else {
    s.value16 += s.delta16;
  }
  s.value = s.value16 >> 16;
  ++s.tick;
}

void ItReset(Song& song) {
  RestartDecoding(song);
  DecodeRow(song);
}

void ItTick(Song& song) {
  SongEngine& engine = song.engine;
  if (song.tick == 0) {
    bool order_changed = false;
    if (song.next_order >= 0) {
      song.order = PlayableOrder(song, song.next_order);
      if (!song.EnterOrder()) return;
      order_changed = true;
      engine.QueueSongEvent(song, song_ring::kOrder, static_cast<uint8_t>(song.order));
    }
    if (song.next_row >= 0) {
      if (song.next_row != song.row + 1 || order_changed) {
        RestartDecoding(song);
        for (int32_t r = 0; r < song.next_row; ++r) DecodeRow(song);
      }
      song.row = song.next_row;
      DecodeRow(song);
      engine.QueueSongEvent(song, song_ring::kRow, static_cast<uint8_t>(song.row));
    }
    song.next_order = -1;
    song.next_row = -1;
    ProcessRow(song);
    if (song.next_row == -1) {
      song.next_row = song.row + 1;
      const SongPattern* pattern = song.CurrentPattern();
      const int32_t rows = pattern ? static_cast<int32_t>(pattern->rows) : 64;
      if (song.next_row >= rows) {
        song.next_row = 0;
        song.next_order = song.order + 1;
        if (song.next_order >= song.order_count) song.next_order = song.EndOfOrders(song.restart_order, true);
      }
    }
  } else {
    ProcessRow(song);
  }
  ++song.tick;
  if (song.tick >= song.speed + song.pattern_delay + song.fine_pattern_delay) {
    song.tick = 0;
    song.pattern_delay = 0;
    song.fine_pattern_delay = 0;
  }
}

}  // namespace zv
