// The collision objects that meshes file with the collision library: their
// keys, the shapes of each kind, their placement, and freeing them.
#include <gtest/gtest.h>

#include <vector>

#include "collision/collision_interface.h"
#include "models/nodes/frame_node.h"
#include "models/nodes/mesh_node.h"
#include "tests/platform/render3d/render3d_test_util.h"

namespace zv::models {
namespace {

using platform::test3d::Translation;

CollisionWorld& World() { return SharedCollisionWorld(); }

// A mesh of triangles from flat positions, with the given limb number.
std::unique_ptr<MeshNode> Mesh(std::vector<float> positions, std::vector<uint32_t> triangles, int32_t limb) {
  std::vector<uint32_t> faces;
  for (size_t i = 0; i + 3 <= triangles.size(); i += 3)
    faces.insert(faces.end(), {3, triangles[i], triangles[i + 1], triangles[i + 2]});
  auto mesh = MeshNode::Create("mesh", positions, static_cast<uint32_t>(triangles.size() / 3), faces, false);
  mesh->set_number(limb);
  return mesh;
}

// Two triangles spanning x from -1 to 3, y from 0 to 2, z 0.
std::unique_ptr<MeshNode> Quad(int32_t limb) {
  return Mesh({-1, 0, 0, 3, 0, 0, 3, 2, 0, -1, 2, 0}, {0, 1, 2, 0, 2, 3}, limb);
}

// root(0) holding a quad of limb 0, and frame 2 holding two quads of limb 2.
struct Tree {
  std::unique_ptr<FrameNode> root = FrameNode::Create("root", 0);
  MeshNode* root_mesh = nullptr;
  FrameNode* limb = nullptr;
  MeshNode* limb_meshes[2] = {};
};

Tree MakeTree() {
  Tree t;
  auto mesh = Quad(0);
  t.root_mesh = mesh.get();
  t.root->AddChildNode(std::move(mesh));
  auto limb = FrameNode::Create("limb", 2);
  for (MeshNode*& m : t.limb_meshes) {
    auto quad = Quad(2);
    m = quad.get();
    limb->AddChildNode(std::move(quad));
  }
  t.limb = limb.get();
  t.root->AddChildNode(std::move(limb));
  return t;
}

const CollisionObject* Filed(uint32_t object, const MeshNode* mesh) {
  return World().FindObject(MakeCollisionKey(object, mesh->collision_number()));
}

TEST(MeshCollision, EveryMeshOfATreeFilesUnderItsOwnNumberWithTheObjectIndex) {
  const size_t before = World().object_count();
  {
    Tree t = MakeTree();
    t.root->BuildNodeCollision(12, 52, 0, 0, 0);
    EXPECT_EQ(World().object_count(), before + 3);
    // Two meshes of one limb still get keys of their own.
    EXPECT_NE(t.limb_meshes[0]->collision_number(), t.limb_meshes[1]->collision_number());
    for (const MeshNode* m : {t.root_mesh, t.limb_meshes[0], t.limb_meshes[1]}) {
      ASSERT_NE(Filed(12, m), nullptr);
      EXPECT_EQ(CollisionKeyObjectIndex(Filed(12, m)->key()), 12u);
    }
  }
  // The tree takes its collision objects with it.
  EXPECT_EQ(World().object_count(), before);
}

TEST(MeshCollision, SizedKindsMakeTheirShapes) {
  Tree t = MakeTree();
  t.root->BuildNodeCollision(3, 6, 2, 4, 99);
  auto* flat = dynamic_cast<const BoxShape*>(&Filed(3, t.root_mesh)->shape());
  ASSERT_NE(flat, nullptr);
  EXPECT_EQ(flat->half_extent().x, 1.0);
  EXPECT_EQ(flat->half_extent().y, 2.0);
  EXPECT_EQ(flat->half_extent().z, 0.5);
  t.root->BuildNodeCollision(3, 4, 1.5f, 6, 0);
  auto* cylinder = dynamic_cast<const CylinderShape*>(&Filed(3, t.root_mesh)->shape());
  ASSERT_NE(cylinder, nullptr);
  EXPECT_EQ(cylinder->radius(), 1.5);
  EXPECT_EQ(cylinder->half_height(), 3.0);
  t.root->BuildNodeCollision(3, 5, 1, 2, 0);
  EXPECT_NE(dynamic_cast<const ConeShape*>(&Filed(3, t.root_mesh)->shape()), nullptr);
  t.root->BuildNodeCollision(3, 3, 5, 0, 0);
  EXPECT_EQ(dynamic_cast<const BoxShape*>(&Filed(3, t.root_mesh)->shape())->half_extent().z, 2.5);
  // A kind without a shape files nothing.
  t.root->BuildNodeCollision(3, 7, 1, 1, 1);
  EXPECT_EQ(Filed(3, t.root_mesh), nullptr);
}

TEST(MeshCollision, AFittedBoxIsPlacedOnItsCentreTurnedWithTheMesh) {
  Tree t = MakeTree();
  t.root->BuildNodeCollision(5, 52, 0, 0, 0);
  const auto* box = dynamic_cast<const BoxShape*>(&Filed(5, t.root_mesh)->shape());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->half_extent().x, 2.0);  // size 4
  EXPECT_EQ(box->half_extent().y, 1.0);
  // The centre (1, 1, 0) turned a quarter about z lands at (-1, 1, 0).
  Matrix4 world = Matrix4::Identity();
  world.m[0][0] = 0, world.m[0][1] = 1, world.m[1][0] = -1, world.m[1][1] = 0;
  world.m[3][0] = 10;
  t.root->UpdateNodeCollision(world, 5);
  const Vector3& origin = Filed(5, t.root_mesh)->placement().origin;
  EXPECT_NEAR(origin.x, 9.0, 1e-6);
  EXPECT_NEAR(origin.y, 1.0, 1e-6);
  EXPECT_NEAR(origin.z, 0.0, 1e-6);
}

TEST(MeshCollision, FramesPlaceTheirMeshesWithTheirMatrices) {
  Tree t = MakeTree();
  t.limb->set_local_matrix(Translation(0, 7, 0));
  t.root->SetRootTransform(1, Translation(0, 0, 3));
  t.root->BuildNodeCollision(5, 2, 1, 0, 0);
  t.root->UpdateNodeCollision(Translation(100, 0, 0), 5);
  const Vector3& root_origin = Filed(5, t.root_mesh)->placement().origin;
  EXPECT_EQ(root_origin.x, 100.0);
  EXPECT_EQ(root_origin.z, 3.0);  // the root transform counts
  const Vector3& limb_origin = Filed(5, t.limb_meshes[1])->placement().origin;
  EXPECT_EQ(limb_origin.y, 7.0);
  EXPECT_EQ(limb_origin.x, 100.0);
}

TEST(MeshCollision, KindZeroAndFreeingRemoveTheObjectsCollisionOnly) {
  Tree t = MakeTree();
  t.root->BuildNodeCollision(5, 52, 0, 0, 0);
  t.root->BuildNodeCollision(6, 51, 0, 0, 0);
  t.root->FreeNodeCollisionByNumber(5, 2);
  EXPECT_NE(Filed(5, t.root_mesh), nullptr);
  EXPECT_EQ(Filed(5, t.limb_meshes[0]), nullptr);
  EXPECT_EQ(Filed(5, t.limb_meshes[1]), nullptr);
  EXPECT_NE(Filed(6, t.limb_meshes[0]), nullptr);
  t.root->BuildNodeCollisionByNumber(5, 2, 99);
  EXPECT_NE(Filed(5, t.limb_meshes[1]), nullptr);
  t.root->BuildNodeCollision(5, 0, 0, 0, 0);
  for (const MeshNode* m : {t.root_mesh, t.limb_meshes[0], t.limb_meshes[1]}) {
    EXPECT_EQ(Filed(5, m), nullptr);
    EXPECT_NE(Filed(6, m), nullptr);  // another object sharing the tree keeps its own
  }
  // Placing an object that files nothing moves nothing.
  const CollisionObject* other = Filed(6, t.root_mesh);
  const Vector3 before = other->placement().origin;
  t.root->UpdateNodeCollision(Translation(50, 50, 50), 5);
  EXPECT_EQ(other->placement().origin.x, before.x);
  t.root->FreeNodeCollision(0);
  EXPECT_EQ(Filed(6, t.root_mesh), nullptr);
}

TEST(MeshCollision, APolygonShapeHasOnePieceForEveryTriangle) {
  std::vector<float> positions;
  std::vector<uint32_t> triangles;
  for (uint32_t k = 0; k < 12; ++k) {
    positions.insert(positions.end(), {float(k), 0, 0, float(k), 1, 0, float(k) + 1, 0, 1});
    triangles.insert(triangles.end(), {3 * k, 3 * k + 1, 3 * k + 2});
  }
  auto root = FrameNode::Create("root", 0);
  root->AddChildNode(Mesh(positions, triangles, 0));
  auto* mesh = static_cast<MeshNode*>(root->first_child());
  root->BuildNodeCollision(8, 99, 0, 0, 0);
  const auto* shape = dynamic_cast<const MeshShape*>(&Filed(8, mesh)->shape());
  ASSERT_NE(shape, nullptr);
  EXPECT_EQ(shape->polytope_count(), 12);
  EXPECT_EQ(mesh->collision(8)->vertex_copy.size(), 36u);
}

TEST(MeshCollision, CoincidentVerticesFitTheUnitSphereAndNoVerticesFitNothing) {
  auto root = FrameNode::Create("root", 0);
  root->AddChildNode(Mesh({2, 2, 2, 2, 2, 2, 2, 2, 2}, {0, 1, 2}, 0));
  root->AddChildNode(Mesh({}, {}, 0));
  auto* point = static_cast<MeshNode*>(root->first_child());
  auto* empty = static_cast<MeshNode*>(point->next_sibling());
  root->BuildNodeCollision(9, 51, 0, 0, 0);
  const auto* sphere = dynamic_cast<const SphereShape*>(&Filed(9, point)->shape());
  ASSERT_NE(sphere, nullptr);
  EXPECT_EQ(sphere->radius(), 1.0);
  EXPECT_EQ(point->collision(9)->offset[0], 2.0f);
  EXPECT_EQ(empty->collision(9), nullptr);
  root->BuildNodeCollision(9, 52, 0, 0, 0);
  EXPECT_EQ(empty->collision(9), nullptr);
}

TEST(MeshCollision, MeshesAddedLaterTakeNumbersNotYetUsed) {
  Tree t = MakeTree();
  t.root->BuildNodeCollision(4, 52, 0, 0, 0);
  const uint32_t used[] = {t.root_mesh->collision_number(), t.limb_meshes[0]->collision_number(),
                           t.limb_meshes[1]->collision_number()};
  // A mesh put in front of the others still gets a fresh number.
  auto frame = FrameNode::Create("early", 1);
  auto late = Quad(1);
  MeshNode* added = late.get();
  frame->AddChildNode(std::move(late));
  t.root->AddChildNode(std::move(frame));
  t.root->BuildNodeCollisionByNumber(4, 1, 52);
  for (uint32_t n : used) EXPECT_NE(added->collision_number(), n);
  EXPECT_NE(Filed(4, added), nullptr);
  EXPECT_NE(Filed(4, t.root_mesh), nullptr);
}

}  // namespace
}  // namespace zv::models
