// Loading a 1024 x 1024 picture from PNG, JPEG, BMP and TGA files: our
// codecs (into a 32-bit surface) next to FreeImage loading the same files
// (into its own bitmap) in the same run.
#include <FreeImage.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "display/codecs/image_codecs.h"

namespace {

namespace fs = std::filesystem;
using namespace zv;

constexpr int32_t kSide = 1024;

platform::SurfacePtr MakeSurface(int32_t w, int32_t h) {
  platform::SurfaceDesc desc;
  desc.width = w;
  desc.height = h;
  desc.format = platform::PixelFormat::Xrgb8888();
  return platform::Surface::Create(desc);
}

// The files, written once per run into a private folder.
const std::string& FileOf(const std::string& ext) {
  static const fs::path folder = fs::temp_directory_path() / ("zv_bench_codecs_" + std::to_string(getpid()));
  static std::map<std::string, std::string> files;
  auto it = files.find(ext);
  if (it != files.end()) return it->second;
  fs::create_directories(folder);
  platform::SurfacePtr s = MakeSurface(kSide, kSide);
  for (int32_t y = 0; y < kSide; ++y)
    for (int32_t x = 0; x < kSide; ++x)
      s->SetPixelAt(x, y, static_cast<uint32_t>((x * 3 + y) & 255) << 16 | static_cast<uint32_t>((y * 5) & 255) << 8 |
                              static_cast<uint32_t>((x ^ y) & 255));
  const std::string path = (folder / ("picture." + ext)).string();
  codecs::SaveImageFile(*s, path);
  return files[ext] = path;
}

void Ours(benchmark::State& state, const std::string& ext) {
  const std::string& path = FileOf(ext);
  for (auto _ : state) benchmark::DoNotOptimize(codecs::LoadImageFile(path, MakeSurface));
}

void FreeImage(benchmark::State& state, const std::string& ext) {
  const std::string& path = FileOf(ext);
  for (auto _ : state) {
    FIBITMAP* bitmap = FreeImage_Load(FreeImage_GetFileType(path.c_str(), 0), path.c_str(), 0);
    benchmark::DoNotOptimize(bitmap);
    FreeImage_Unload(bitmap);
  }
}

BENCHMARK_CAPTURE(Ours, png, std::string("png"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FreeImage, png, std::string("png"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, jpg, std::string("jpg"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FreeImage, jpg, std::string("jpg"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, bmp, std::string("bmp"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FreeImage, bmp, std::string("bmp"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, tga, std::string("tga"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FreeImage, tga, std::string("tga"))->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
