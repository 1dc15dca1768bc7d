#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "collision/convex_shapes.h"
#include "collision/mesh_queries.h"
#include "collision/mesh_shape.h"
#include "collision/solver.h"
#include "tests/collision/collision_test_util.h"

namespace zv {
namespace {

using testing::Length;
using testing::Random;

// A mesh of point-set triangles over its own vertex array.
struct TestMesh {
  std::vector<Vector3> vertices;
  MeshShape shape;

  void Complete(const std::vector<std::array<uint32_t, 3>>& triangles) {
    shape.SetVertexBase(vertices);
    std::vector<std::unique_ptr<PolytopeShape>> pieces;
    for (const auto& t : triangles) {
      pieces.push_back(std::make_unique<PointSetShape>(shape.vertex_base_field(), t));
    }
    shape.Complete(std::move(pieces));
  }
};

// Small triangles scattered through a cube.
void MakeSoup(TestMesh& mesh, Random& random, int count, double spread, double size) {
  std::vector<std::array<uint32_t, 3>> triangles;
  for (int i = 0; i < count; ++i) {
    const Vector3 centre = random.InCube(spread);
    const uint32_t first = static_cast<uint32_t>(mesh.vertices.size());
    for (int k = 0; k < 3; ++k) mesh.vertices.push_back(centre + random.InCube(size));
    triangles.push_back({first, first + 1, first + 2});
  }
  mesh.Complete(triangles);
}

// One triangle per x position, all alike otherwise.
void MakeRow(TestMesh& mesh, const std::vector<double>& xs) {
  std::vector<std::array<uint32_t, 3>> triangles;
  for (double x : xs) {
    const uint32_t first = static_cast<uint32_t>(mesh.vertices.size());
    mesh.vertices.push_back({x - 1, 0, 0});
    mesh.vertices.push_back({x + 1, 0, 0});
    mesh.vertices.push_back({x, 1, 1});
    triangles.push_back({first, first + 1, first + 2});
  }
  mesh.Complete(triangles);
}

double PieceX(const BoxTreeNode* leaf) { return leaf->box.centre.x; }

TEST(BoxTree, OnePieceIsItsOwnRoot) {
  TestMesh mesh;
  MakeRow(mesh, {0});
  ASSERT_NE(mesh.shape.tree().root(), nullptr);
  EXPECT_TRUE(mesh.shape.tree().root()->is_leaf);
  EXPECT_TRUE(mesh.shape.tree().internal_nodes().empty());
}

TEST(BoxTree, CoincidentPiecesAreSplitInHalves) {
  TestMesh mesh;
  MakeRow(mesh, {0, 0});
  const BoxTreeNode* root = mesh.shape.tree().root();
  ASSERT_FALSE(root->is_leaf);
  EXPECT_TRUE(root->upper->is_leaf);
  EXPECT_TRUE(root->lower->is_leaf);
  EXPECT_NE(root->upper, root->lower);
}

TEST(BoxTree, SplitsAtTheCentreOfTheLongestAxis) {
  TestMesh mesh;
  MakeRow(mesh, {0, 10, 0});
  const BoxTreeNode* root = mesh.shape.tree().root();
  ASSERT_TRUE(root->upper->is_leaf);
  EXPECT_EQ(PieceX(root->upper), 10);
  ASSERT_FALSE(root->lower->is_leaf);
  EXPECT_EQ(PieceX(root->lower->upper), 0);
  EXPECT_EQ(PieceX(root->lower->lower), 0);
  // The lower subtree takes its nodes first.
  EXPECT_EQ(root, &mesh.shape.tree().internal_nodes()[0]);
  EXPECT_EQ(root->lower, &mesh.shape.tree().internal_nodes()[1]);
}

TEST(BoxTree, EveryPieceHasOneLeafInsideEveryBoxAboveIt) {
  Random random(21);
  TestMesh mesh;
  MakeSoup(mesh, random, 300, 5, 0.5);
  const BoxTree& tree = mesh.shape.tree();
  EXPECT_EQ(tree.leaves().size(), 300u);
  EXPECT_EQ(tree.internal_nodes().size(), 299u);
  std::vector<const PolytopeShape*> seen;
  std::function<void(const BoxTreeNode*)> visit = [&](const BoxTreeNode* node) {
    if (node->is_leaf) {
      seen.push_back(node->polytope);
      return;
    }
    for (const BoxTreeNode* child : {node->upper, node->lower}) {
      for (int i = 0; i < 3; ++i) {
        EXPECT_LE(node->box.Lower()[i], child->box.Lower()[i] + 1e-12);
        EXPECT_GE(node->box.Upper()[i] + 1e-12, child->box.Upper()[i]);
      }
      visit(child);
    }
  };
  visit(tree.root());
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());
  EXPECT_EQ(seen.size(), 300u);
}

TEST(MeshShape, BoundsTurnTheRootBoxWithTheAbsoluteBasis) {
  TestMesh mesh;
  mesh.vertices = {{0, 0, 0}, {2, 4, 6}, {1, 1, 1}};
  mesh.Complete({{0, 1, 2}});
  Placement swap;
  swap.basis = MakeMatrix3(0, 0, 1, 0, -1, 0, 1, 0, 0);
  swap.origin = {10, 0, 0};
  const AxisBox box = mesh.shape.Bounds(swap);
  EXPECT_EQ(box.half_extent.x, 3);
  EXPECT_EQ(box.half_extent.y, 2);
  EXPECT_EQ(box.half_extent.z, 1);
  EXPECT_EQ(box.centre.x, 13);
  EXPECT_EQ(box.centre.y, -2);
  EXPECT_EQ(box.centre.z, 1);
}

TEST(MeshShape, PiecesOutsideTheVerticesAreDropped) {
  TestMesh mesh;
  mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {NAN, 0, 0}};
  mesh.Complete({{0, 1, 2}, {0, 1, 7}, {0, 1, 3}});
  EXPECT_EQ(mesh.shape.polytope_count(), 1);
}

