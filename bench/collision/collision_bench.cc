// Intersection queries per second of the collision library: convex pairs
// through the solver (relative and placed forms) and a 10,000-triangle mesh
// against a box moving over it.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "collision/convex_shapes.h"
#include "collision/mesh_queries.h"
#include "collision/mesh_shape.h"
#include "collision/polytope_shapes.h"
#include "collision/solver.h"

namespace zv {
namespace {

constexpr int kPlacements = 1024;

Matrix3 RandomRotation(std::mt19937& engine) {
  std::normal_distribution<double> n(0.0, 1.0);
  double w = n(engine), x = n(engine), y = n(engine), z = n(engine);
  const double len = std::sqrt(w * w + x * x + y * y + z * z);
  w /= len, x /= len, y /= len, z /= len;
  return MakeMatrix3(1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y),  //
                     2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x),  //
                     2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y));
}

// Pairs of placements spread so that about half of the pairs meet.
struct PlacementPairs {
  std::vector<Placement> a, b, b_to_a;

  explicit PlacementPairs(double spread) {
    std::mt19937 engine(1234);
    std::uniform_real_distribution<double> offset(-spread, spread);
    for (int i = 0; i < kPlacements; ++i) {
      Placement pa, pb;
      pa.basis = RandomRotation(engine);
      pb.basis = RandomRotation(engine);
      pa.origin = {offset(engine), offset(engine), offset(engine)};
      pb.origin = {offset(engine), offset(engine), offset(engine)};
      pa.flags = pb.flags = Placement::kFromMatrix;
      a.push_back(pa);
      b.push_back(pb);
      b_to_a.push_back(RelativePlacement(pa, pb));
    }
  }
};

void ReportRate(benchmark::State& state, int hits, int queries) {
  state.SetItemsProcessed(state.iterations());
  state.counters["hit_share"] = queries ? double(hits) / queries : 0.0;
}

void RunRelative(benchmark::State& state, const ConvexShape& a, const ConvexShape& b, double spread) {
  const PlacementPairs pairs(spread);
  int i = 0, hits = 0, queries = 0;
  for (auto _ : state) {
    Vector3 v;
    const bool hit = ConvexIntersect(a, b, pairs.b_to_a[i], v);
    benchmark::DoNotOptimize(hit);
    hits += hit;
    ++queries;
    i = (i + 1) % kPlacements;
  }
  ReportRate(state, hits, queries);
}

void RunPlaced(benchmark::State& state, const ConvexShape& a, const ConvexShape& b, double spread) {
  const PlacementPairs pairs(spread);
  int i = 0, hits = 0, queries = 0;
  for (auto _ : state) {
    Vector3 v;
    const bool hit = ConvexIntersectPlaced(a, b, pairs.a[i], pairs.b[i], v);
    benchmark::DoNotOptimize(hit);
    hits += hit;
    ++queries;
    i = (i + 1) % kPlacements;
  }
  ReportRate(state, hits, queries);
}

// A convex hull sampled from a sphere: a 12-vertex polytope.
struct Polytope {
  std::vector<Vector3> vertices;
  const Vector3* base;
  std::unique_ptr<PointSetShape> shape;

  explicit Polytope(unsigned seed) {
    std::mt19937 engine(seed);
    std::normal_distribution<double> n(0.0, 1.0);
    for (int i = 0; i < 12; ++i) {
      Vector3 p{n(engine), n(engine), n(engine)};
      vertices.push_back(p * (1.0 / std::sqrt(Dot(p, p))));
    }
    base = vertices.data();
    std::vector<uint32_t> indices;
    for (uint32_t i = 0; i < vertices.size(); ++i) indices.push_back(i);
    shape = std::make_unique<PointSetShape>(&base, indices);
  }
};

