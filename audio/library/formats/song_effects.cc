#include "audio/library/formats/song_effects.h"

#include <algorithm>

#include "audio/library/formats/song_engine.h"

namespace zv::song_effects {

uint8_t Remember(uint8_t& memory, uint8_t parameter) {
  if (parameter) memory = parameter;
  return memory;
}

int32_t RetriggerVolume(int32_t volume, uint8_t change) {
  switch (change) {
    case 1: return volume - 1;
    case 2: return volume - 2;
    case 3: return volume - 4;
    case 4: return volume - 8;
    case 5: return volume - 16;
    case 6: return volume * 2 / 3;
    case 7: return volume / 2;
    case 9: return volume + 1;
    case 10: return volume + 2;
    case 11: return volume + 4;
    case 12: return volume + 8;
    case 13: return volume + 16;
    case 14: return volume * 3 / 2;
    case 15: return volume * 2;
    default: return volume;
  }
}

bool TonePortamento(SongChannel& channel, SongVoice& voice) {
  const auto target = static_cast<int32_t>(channel.porta_target);
  const int32_t step = channel.porta_speed * 4;
  if (voice.period < target)
    voice.period = std::min(target, voice.period + step);
  else if (voice.period > target)
    voice.period = std::max(target, voice.period - step);
  voice.flags |= voice_flag::kFrequency;
  return voice.period == target;
}

int32_t TremoloDelta(int32_t delta, int32_t position, int32_t volume) {
  return position < 0 ? -std::min(delta, volume) : std::min(delta, 64 - volume);
}

void SetTremor(SongChannel& channel, uint8_t parameter) {
  channel.tremor_on = static_cast<uint8_t>((parameter >> 4) + 1);
  channel.tremor_off = static_cast<uint8_t>((parameter & 15) + 1);
}

bool TremorSilences(SongChannel& channel) {
  const bool silenced = channel.tremor_on <= channel.tremor_counter;
  ++channel.tremor_counter;
  if (channel.tremor_counter >= channel.tremor_on + channel.tremor_off) channel.tremor_counter = 0;
  return silenced;
}

void TremorStep(SongChannel& channel, SongVoice& voice) {
  if (TremorSilences(channel)) voice.volume_delta = -voice.volume;
  voice.flags |= voice_flag::kVolume;
}

bool PatternLoop(SongChannel& channel, int32_t row, uint8_t count) {
  if (count == 0) {
    channel.loop_row = static_cast<uint32_t>(row);
    return false;
  }
  channel.loop_count = channel.loop_count == 0 ? count : channel.loop_count - 1;
  return channel.loop_count != 0;
}

void StartAtOffset(Song& song, SongVoice& voice, const SongSample& sample, int32_t offset) {
  if (offset < sample.loop_start + sample.loop_length) {
    if (!voice.spare) song.engine.Host().SetChannelStartOffset(voice.channel_index, offset);
  } else {
    voice.flags &= static_cast<uint8_t>(~voice_flag::kStart);
    voice.flags |= voice_flag::kStop;
  }
}

void SetCoarsePan(SongVoice& voice, uint8_t pan) {
  voice.pan = pan * 16;
  voice.flags |= voice_flag::kPan;
}

void SetSpeedOrTempo(Song& song, uint8_t value) {
  if (value < 32)
    song.speed = value;
  else
    song.engine.SetSongTempo(song, value);
}

bool CommonExtendedEffect(Song& song, SongChannel& channel, SongVoice& voice, uint8_t command, uint8_t value) {
  switch (command) {
    case 0x4:
      SetVibratoWaveform(channel, value);
      return true;
    case 0x6:
      if (PatternLoop(channel, song.row, value)) song.row = static_cast<int32_t>(channel.loop_row) - 1;
      return true;
    case 0x7:
      SetTremoloWaveform(channel, value);
      return true;
    case 0x8:
      SetCoarsePan(voice, value);
      return true;
    case 0xE:
      song.pattern_delay = value * song.speed;
      return true;
    default:
      return false;
  }
}

void JumpEnvelope(const SongEnvelope& envelope, EnvelopeState& s, int32_t point) {
  s.point = point;
  s.tick = envelope.points[static_cast<size_t>(point)].tick;
}

bool EnterEnvelopePoint(const SongEnvelope& envelope, EnvelopeState& s) {
  const EnvelopePoint& here = envelope.points[static_cast<size_t>(s.point)];
  s.value16 = here.value * 65536;
  s.value = here.value;
  if (s.point + 1 < envelope.count) return true;
  s.done = true;
  return false;
}

void StartEnvelopeSegment(const SongEnvelope& envelope, EnvelopeState& s) {
  const EnvelopePoint& here = envelope.points[static_cast<size_t>(s.point)];
  const EnvelopePoint& next = envelope.points[static_cast<size_t>(s.point + 1)];
  const int32_t dx = next.tick - here.tick;
  if (dx > 0) {
    s.delta16 = (next.value - here.value) * 65536 / dx;
  } else {
    s.delta16 = 0;
    s.tick = next.tick - 1;
  }
  ++s.point;
}

bool VoiceSends(Song& song, SongVoice& voice, int32_t audible) {
  if (voice.period + voice.period_delta == 0) voice.flags &= static_cast<uint8_t>(~voice_flag::kFrequency);
  song.engine.VoiceCulled(song, voice, audible);
  return !voice.spare;
}

int32_t SeparatedPan(const Song& song, int32_t pan) {
  return static_cast<int32_t>(static_cast<float>(pan - 128) * song.pan_separation) + 128;
}

void SendPlainVoice(Song& song, SongVoice& voice, int32_t volume) {
  SongHost& host = song.engine.Host();
  if (voice.flags & voice_flag::kVolume) host.SetChannelVolumeAbsolute(voice.handle, volume);
  if (voice.flags & voice_flag::kPan) host.SetChannelPanDirect(voice.handle, SeparatedPan(song, voice.pan));
  if (voice.flags & voice_flag::kFrequency)
    host.SetChannelFrequency(voice.handle, AmigaFrequency(voice.period + voice.period_delta));
  if (voice.flags & voice_flag::kStop) song.engine.StopVoice(voice);
}

void SetVibratoWaveform(SongChannel& channel, uint8_t waveform) {
  channel.waveforms = static_cast<uint8_t>((channel.waveforms & 0xF0) | waveform);
}

void SetTremoloWaveform(SongChannel& channel, uint8_t waveform) {
  channel.waveforms = static_cast<uint8_t>((channel.waveforms & 0x0F) | (waveform << 4));
}

}  // namespace zv::song_effects
