// Ticks of the MOD, S3M, XM and IT players: each seed module played for ten
// seconds of 44.1 kHz output through the offline host, so the cost is the
// players' effects and note handling plus the host's plain mixing.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/library/formats/song_engine.h"
#include "audio/library/formats/song_offline_host.h"

namespace zv {
namespace {

std::vector<std::vector<uint8_t>> Seeds(const std::string& format) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(ZV_SONG_SEEDS) + "/" + format + "/corpus"))
    files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  std::vector<std::vector<uint8_t>> seeds;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return seeds;
}

void BM_PlaySeeds(benchmark::State& state, const char* format) {
  const std::vector<std::vector<uint8_t>> seeds = Seeds(format);
  for (auto _ : state) {
    for (const auto& data : seeds) {
      OfflineSongHost host(44100, 32, 100);
      host.record_events = false;
      SongEngine engine(host);
      Song* song = engine.LoadSongFromMemory(data.data(), static_cast<int32_t>(data.size()));
      if (!song) continue;
      engine.PlaySong(song);
      benchmark::DoNotOptimize(host.Render(engine, 400));
      engine.FreeSong(song);
    }
  }
}

BENCHMARK_CAPTURE(BM_PlaySeeds, mod, "mod")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PlaySeeds, s3m, "s3m")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PlaySeeds, xm, "xm")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PlaySeeds, it, "it")->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zv

BENCHMARK_MAIN();
