// Static line collision queries per second against a level of 10,000
// polygons: 1,000 copied objects of 10 triangles each on a 32 x 32 floor
// plan, with a collision box around every object (or around every tenth),
// and lines of 20 to 200 units run through it with a radius of 2 and a step
// of 1, as the camera's follow command and programs ask them.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "engine3d/scene/static_scene.h"

namespace zv {
namespace {

constexpr int kObjects = 1000;
constexpr int kTrianglesPerObject = 10;
constexpr int kGrid = 32;
constexpr float kSpacing = 20.0f;
constexpr int kLines = 4096;

// A pentagonal bipyramid of ten triangles around (x, y, z) as a mesh
// record's arrays.
struct Bipyramid {
  std::vector<float> positions, normals, tex_coords;
  std::vector<uint32_t> faces;
};

Bipyramid MakeBipyramid(float x, float y, float z, float radius, float height) {
  Bipyramid b;
  for (int k = 0; k < 5; ++k) {
    const float a = 2.0f * 3.14159265f * static_cast<float>(k) / 5.0f;
    b.positions.insert(b.positions.end(), {x + radius * std::cos(a), y, z + radius * std::sin(a)});
  }
  b.positions.insert(b.positions.end(), {x, y + height, z, x, y - height, z});
  const size_t count = b.positions.size() / 3;
  b.normals.assign(count * 3, 0.0f);
  b.tex_coords.assign(count * 2, 0.5f);
  for (uint32_t k = 0; k < 5; ++k) {
    const uint32_t next = (k + 1) % 5;
    for (uint32_t apex : {5u, 6u}) b.faces.insert(b.faces.end(), {3, apex, apex, k, k, next, next});
  }
  return b;
}

struct Line {
  Vector3f start, end;
};

struct Level {
  StaticScene scene;
  std::vector<Line> lines;
  size_t polygons = 0;
};

Level MakeLevel(int box_every) {
  Level level;
  std::mt19937 random(2024);
  std::uniform_real_distribution<float> jitter(-4.0f, 4.0f), size(3.0f, 7.0f);
  for (int i = 0; i < kObjects; ++i) {
    const float x = static_cast<float>(i % kGrid) * kSpacing + jitter(random);
    const float z = static_cast<float>(i / kGrid) * kSpacing + jitter(random);
    const float radius = size(random), height = size(random);
    Bipyramid b = MakeBipyramid(x, height, z, radius, height);
    StaticMeshData mesh{b.positions, b.normals, b.tex_coords, b.faces, kTrianglesPerObject};
    bool made_group = false;
    AddStaticPolygon(level.scene, 0, MakeStaticPolygon(mesh, StaticPieceMode{}), &made_group);
    level.polygons += kTrianglesPerObject;
    if (i % box_every == 0)
      AddStaticBox(level.scene, Vector3f{x - radius, 0.0f, z - radius},
                   Vector3f{x + radius, 2.0f * height, z + radius});
  }
  const float extent = kGrid * kSpacing;
  std::uniform_real_distribution<float> across(0.0f, extent), up(1.0f, 12.0f), length(20.0f, 200.0f),
      turn(0.0f, 6.2831853f);
  for (int i = 0; i < kLines; ++i) {
    const Vector3f start{across(random), up(random), across(random)};
    const float l = length(random), a = turn(random);
    level.lines.push_back({start, Vector3f{start.x + l * std::sin(a), up(random), start.z + l * std::cos(a)}});
  }
  return level;
}

void BM_StaticLineCollision(benchmark::State& state) {
  const Level level = MakeLevel(static_cast<int>(state.range(0)));
  size_t next = 0;
  int64_t contacts = 0;
  Vector3f stop;
  for (auto _ : state) {
    const Line& line = level.lines[next];
    next = (next + 1) % level.lines.size();
    contacts += StaticLineCollision(level.scene, line.start, line.end, 2.0f, 1.0f, &stop);
    benchmark::DoNotOptimize(stop);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["polygons"] = static_cast<double>(level.polygons);
  state.counters["boxes"] = static_cast<double>(level.scene.boxes.size());
  state.counters["contact_share"] = static_cast<double>(contacts) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_StaticLineCollision)->ArgName("box_every")->Arg(1)->Arg(10);

}  // namespace
}  // namespace zv

BENCHMARK_MAIN();
