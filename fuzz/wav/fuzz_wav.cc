// libFuzzer target for the WAV reader (and, for what it does not take, the
// MPEG loader behind it): any bytes as a memory image of a sound file, and
// the chunk walk with cue points and labels.
#include <cstddef>
#include <cstdint>

#include "audio/library/formats/file_layer.h"
#include "audio/library/formats/wav_reader.h"
#include "audio/library/library.h"
#include "audio/library/mixer.h"
#include "audio/library/sample.h"

namespace {

bool StartLibrary() {
  zv::SetOfflineMixing(true);
  zv::SetOutputType(zv::kOutputNoSound);
  return zv::InitAudio(22050, 2, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = StartLibrary();
  if (!ready || size > (1 << 20)) return 0;
  const auto length = static_cast<int32_t>(size);
  zv::SampleHandle sample = zv::LoadSample(-1, data, zv::sample_mode::kMemoryImage, length);
  if (sample) {
    // Touch the whole sample, as the mixer would.
    int32_t sum = 0;
    const int64_t bytes = zv::SampleByteSize(*sample) + zv::SampleFrameBytes(*sample);
    for (int64_t i = 0; i < bytes; ++i) sum += sample->data[i];
    (void)sum;
    zv::FreeSample(sample);
  }
  zv::AudioFile* file = zv::OpenAudioFile(data, zv::kAudioFileMemory, length);
  zv::WavData wav;
  zv::WavCueList cues;
  if (zv::OpenWavData(file, wav, &cues) && wav.decoder) {
    // Decode a piece into a destination smaller than the data needs.
    uint8_t source[2048] = {};
    uint8_t pcm[1024];
    zv::SeekAudioFile(file, wav.data_start, zv::kSeekSet);
    const int32_t got = zv::ReadAudioFile(source, sizeof source, file);
    uint32_t produced = sizeof pcm;
    zv::ConvertWavData(*wav.decoder, source, static_cast<uint32_t>(got > 0 ? got : 0), pcm, produced);
  }
  zv::CloseAudioFile(file);
  return 0;
}
