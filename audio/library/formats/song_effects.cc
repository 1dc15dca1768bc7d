#include "audio/library/formats/song_effects.h"

#include <algorithm>

#include "audio/library/formats/song.h"

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

void SetVibratoWaveform(SongChannel& channel, uint8_t waveform) {
  channel.waveforms = static_cast<uint8_t>((channel.waveforms & 0xF0) | waveform);
}

void SetTremoloWaveform(SongChannel& channel, uint8_t waveform) {
  channel.waveforms = static_cast<uint8_t>((channel.waveforms & 0x0F) | (waveform << 4));
}

}  // namespace zv::song_effects
