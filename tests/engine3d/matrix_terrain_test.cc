// Matrix terrain grids without a display: the grid points' shared
// corners, shifting, texture tiles, the ground height, and the commands'
// checks.
#include "engine3d/scene/matrix_terrain.h"

#include <gtest/gtest.h>

#include <functional>

#include "engine3d/engine.h"
#include "engine3d/objects/object_setup.h"
#include "engine3d/render/ground_height.h"
#include "engine3d/scene/matrix_commands.h"
#include "engine3d/scene/matrix_grid.h"
#include "runtime/vm/dispatch.h"
#include "runtime/vm/loader.h"
#include "runtime/vm/numeric/random.h"
#include "tests/support/fake_host.h"
#include "tests/support/program_assembler.h"

namespace zv {
namespace {

using test::ProgramAssembler;

MeshRecord Grid(int32_t tiles_x, int32_t tiles_z, float width = 10, float depth = 10) {
  MeshRecord mesh;
  BuildMatrixGrid(mesh, width, depth, tiles_x, tiles_z);
  return mesh;
}

// The heights of every corner, cell by cell.
std::vector<float> CornerHeights(const MeshRecord& mesh) {
  std::vector<float> out;
  for (size_t i = 1; i < mesh.vertices.size(); i += 3) out.push_back(mesh.vertices[i]);
  return out;
}

size_t CornerOf(int32_t x, int32_t z, int32_t tiles_z, int corner) {
  return static_cast<size_t>((x * tiles_z + z) * 4 + corner);
}

// Whether every corner of every grid point holds the point's height and
// normal.
bool CornersAgree(const MeshRecord& mesh, int32_t tiles_x, int32_t tiles_z) {
  MatrixGrid grid(const_cast<MeshRecord&>(mesh), tiles_x, tiles_z);
  for (int32_t x = 0; x <= tiles_x; ++x)
    for (int32_t z = 0; z <= tiles_z; ++z) {
      const float h = grid.PointHeight(x, z);
      const Vector3f n = grid.PointNormal(x, z);
      const std::pair<int32_t, int32_t> cells[4] = {{x, z}, {x - 1, z}, {x - 1, z - 1}, {x, z - 1}};
      for (int k = 0; k < 4; ++k) {
        const auto [cx, cz] = cells[k];
        if (cx < 0 || cz < 0 || cx >= tiles_x || cz >= tiles_z) continue;
        const size_t c = CornerOf(cx, cz, tiles_z, k);
        if (mesh.vertices[c * 3 + 1] != h) return false;
        if (Vector3f{mesh.normals[c * 3], mesh.normals[c * 3 + 1], mesh.normals[c * 3 + 2]} != n) return false;
      }
    }
  return true;
}

TEST(MatrixGrids, APointWritesEveryCornerItSharesAndOnlyThose) {
  MeshRecord mesh = Grid(3, 2);
  MatrixGrid grid(mesh, 3, 2);
  std::vector<float> expected(6 * 4, 0.0f);
  grid.SetPointHeight(3, 2, 5);  // the far corner: C of the last cell
  expected[CornerOf(2, 1, 2, 2)] = 5;
  grid.SetPointHeight(0, 0, 7);  // A of the first cell
  expected[CornerOf(0, 0, 2, 0)] = 7;
  grid.SetPointHeight(1, 1, 9);  // A, B, C and D of the four cells around it
  for (auto [x, z, k] : {std::tuple{1, 1, 0}, {0, 1, 1}, {0, 0, 2}, {1, 0, 3}}) expected[CornerOf(x, z, 2, k)] = 9;
  grid.SetPointHeight(3, 0, 4);  // B of cell (2, 0)
  expected[CornerOf(2, 0, 2, 1)] = 4;
  grid.SetPointHeight(0, 2, 3);  // D of cell (0, 1)
  expected[CornerOf(0, 1, 2, 3)] = 3;
  EXPECT_EQ(CornerHeights(mesh), expected);
  EXPECT_EQ(grid.PointHeight(3, 2), 5);
  EXPECT_EQ(grid.PointHeight(3, 0), 4);
  EXPECT_EQ(grid.PointHeight(0, 2), 3);
  EXPECT_EQ(grid.PointHeight(1, 1), 9);
  grid.SetPointNormal(1, 1, Vector3f{1, 0, 0});
  EXPECT_EQ(grid.PointNormal(1, 1), (Vector3f{1, 0, 0}));
  EXPECT_EQ(grid.PointHeight(1, 1), 9);
  EXPECT_TRUE(CornersAgree(mesh, 3, 2));
}

// Every point a height and a normal of its own; every cell its own u, v.
void Mark(MeshRecord& mesh, int32_t tiles_x, int32_t tiles_z) {
  MatrixGrid grid(mesh, tiles_x, tiles_z);
  for (int32_t x = 0; x <= tiles_x; ++x)
    for (int32_t z = 0; z <= tiles_z; ++z) {
      grid.SetPointHeight(x, z, static_cast<float>(x * 10 + z));
      grid.SetPointNormal(x, z, Vector3f{static_cast<float>(x), 1, static_cast<float>(z)});
    }
  for (int32_t x = 0; x < tiles_x; ++x)
    for (int32_t z = 0; z < tiles_z; ++z)
      grid.SetCellUV(x, z, MatrixGrid::TileUV{static_cast<float>(x), static_cast<float>(z), 0, 0});
}

TEST(MatrixGrids, ShiftsTurnTheLinesAndKeepTheFarOne) {
  MeshRecord mesh = Grid(5, 3);
  Mark(mesh, 5, 3);
  const MeshRecord marked = mesh;
  MatrixGrid grid(mesh, 5, 3);
  grid.ShiftMinusX();
  EXPECT_EQ(grid.PointHeight(0, 2), 12);  // column 1 moved to 0
  EXPECT_EQ(grid.PointHeight(4, 2), 2);   // column 0 moved to the last of the turn
  EXPECT_EQ(grid.PointHeight(5, 2), 52);  // the far column stays
  EXPECT_EQ(mesh.tex_coords[CornerOf(4, 1, 3, 0) * 2], 0.0f);  // cell column 0 moved to 4
  EXPECT_EQ(mesh.tex_coords[CornerOf(0, 1, 3, 0) * 2], 1.0f);
  EXPECT_TRUE(CornersAgree(mesh, 5, 3));
  for (int i = 0; i < 4; ++i) grid.ShiftMinusX();
  EXPECT_EQ(mesh.vertices, marked.vertices);
  EXPECT_EQ(mesh.normals, marked.normals);
  EXPECT_EQ(mesh.tex_coords, marked.tex_coords);

  grid.ShiftPlusZ();
  EXPECT_EQ(grid.PointHeight(2, 0), 22);  // row 2 moved to 0
  EXPECT_EQ(grid.PointHeight(2, 1), 20);
  EXPECT_EQ(grid.PointHeight(2, 3), 23);  // the far row stays
  EXPECT_TRUE(CornersAgree(mesh, 5, 3));
  grid.ShiftMinusZ();
  grid.ShiftPlusX();
  grid.ShiftMinusX();
  EXPECT_EQ(mesh.vertices, marked.vertices);
  EXPECT_EQ(mesh.tex_coords, marked.tex_coords);
}

TEST(MatrixGrids, TextureTilesAreCutRowByRowAndDrawnIn) {
  const MatrixGrid::TileUV t = MatrixTileUV(6, 4, 2, 0.0f, 0.0f);  // column 1 of row 1
  EXPECT_EQ(t.ua, 0.25f);
  EXPECT_EQ(t.ub, 0.5f);
  EXPECT_EQ(t.va, 0.5f);
  EXPECT_EQ(t.vb, 1.0f);
  const MatrixGrid::TileUV first = MatrixTileUV(0, 2, 2, 0.125f, 0.0625f);  // 0 means tile 1
  EXPECT_EQ(first.ua, 0.125f);
  EXPECT_EQ(first.ub, 0.375f);
  EXPECT_EQ(first.va, 0.0625f);
  EXPECT_EQ(first.vb, 0.4375f);
  MeshRecord mesh = Grid(1, 1);
  MatrixGrid(mesh, 1, 1).SetCellUV(0, 0, t);
  EXPECT_EQ(mesh.tex_coords, (std::vector<float>{0.25f, 1.0f, 0.5f, 1.0f, 0.5f, 0.5f, 0.25f, 0.5f}));
}

TEST(GroundHeights, AreReadFromTheTriangleOfTheCell) {
  // Two by two cells of 50; the first cell's corners at heights 0 (A), 10
  // (B), 20 (C) and 30 (D).
  MeshRecord mesh = Grid(2, 2, 100, 100);
  MatrixGrid grid(mesh, 2, 2);
  EXPECT_EQ(GroundHeightOf(mesh, 100, 100, 2, 2, 37, 61), 0.0f);  // flat
  grid.SetAllHeights(4.5f);
  EXPECT_EQ(GroundHeightOf(mesh, 100, 100, 2, 2, 37, 61), 4.5f);
  grid.SetPointHeight(0, 0, 0);
  grid.SetPointHeight(1, 0, 10);
  grid.SetPointHeight(1, 1, 20);
  grid.SetPointHeight(0, 1, 30);
  // In A D C the plane through A, D and C: h = -0.2 x + 0.6 z.
  EXPECT_NEAR(GroundHeightOf(mesh, 100, 100, 2, 2, 10, 30), 16.0f, 1e-4f);
  // In A C B the plane through A, C and B: h = 0.2 x + 0.2 z.
  EXPECT_NEAR(GroundHeightOf(mesh, 100, 100, 2, 2, 40, 10), 10.0f, 1e-4f);
  // On the diagonal the two agree; at grid points the point's height.
  EXPECT_NEAR(GroundHeightOf(mesh, 100, 100, 2, 2, 25, 25), 10.0f, 1e-4f);
  EXPECT_NEAR(GroundHeightOf(mesh, 100, 100, 2, 2, 0, 50), 30.0f, 1e-4f);
  EXPECT_NEAR(GroundHeightOf(mesh, 100, 100, 2, 2, 50, 0), 10.0f, 1e-4f);
  // The far edges take the last cells; nothing outside the grid is read.
  grid.SetPointHeight(2, 2, 8);
  EXPECT_NEAR(GroundHeightOf(mesh, 100, 100, 2, 2, 100, 100), 8.0f, 1e-4f);
  EXPECT_NEAR(GroundHeightOf(mesh, 100, 100, 2, 2, 1e9f, -1e9f), GroundHeightOf(mesh, 100, 100, 2, 2, 1e9f, -1e9f),
              0.0f);
}

TEST(GroundHeights, FollowTheDiagonalOfCellsLongerThanDeep) {
  // One by one cells of 100 x 50 with only C raised to 100: A D C is the
  // plane h = x, A C B the plane h = 2 z; the diagonal runs from (0, 0) to
  // (100, 50), so (40, 30) lies above it and (80, 30) below it.
  MeshRecord mesh = Grid(1, 1, 100, 50);
  MatrixGrid grid(mesh, 1, 1);
  grid.SetPointHeight(1, 1, 100);
  EXPECT_NEAR(GroundHeightOf(mesh, 100, 50, 1, 1, 40, 30), 40.0f, 1e-3f);
  EXPECT_NEAR(GroundHeightOf(mesh, 100, 50, 1, 1, 80, 30), 60.0f, 1e-3f);
  EXPECT_NEAR(GroundHeightOf(mesh, 100, 50, 1, 1, 60, 30), 60.0f, 1e-3f);
}

// ---- The commands, run by the machine ------------------------------------------------

constexpr uint32_t kEnd = 9990;
void End(Vm& vm) {
  vm.yield = true;
  vm.program_ended = true;
}

namespace op {
constexpr uint32_t kMakeMatrix = 7101;
constexpr uint32_t kDeleteMatrix = 7102;
constexpr uint32_t kFillMatrix = 7105;
constexpr uint32_t kRandomizeMatrix = 7106;
constexpr uint32_t kSetMatrixHeight = 7107;
constexpr uint32_t kShiftMatrixMinusXDeferred = 7117;
constexpr uint32_t kSetMatrixTile = 7132;
}  // namespace op

class MatrixCommands : public ::testing::Test {
 protected:
  MatrixCommands() {
    RegisterMatrixHandlers(handlers);
    handlers.Set(kEnd, End);
    vm.engine3d = &engine;
  }

