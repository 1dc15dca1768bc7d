// Decoding speed of the MPEG audio decoder in times real time. The stream
// comes from the file named by ZV_MPEG_BENCH_FILE (run.sh makes a 128 kbit/s
// stereo 44.1 kHz layer III file and times a peer decoder beside it).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "audio/library/formats/mpeg_decoder.h"

namespace {

std::vector<std::uint8_t> LoadStream() {
  const char* path = std::getenv("ZV_MPEG_BENCH_FILE");
  if (!path) return {};
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Decodes the whole stream frame by frame; returns the samples per channel.
std::int64_t DecodeAll(const std::vector<std::uint8_t>& stream, std::vector<std::int16_t>& pcm,
                       int& rate) {
  zv::MpegDecoder decoder;
  std::int64_t samples = 0;
  std::size_t pos = 0;
  while (pos + 4 <= stream.size()) {
    const std::span<const std::uint8_t> rest = std::span(stream).subspan(pos);
    int channels = 0, frame_size = 0;
    if (!zv::ParseMpegHeader(decoder, rest, &rate, &channels, &frame_size)) {
      ++pos;
      continue;
    }
    int bytes = 0;
    if (zv::DecodeMpegFrame(decoder, rest, pcm, bytes)) samples += bytes / 2 / channels;
    pos += 4 + static_cast<std::size_t>(frame_size);
  }
  return samples;
}

void BM_DecodeLayer3Stream(benchmark::State& state) {
  static const std::vector<std::uint8_t> stream = LoadStream();
  if (stream.empty()) {
    state.SkipWithError("set ZV_MPEG_BENCH_FILE to an MPEG audio file");
    return;
  }
  zv::InitDecoderTables();
  std::vector<std::int16_t> pcm(zv::kMpegMaxFrameSamples);
  int rate = 44100;
  double audio_seconds = 0.0;
  for (auto _ : state) {
    const std::int64_t samples = DecodeAll(stream, pcm, rate);
    benchmark::DoNotOptimize(pcm.data());
    audio_seconds += static_cast<double>(samples) / rate;
  }
  // Seconds of audio per second of decoding: times real time.
  state.counters["x_realtime"] = benchmark::Counter(audio_seconds, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeLayer3Stream)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
