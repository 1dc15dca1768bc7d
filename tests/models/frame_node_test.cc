// Frames: the world bracket around their children, the root transform, the
// walked matrix of the measuring walks, and moving frames in the tree.
#include <gtest/gtest.h>

#include "models/nodes/frame_node.h"
#include "models/nodes/mesh_node.h"
#include "tests/models/models_test_support.h"
#include "tests/platform/render3d/render3d_test_util.h"

namespace zv::models {
namespace {

using platform::TransformState;
using platform::test3d::MakeRig;
using platform::test3d::Scaling;
using platform::test3d::Translation;

// Records the device's world transform whenever a walk reaches it.
class ProbeNode : public SceneNode {
 public:
  bool RenderNode(platform::Device3D& device, int32_t) override { return Record(device); }
  bool UpdateNodeCollision(const Matrix4& matrix, uint32_t) override {
    seen = matrix;
    return true;
  }
  bool ExtractNodeGeometry(platform::Device3D& device, GeometryExtraction&) override {
    return Record(device);
  }
  bool Record(platform::Device3D& device) {
    device.GetTransform(TransformState::kWorld, &seen);
    return true;
  }
  Matrix4 seen;
};

struct ProbedTree {
  std::unique_ptr<FrameNode> root = FrameNode::Create("root", 0);
  FrameNode* limb = nullptr;
  ProbeNode* probe = nullptr;
};

// root(0, translated x 1) -> limb(1, translated y 2) -> probe
ProbedTree MakeProbedTree() {
  ProbedTree t;
  t.root->set_local_matrix(Translation(1, 0, 0));
  auto limb = FrameNode::Create("limb", 1);
  limb->set_local_matrix(Translation(0, 2, 0));
  auto probe = std::make_unique<ProbeNode>();
  t.probe = probe.get();
  limb->AddChildNode(std::move(probe));
  t.limb = limb.get();
  t.root->AddChildNode(std::move(limb));
  return t;
}

TEST(FrameNode, RenderGivesEachChildItsFramesWorldMatrixAndRestoresTheDevice) {
  auto rig = MakeRig(8, 8);
  auto& device = *rig->device;
  ProbedTree t = MakeProbedTree();
  Matrix4 outer = Scaling(2, 2, 2);
  device.SetTransform(TransformState::kWorld, outer);
  t.root->RenderNode(device, -1);
  // limb local x root local x outer: (0,2,0) then (1,0,0), then scaled.
  EXPECT_EQ(t.probe->seen.m[3][0], 2.0f);
  EXPECT_EQ(t.probe->seen.m[3][1], 4.0f);
  Matrix4 after;
  device.GetTransform(TransformState::kWorld, &after);
  EXPECT_EQ(after, outer);
}

TEST(FrameNode, OnlyARootTransformFlagOfOneIsApplied) {
  auto rig = MakeRig(8, 8);
  auto& device = *rig->device;
  ProbedTree t = MakeProbedTree();
  device.SetTransform(TransformState::kWorld, Matrix4::Identity());
  t.root->SetRootTransform(2, Translation(0, 0, 5));
  Matrix4* stored = nullptr;
  t.root->GetRootTransform(&stored);
  ASSERT_EQ(stored, &t.root->root_matrix());
  EXPECT_EQ(stored->m[3][2], 5.0f);
  t.root->RenderNode(device, -1);
  EXPECT_EQ(t.probe->seen.m[3][2], 0.0f);

  t.root->SetRootTransform(1, Translation(0, 0, 5));
  t.root->RenderNode(device, -1);
  EXPECT_EQ(t.probe->seen.m[3][2], 5.0f);
  // The collision placement walks the same matrices without the device.
  t.root->UpdateNodeCollision(Matrix4::Identity(), 1);
  EXPECT_EQ(t.probe->seen.m[3][2], 5.0f);
  EXPECT_EQ(t.probe->seen.m[3][1], 2.0f);
  // The geometry extraction leaves the root transform out.
  GeometryExtraction walk;
  t.root->ExtractNodeGeometry(device, walk);
  EXPECT_EQ(t.probe->seen.m[3][2], 0.0f);
  EXPECT_EQ(t.probe->seen.m[3][0], 1.0f);
}

TEST(FrameNode, AChildlessFrameLeavesTheDeviceAloneButKnowsItsPlace) {
  auto rig = MakeRig(8, 8);
  auto& device = *rig->device;
  auto root = FrameNode::Create("root", 0);
  auto leaf = FrameNode::Create("leaf", 1);
  leaf->set_local_matrix(Translation(0, 2, 0));
  root->AddChildNode(std::move(leaf));
  root->set_local_matrix(Translation(3, 0, 0));
  device.SetTransform(TransformState::kWorld, Scaling(9, 9, 9));
  root->RenderNodeSecondPass(device);
  Matrix4 world;
  device.GetTransform(TransformState::kWorld, &world);
  EXPECT_EQ(world, Scaling(9, 9, 9));
  Matrix4 out = Matrix4::Identity();
  root->GetFrameWorldMatrix(1, &out);
  EXPECT_EQ(out.m[3][0], 27.0f);  // the tip of a chain answers too
  EXPECT_EQ(out.m[3][1], 18.0f);
  root->GetFrameWorldMatrix(0, &out);
  EXPECT_EQ(out.m[3][0], 27.0f);
  EXPECT_EQ(out.m[3][1], 0.0f);
}

TEST(FrameNode, MeasuringWalksComposeFrameMatricesDownTheTree) {
  auto root = FrameNode::Create("root", 0);
  root->set_local_matrix(Translation(10, 0, 0));
  auto limb = FrameNode::Create("limb", 1);
  limb->set_local_matrix(Translation(0, 5, 0));
  const float one_vertex[3] = {1, 1, 1};
  auto mesh = MeshNode::Create("m", one_vertex, 0, {}, false);
  mesh->set_number(1);
  limb->AddChildNode(std::move(mesh));
  root->AddChildNode(std::move(limb));
  auto sibling = MeshNode::Create("s", one_vertex, 0, {}, false);
  root->AddChildNode(std::move(sibling));  // sees the root's matrix only

  Vector3f sum{};
  uint32_t count = 0;
  root->SumVertexPositions(Matrix4::Identity(), &sum, &count);
  EXPECT_EQ(count, 2u);
  EXPECT_FLOAT_EQ(sum.x, 22.0f);
  EXPECT_FLOAT_EQ(sum.y, 7.0f);
  Vector3f limb_sum{};
  uint32_t limb_count = 0;
  root->SumLimbVertexPositions(1, Matrix4::Identity(), &limb_sum, &limb_count);
  EXPECT_EQ(limb_count, 1u);
  EXPECT_FLOAT_EQ(limb_sum.y, 6.0f);
}

TEST(FrameNode, LoadFrameMatricesGivesFrameNElementNMinusOneAndKeepsTheRoot) {
  auto root = FrameNode::Create("root", 0);
  root->AddChildNode(FrameNode::Create("one", 1));
  root->AddChildNode(FrameNode::Create("five", 5));
  const Matrix4 matrices[2] = {Translation(1, 0, 0), Translation(2, 0, 0)};
  root->LoadFrameMatrices(matrices);
  Matrix4 out;
  root->GetFrameMatrix(1, &out);
  EXPECT_EQ(out.m[3][0], 1.0f);
  root->GetFrameMatrix(0, &out);
  EXPECT_EQ(out, Matrix4::Identity());
  root->GetFrameMatrix(5, &out);  // beyond the array: kept
  EXPECT_EQ(out, Matrix4::Identity());
}

TEST(FrameNode, TranslationsScaleByNumberOrAll) {
  auto root = FrameNode::Create("root", 0);
  root->AddChildNode(FrameNode::Create("one", 1));
  root->SetFrameMatrix(1, Translation(1, 2, 3));
  root->ScaleFrameTranslation(1, 2, 3, 4);
  Matrix4 out;
  root->GetFrameMatrix(1, &out);
  EXPECT_EQ(out.m[3][0], 2.0f);
  EXPECT_EQ(out.m[3][1], 6.0f);
  EXPECT_EQ(out.m[3][2], 12.0f);
  root->ScaleAllFrameTranslations(0.5f, 1, 1);
  root->GetFrameMatrix(1, &out);
  EXPECT_EQ(out.m[3][0], 1.0f);
}

// root(0) -> [f1 -> [f3 -> [f5]], f2]
std::unique_ptr<FrameNode> ReparentTree() {
  auto root = FrameNode::Create("root", 0);
  auto f1 = FrameNode::Create("f1", 1);
  auto f3 = FrameNode::Create("f3", 3);
  f3->AddChildNode(FrameNode::Create("f5", 5));
  f1->AddChildNode(std::move(f3));
  root->AddChildNode(std::move(f1));
  root->AddChildNode(FrameNode::Create("f2", 2));
  return root;
}

std::vector<int32_t> Numbers(SceneNode* root) {
  std::vector<int32_t> out;
  for (SceneNode* n : testing::PreOrder(root)) out.push_back(n->number());
  return out;
}

TEST(FrameNode, ReparentingMovesAFrameWithItsChildrenUnderTheNewParent) {
  auto root = ReparentTree();
  EXPECT_TRUE(ReparentFrames(*root, 3, 2));
  EXPECT_EQ(Numbers(root.get()), (std::vector<int32_t>{0, 1, 2, 3, 5}));
  // Under a frame that comes later in the same chain.
  EXPECT_TRUE(ReparentFrames(*root, 1, 2));
  EXPECT_EQ(Numbers(root.get()), (std::vector<int32_t>{0, 2, 3, 5, 1}));
}

TEST(FrameNode, ReparentingIntoItsOwnSubtreeOrToMissingFramesChangesNothing) {
  auto root = ReparentTree();
  const auto before = Numbers(root.get());
  EXPECT_FALSE(ReparentFrames(*root, 3, 5));
  EXPECT_FALSE(ReparentFrames(*root, 3, 3));
  EXPECT_FALSE(ReparentFrames(*root, 9, 2));
  EXPECT_FALSE(ReparentFrames(*root, 2, 9));
  EXPECT_FALSE(ReparentFrames(*root, 0, 2));  // the root is never moved
  EXPECT_EQ(Numbers(root.get()), before);
}

TEST(FrameNode, ListingNamesEveryFrameButTheRootInPreOrder) {
  auto root = ReparentTree();
  root->AddChildNode(MeshNode::Create("mesh", {}, 0, {}, false));
  std::vector<FrameListEntry> list;
  root->ListFramesToChecklist(list);
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0].number, 1);
  EXPECT_EQ(list[0].name, "f1");
  EXPECT_EQ(list[2].name, "f5");
  EXPECT_EQ(list[3].number, 2);
}

}  // namespace
}  // namespace zv::models