  // Runs what `build` assembles from a reset engine; the error it ended on.
  int32_t Run(const std::function<void(ProgramAssembler&)>& build) {
    ProgramAssembler a;
    build(a);
    a.Op(kEnd);
    EXPECT_TRUE(InstallProgram(vm, a.Finish()));
    ResetVmState(vm);
    engine.ResetRecordPools(vm);
    vm.render_timing.backdrop_on = false;
    // Each yielding command ends a slice; the run goes on until the end.
    for (int slice = 0; slice < 1000 && !vm.program_ended; ++slice) RunVmLoop(vm);
    return vm.errors.code;
  }
  static void Make(ProgramAssembler& a, int32_t number, float width, float depth, int32_t tx, int32_t tz) {
    a.Op(op::kMakeMatrix, {a.IntConst(number), a.FloatConst(width), a.FloatConst(depth), a.IntConst(tx), a.IntConst(tz)});
  }

  HandlerTable handlers;
  test::FakeHost host;
  Vm vm{handlers, host};
  Engine3D engine;
};

TEST_F(MatrixCommands, MakingChecksNumberSizeAndTriangles) {
  EXPECT_EQ(Run([](ProgramAssembler& a) { Make(a, 0, 10, 10, 1, 1); }), 7010);
  EXPECT_EQ(Run([](ProgramAssembler& a) { Make(a, 1, 0, 10, 1, 1); }), 7011);
  EXPECT_EQ(Run([](ProgramAssembler& a) { Make(a, 1, 10, 10, 0, 1); }), 7012);
  EXPECT_EQ(Run([](ProgramAssembler& a) { Make(a, 1, 10, 10, 101, 50); }), 7015);
  EXPECT_EQ(Run([](ProgramAssembler& a) {
              Make(a, 1, 10, 10, 2, 2);
              Make(a, 1, 10, 10, 2, 2);
            }),
            7009);
  EXPECT_EQ(Run([](ProgramAssembler& a) { Make(a, 1, 10, 10, 100, 50); }), 0);  // 10000 triangles
}

TEST_F(MatrixCommands, ANewMatrixIsAWireframeGridSeenFromItsMiddle) {
  ASSERT_EQ(Run([](ProgramAssembler& a) { Make(a, 7, 100, 60, 4, 3); }), 0);
  const int32_t index = FindMatrix(engine, 7);
  ASSERT_GT(index, 0);
  ObjectRecord& o = engine.pools.objects[index];
  const RenderMarks& marks = engine.Marks(o.render_record);
  EXPECT_EQ(marks.wireframe, 1u);
  EXPECT_EQ(marks.culling, 0u);
  EXPECT_EQ(marks.address_mode, 2u);
  EXPECT_EQ(o.collision_on, 0);
  EXPECT_EQ(o.texture_tiles, 0);
  // The flat grid's bounding sphere: centre (50, 0, 30), radius sqrt(50^2 + 30^2).
  MeasureBoundsIfStale(engine, index);
  EXPECT_EQ(o.bound_radius, 59.0f);
  EXPECT_EQ(engine.camera.position.x, 50.0f);
  EXPECT_NEAR(engine.camera.position.y, 0.5831f, 1e-3f);
  EXPECT_EQ(engine.camera.position.z, 30.0f);
  EXPECT_EQ(engine.camera.look_at.z, 130.0f);
  EXPECT_EQ(engine.pools.meshes[o.Limb(0)->grid_mesh].face_count, 24);
}

TEST_F(MatrixCommands, GridPointsAndTilesAreChecked) {
  auto with_matrix = [&](const std::function<void(ProgramAssembler&)>& more) {
    return Run([&](ProgramAssembler& a) {
      Make(a, 1, 10, 10, 4, 4);
      more(a);
    });
  };
  EXPECT_EQ(with_matrix([](ProgramAssembler& a) {
              a.Op(op::kSetMatrixHeight, {a.IntConst(1), a.IntConst(4), a.IntConst(4), a.FloatConst(2)});
            }),
            0);
  EXPECT_EQ(GetMatrixPointHeight(engine, FindMatrix(engine, 1), 4, 4), 2.0f);
  EXPECT_EQ(with_matrix([](ProgramAssembler& a) {
              a.Op(op::kSetMatrixHeight, {a.IntConst(1), a.IntConst(5), a.IntConst(0), a.FloatConst(2)});
            }),
            7017);
  EXPECT_EQ(with_matrix([](ProgramAssembler& a) {
              a.Op(op::kSetMatrixTile, {a.IntConst(1), a.IntConst(4), a.IntConst(0), a.IntConst(1)});
            }),
            7017);
  // Without a prepared texture there are no tiles, and the heights stay.
  EXPECT_EQ(with_matrix([](ProgramAssembler& a) {
              a.Op(op::kFillMatrix, {a.IntConst(1), a.FloatConst(3), a.IntConst(1)});
            }),
            7016);
  EXPECT_EQ(GetMatrixPointHeight(engine, FindMatrix(engine, 1), 2, 2), 0.0f);
  EXPECT_EQ(with_matrix([](ProgramAssembler& a) {
              a.Op(op::kRandomizeMatrix, {a.IntConst(1), a.FloatConst(0)});
            }),
            7014);
  EXPECT_EQ(with_matrix([](ProgramAssembler& a) {
              a.Op(op::kDeleteMatrix, {a.IntConst(1)});
              a.Op(op::kShiftMatrixMinusXDeferred, {a.IntConst(1), a.IntConst(0)});
            }),
            7013);
}

TEST_F(MatrixCommands, RandomHeightsComeFromTheOneGeneratorPointByPoint) {
  SeedRandom(1234);
  ASSERT_EQ(Run([](ProgramAssembler& a) {
              Make(a, 1, 10, 10, 3, 2);
              a.Op(op::kRandomizeMatrix, {a.IntConst(1), a.FloatConst(2.5f)});
            }),
            0);
  SeedRandom(1234);
  const int32_t index = FindMatrix(engine, 1);
  for (int32_t x = 0; x <= 3; ++x)
    for (int32_t z = 0; z <= 2; ++z)
      EXPECT_EQ(GetMatrixPointHeight(engine, index, x, z), static_cast<float>(RandomDraw() % 250) / 100.0f)
          << x << "," << z;
  MeshRecord* mesh = nullptr;
  ASSERT_TRUE(MatrixGridOf(engine, index, &mesh));
  EXPECT_TRUE(CornersAgree(*mesh, 3, 2));
  // The ground height query reads the same grid.
  EXPECT_EQ(GetMatrixGroundHeight(engine, index, 0, 0), GetMatrixPointHeight(engine, index, 0, 0));
}

}  // namespace
}  // namespace zv
