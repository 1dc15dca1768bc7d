// Cost of the software mixer: every voice interpolated, ramped and summed
// into the float work buffer, then rounded and clipped to 16-bit output.
// "realtime_channels" is how many such voices one core mixes in real time:
// voices x seconds of audio made per second of CPU time.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "audio/library/channel.h"
#include "audio/library/library.h"
#include "audio/library/mixer.h"
#include "audio/library/sample.h"

namespace zv {
namespace {

constexpr int32_t kRate = 44100;

struct Voices {
  uint32_t mode;
  const char* name;
};

// Starts `count` looping voices of a 1-second sample at rates that do not
// divide the mix rate, so every frame interpolates.
void StartVoices(int32_t count, uint32_t mode) {
  SetOfflineMixing(true);
  SetOutputType(kOutputNoSound);
  InitAudio(kRate, count, 0);
  SampleHandle s = AllocSample(-1, kRate, mode | sample_mode::kLoopNormal | sample_mode::k2D, kRate, 255, -1, 255);
  const int64_t bytes = SampleByteSize(*s);
  for (int64_t i = 0; i < bytes; ++i) s->data[i] = static_cast<uint8_t>(i * 37 + (i >> 8));
  PadSampleLoop(*s);
  for (int32_t i = 0; i < count; ++i) {
    const ChannelHandle h = PlaySample(kChooseChannel, s);
    SetChannelFrequency(h, 22050 + i * 997);
    SetChannelVolume(h, 64 + i % 128);
    SetChannelPan(h, (i * 53) % 256);
  }
}

void MixOneSecond(benchmark::State& state, uint32_t mode) {
  const auto count = static_cast<int32_t>(state.range(0));
  StartVoices(count, mode);
  std::vector<int16_t> out(static_cast<size_t>(kRate) * 2);
  for (auto _ : state) {
    MixOffline(out.data(), kRate);
    benchmark::DoNotOptimize(out.data());
  }
  CloseAudio();
  state.counters["realtime_channels"] =
      benchmark::Counter(static_cast<double>(count) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
  state.SetLabel("1 s of 44100 Hz stereo per iteration");
}

void BM_Mix16BitMono(benchmark::State& state) { MixOneSecond(state, sample_mode::k16Bit | sample_mode::kMono); }
void BM_Mix8BitMono(benchmark::State& state) { MixOneSecond(state, sample_mode::k8Bit | sample_mode::kMono); }
void BM_Mix16BitStereo(benchmark::State& state) { MixOneSecond(state, sample_mode::k16Bit | sample_mode::kStereo); }

BENCHMARK(BM_Mix16BitMono)->Arg(1)->Arg(8)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Mix8BitMono)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Mix16BitStereo)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace zv

BENCHMARK_MAIN();