TEST(MeshShape, MeshWithoutPiecesMeetsNothing) {
  TestMesh mesh;
  mesh.Complete({});
  EXPECT_TRUE(mesh.shape.IsDegenerate());
  EXPECT_EQ(mesh.shape.tree().root(), nullptr);
  const AxisBox box = mesh.shape.Bounds(Placement{});
  EXPECT_LT(box.half_extent.x, 0);
  BoxShape cube({1, 1, 1});
  Vector3 v, pa, pb;
  EXPECT_FALSE(MeshIntersectsConvex(mesh.shape, cube, Placement{}, Placement{}, v));
  EXPECT_FALSE(MeshCommonPointConvex(mesh.shape, cube, Placement{}, Placement{}, v, pa, pb));
  EXPECT_FALSE(MeshesIntersect(mesh.shape, mesh.shape, Placement{}, Placement{}, v));
}

// The tree's answer equals testing every piece on its own.
TEST(MeshQueries, MeshAgainstBoxEqualsTestingEveryPiece) {
  Random random(31);
  TestMesh mesh;
  MakeSoup(mesh, random, 200, 4, 0.6);
  BoxShape box({0.7, 0.3, 0.5});
  int hits = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const Placement tm = random.RigidPlacement(1), tb = random.RigidPlacement(5);
    const Placement b_to_a = RelativePlacement(tm, tb);
    bool any = false;
    for (const BoxTreeNode& leaf : mesh.shape.tree().leaves()) {
      Vector3 v;
      any = any || ConvexIntersect(*leaf.polytope, box, b_to_a, v);
    }
    Vector3 v;
    EXPECT_EQ(MeshIntersectsConvex(mesh.shape, box, tm, tb, v), any);
    const PolytopeShape* hit = nullptr;
    v = {};
    EXPECT_EQ(MeshFindConvexHit(mesh.shape, box, tm, tb, v, hit), any);
    Vector3 pa, pb;
    v = {};
    EXPECT_EQ(MeshCommonPointConvex(mesh.shape, box, tm, tb, v, pa, pb), any);
    if (any) {
      ++hits;
      ASSERT_NE(hit, nullptr);
      Vector3 hv;
      EXPECT_TRUE(ConvexIntersect(*hit, box, b_to_a, hv));
      EXPECT_NEAR(Length(Apply(tm, pa) - Apply(tb, pb)), 0.0, 1e-9);
      EXPECT_LE(testing::DistanceToBox(pb, box.half_extent()), 1e-9);
    }
  }
  EXPECT_GT(hits, 30);
  EXPECT_LT(hits, 270);
}

TEST(MeshQueries, MeshAgainstMeshEqualsTestingEveryPair) {
  Random random(41);
  TestMesh a, b;
  MakeSoup(a, random, 60, 3, 0.5);
  MakeSoup(b, random, 40, 2, 0.5);
  int hits = 0;
  for (int trial = 0; trial < 80; ++trial) {
    const Placement ta = random.RigidPlacement(1), tb = random.RigidPlacement(4);
    const Placement b_to_a = RelativePlacement(ta, tb);
    bool any = false;
    for (const BoxTreeNode& la : a.shape.tree().leaves()) {
      for (const BoxTreeNode& lb : b.shape.tree().leaves()) {
        Vector3 v;
        any = any || ConvexIntersect(*la.polytope, *lb.polytope, b_to_a, v);
      }
    }
    Vector3 v;
    EXPECT_EQ(MeshesIntersect(a.shape, b.shape, ta, tb, v), any);
    const PolytopeShape *hit_a = nullptr, *hit_b = nullptr;
    v = {};
    EXPECT_EQ(MeshesFindHit(a.shape, b.shape, ta, tb, v, hit_a, hit_b), any);
    Vector3 pa, pb;
    v = {};
    EXPECT_EQ(MeshesCommonPoint(a.shape, b.shape, ta, tb, v, pa, pb), any);
    if (any) {
      ++hits;
      EXPECT_NEAR(Length(Apply(ta, pa) - Apply(tb, pb)), 0.0, 1e-9);
    }
  }
  EXPECT_GT(hits, 10);
  EXPECT_LT(hits, 70);
}

// Pieces whose centres grow geometrically split off one per level, so the
// tree is as deep as the mesh is long; building and walking it must not
// depend on the call stack.
TEST(MeshQueries, LopsidedDeepTreeIsBuiltAndWalked) {
  std::vector<double> xs;
  for (double x = 1; xs.size() < 600; x *= 2.5) xs.push_back(x);
  TestMesh mesh;
  MakeRow(mesh, xs);
  int depth = 0;
  for (const BoxTreeNode* node = mesh.shape.tree().root(); !node->is_leaf; node = node->lower) ++depth;
  EXPECT_GT(depth, 500);
  SphereShape ball(0.5);
  Placement at;
  at.origin = {1, 0.2, 0.2};
  Vector3 v;
  EXPECT_TRUE(MeshIntersectsConvex(mesh.shape, ball, Placement{}, at, v));
  v = {};
  EXPECT_TRUE(MeshesIntersect(mesh.shape, mesh.shape, Placement{}, Placement{}, v));
}

}  // namespace
}  // namespace zv
