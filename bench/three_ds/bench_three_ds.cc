// Speed of the 3DS to X conversion on a file of 100,000 triangles: four
// textured objects of 25,000 triangles each (a grid of 125 x 100 quads with
// texture coordinates, local axes and one material), converted in memory
// and from file to file. Bytes per second count the 3DS file's bytes; the
// X text's size is reported beside them.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <bit>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "models/files/three_ds_to_x.h"

namespace zv::models {
namespace {

using Bytes = std::vector<uint8_t>;

void U16(Bytes& b, uint16_t v) { b.insert(b.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}); }
void U32(Bytes& b, uint32_t v) {
  U16(b, static_cast<uint16_t>(v));
  U16(b, static_cast<uint16_t>(v >> 16));
}
void F32(Bytes& b, float v) { U32(b, std::bit_cast<uint32_t>(v)); }
void Str(Bytes& b, const std::string& s) {
  b.insert(b.end(), s.begin(), s.end());
  b.push_back(0);
}
Bytes Chunk(uint16_t id, const Bytes& body) {
  Bytes c;
  U16(c, id);
  U32(c, static_cast<uint32_t>(body.size() + 6));
  c.insert(c.end(), body.begin(), body.end());
  return c;
}
void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

constexpr int kQuadsX = 125, kQuadsZ = 100, kObjects = 4;

Bytes GridObject(int number) {
  Bytes vertices, uv, faces, group, axes;
  U16(vertices, (kQuadsX + 1) * (kQuadsZ + 1));
  U16(uv, (kQuadsX + 1) * (kQuadsZ + 1));
  for (int x = 0; x <= kQuadsX; ++x)
    for (int z = 0; z <= kQuadsZ; ++z) {
      F32(vertices, static_cast<float>(x) + 200.0f * static_cast<float>(number));
      F32(vertices, static_cast<float>(z));
      F32(vertices, static_cast<float>((x * 7 + z * 3) % 11) * 0.25f);
      F32(uv, static_cast<float>(x) / kQuadsX);
      F32(uv, static_cast<float>(z) / kQuadsZ);
    }
  U16(faces, 2 * kQuadsX * kQuadsZ);
  for (int x = 0; x < kQuadsX; ++x)
    for (int z = 0; z < kQuadsZ; ++z) {
      const auto a = static_cast<uint16_t>(x * (kQuadsZ + 1) + z), b = static_cast<uint16_t>(a + kQuadsZ + 1);
      for (uint16_t v : {a, b, static_cast<uint16_t>(b + 1), uint16_t{7}, a, static_cast<uint16_t>(b + 1),
                         static_cast<uint16_t>(a + 1), uint16_t{7}})
        U16(faces, v);
    }
  Str(group, "Ground");
  U16(group, 0);
  Append(faces, Chunk(0x4130, group));
  for (float v : {1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 200.0f * static_cast<float>(number), 0.f, 0.f})
    F32(axes, v);
  Bytes mesh = Chunk(0x4110, vertices);
  Append(mesh, Chunk(0x4120, faces));
  Append(mesh, Chunk(0x4140, uv));
  Append(mesh, Chunk(0x4160, axes));
  Bytes object;
  Str(object, "Grid" + std::to_string(number));
  Append(object, Chunk(0x4100, mesh));
  return Chunk(0x4000, object);
}

Bytes LargeFile() {
  Bytes name, colour, strength, map, material;
  Str(name, "Ground");
  colour = {200, 180, 120};
  U16(strength, 100);
  Str(map, "ground.bmp");
  Append(material, Chunk(0xA000, name));
  Append(material, Chunk(0xA020, Chunk(0x0011, colour)));
  Bytes texture = Chunk(0x0030, strength);
  Append(texture, Chunk(0xA300, map));
  Append(material, Chunk(0xA200, texture));
  Bytes editor = Chunk(0xAFFF, material);
  for (int i = 0; i < kObjects; ++i) Append(editor, GridObject(i));
  return Chunk(0x4D4D, Chunk(0x3D3D, editor));
}

void BM_ConvertInMemory(benchmark::State& state) {
  const Bytes file = LargeFile();
  size_t text_size = 0;
  for (auto _ : state) {
    const std::string text = ConvertThreeDsToXText(file);
    text_size = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
  state.counters["3ds_kb"] = static_cast<double>(file.size()) / 1024.0;
  state.counters["x_kb"] = static_cast<double>(text_size) / 1024.0;
}
BENCHMARK(BM_ConvertInMemory)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_ConvertFileToFile(benchmark::State& state) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / ("zv_bench_three_ds_" + std::to_string(getpid()));
  fs::create_directories(folder);
  const Bytes file = LargeFile();
  const std::string source = (folder / "grid.3ds").string(), target = (folder / "grid.x").string();
  std::ofstream(source, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  for (auto _ : state)
    if (Convert3dsToX(source, target) != 0) state.SkipWithError("the conversion failed");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
  fs::remove_all(folder);
}
BENCHMARK(BM_ConvertFileToFile)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
}  // namespace zv::models

BENCHMARK_MAIN();
