// Cost of the software mixer in each of its families: every voice
// interpolated, ramped and added into the work buffer, then turned into
// 16-bit output (rounded and clipped from floats, or copied from the
// saturated 16-bit frames). "voice_samples_per_second" is how many voice
// frames one core mixes per second; "realtime_channels" is that over the
// mix rate: how many such voices one core mixes in real time.
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
constexpr int32_t kFloatFamily = 5;
constexpr int32_t kSaturatingFamily = 7;

// Starts `count` looping voices of a 1-second sample at rates that do not
// divide the mix rate, so every frame interpolates.
void StartVoices(int32_t count, uint32_t mode, int32_t mixer_type) {
  SetOfflineMixing(true);
  SetOutputType(kOutputNoSound);
  SetMixerType(mixer_type);
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

void MixOneSecond(benchmark::State& state, uint32_t mode, int32_t mixer_type) {
  const auto count = static_cast<int32_t>(state.range(0));
  StartVoices(count, mode, mixer_type);
  std::vector<int16_t> out(static_cast<size_t>(kRate) * 2);
  for (auto _ : state) {
    MixOffline(out.data(), kRate);
    benchmark::DoNotOptimize(out.data());
  }
  CloseAudio();
  const double voice_seconds = static_cast<double>(count) * static_cast<double>(state.iterations());
  state.counters["realtime_channels"] = benchmark::Counter(voice_seconds, benchmark::Counter::kIsRate);
  state.counters["voice_samples_per_second"] = benchmark::Counter(voice_seconds * kRate, benchmark::Counter::kIsRate);
  state.SetLabel(mixer_type == kFloatFamily ? "float family" : "saturating family");
}

constexpr uint32_t k16Mono = sample_mode::k16Bit | sample_mode::kMono;
constexpr uint32_t k8Mono = sample_mode::k8Bit | sample_mode::kMono;
constexpr uint32_t k16Stereo = sample_mode::k16Bit | sample_mode::kStereo;

void BM_Float16BitMono(benchmark::State& state) { MixOneSecond(state, k16Mono, kFloatFamily); }
void BM_Saturating16BitMono(benchmark::State& state) { MixOneSecond(state, k16Mono, kSaturatingFamily); }
void BM_Float8BitMono(benchmark::State& state) { MixOneSecond(state, k8Mono, kFloatFamily); }
void BM_Saturating8BitMono(benchmark::State& state) { MixOneSecond(state, k8Mono, kSaturatingFamily); }
void BM_Float16BitStereo(benchmark::State& state) { MixOneSecond(state, k16Stereo, kFloatFamily); }
void BM_Saturating16BitStereo(benchmark::State& state) { MixOneSecond(state, k16Stereo, kSaturatingFamily); }

BENCHMARK(BM_Float16BitMono)->Arg(1)->Arg(8)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Saturating16BitMono)->Arg(1)->Arg(8)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Float8BitMono)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Saturating8BitMono)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Float16BitStereo)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Saturating16BitStereo)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace zv

BENCHMARK_MAIN();