void BM_BoxBox(benchmark::State& state) {
  const BoxShape a({1, 1, 1}), b({1, 0.5, 1.5});
  RunRelative(state, a, b, 1.6);
}
void BM_SphereBox(benchmark::State& state) {
  const SphereShape a(1.0);
  const BoxShape b({1, 0.5, 1.5});
  RunRelative(state, a, b, 1.6);
}
void BM_PolytopePolytope(benchmark::State& state) {
  const Polytope a(1), b(2);
  RunRelative(state, *a.shape, *b.shape, 1.2);
}
void BM_BoxBoxPlaced(benchmark::State& state) {
  const BoxShape a({1, 1, 1}), b({1, 0.5, 1.5});
  RunPlaced(state, a, b, 1.6);
}
void BM_SphereBoxPlaced(benchmark::State& state) {
  const SphereShape a(1.0);
  const BoxShape b({1, 0.5, 1.5});
  RunPlaced(state, a, b, 1.6);
}
void BM_PolytopePolytopePlaced(benchmark::State& state) {
  const Polytope a(1), b(2);
  RunPlaced(state, *a.shape, *b.shape, 1.2);
}

// A rolling terrain of 50 x 100 cells, two triangles each: 10,000 triangles.
struct Terrain {
  static constexpr int kCellsX = 50, kCellsZ = 100;
  std::vector<Vector3> vertices;
  MeshShape mesh;

  Terrain() {
    for (int z = 0; z <= kCellsZ; ++z) {
      for (int x = 0; x <= kCellsX; ++x) {
        vertices.push_back({double(x), 0.6 * std::sin(x * 0.37) * std::cos(z * 0.23), double(z)});
      }
    }
    mesh.SetVertexBase(vertices);
    std::vector<std::unique_ptr<PolytopeShape>> pieces;
    const auto at = [](int x, int z) { return uint32_t(z * (kCellsX + 1) + x); };
    for (int z = 0; z < kCellsZ; ++z) {
      for (int x = 0; x < kCellsX; ++x) {
        const uint32_t t1[] = {at(x, z), at(x + 1, z), at(x, z + 1)};
        const uint32_t t2[] = {at(x + 1, z), at(x + 1, z + 1), at(x, z + 1)};
        pieces.push_back(std::make_unique<PointSetShape>(mesh.vertex_base_field(), t1));
        pieces.push_back(std::make_unique<PointSetShape>(mesh.vertex_base_field(), t2));
      }
    }
    mesh.Complete(std::move(pieces));
  }
};

void BM_MeshMovingBox(benchmark::State& state) {
  const Terrain terrain;
  const BoxShape box({0.8, 0.5, 0.8});
  Placement mesh_placement;
  mesh_placement.flags = Placement::kFromMatrix;
  // The box glides along a winding path at a height that alternately grazes
  // the hills and clears them.
  std::vector<Placement> path;
  for (int i = 0; i < kPlacements; ++i) {
    const double t = i * 0.05;
    Placement p;
    p.basis = MakeMatrix3(std::cos(t), 0, std::sin(t), 0, 1, 0, -std::sin(t), 0, std::cos(t));
    p.origin = {25 + 20 * std::sin(t * 0.3), 0.9 + 0.4 * std::sin(t * 1.7), 50 + 45 * std::cos(t * 0.2)};
    p.flags = Placement::kFromMatrix;
    path.push_back(p);
  }
  int i = 0, hits = 0, queries = 0;
  Vector3 v;  // carried from frame to frame, as a cached pair does
  for (auto _ : state) {
    const bool hit = MeshIntersectsConvex(terrain.mesh, box, mesh_placement, path[i], v);
    benchmark::DoNotOptimize(hit);
    hits += hit;
    ++queries;
    i = (i + 1) % kPlacements;
  }
  ReportRate(state, hits, queries);
  state.counters["triangles"] = terrain.mesh.polytope_count();
}

BENCHMARK(BM_BoxBox);
BENCHMARK(BM_SphereBox);
BENCHMARK(BM_PolytopePolytope);
BENCHMARK(BM_BoxBoxPlaced);
BENCHMARK(BM_SphereBoxPlaced);
BENCHMARK(BM_PolytopePolytopePlaced);
BENCHMARK(BM_MeshMovingBox);

}  // namespace
}  // namespace zv

BENCHMARK_MAIN();
