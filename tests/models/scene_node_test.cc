// Linking, destruction and the order in which one call on the root reaches
// the nodes of a tree.
#include <gtest/gtest.h>

#include "models/nodes/frame_node.h"
#include "models/nodes/mesh_node.h"
#include "tests/models/models_test_support.h"

namespace zv::models {
namespace {

using testing::PreOrder;

// A node that counts how often its resources are released.
class CountingNode : public SceneNode {
 public:
  CountingNode(std::string_view name, int* releases) : SceneNode(name), releases_(releases) {}
  void ReleaseNodeResources() override { ++*releases_; }

 private:
  int* releases_;
};

std::unique_ptr<FrameNode> Frame(std::string_view name, int32_t number) {
  return FrameNode::Create(name, number);
}

TEST(SceneNode, ChildrenLinkAsAChainWithTheParentOnTheFirstOnly) {
  auto root = Frame("root", 0);
  auto a = Frame("a", 1);
  auto b = Frame("b", 2);
  auto c = Frame("c", 3);
  SceneNode *pa = a.get(), *pb = b.get(), *pc = c.get();
  root->AddChildNode(std::move(a));
  root->AddChildNode(std::move(b));
  root->AddChildNode(std::move(c));
  EXPECT_EQ(root->first_child(), pa);
  EXPECT_EQ(pa->parent(), root.get());
  EXPECT_EQ(pb->parent(), nullptr);
  EXPECT_EQ(pb->previous_sibling(), pa);
  EXPECT_EQ(pc->Owner(), root.get());

  // Detaching the first child hands the chain and the parent link to the second.
  auto detached = pa->DetachNode();
  EXPECT_EQ(detached.get(), pa);
  EXPECT_EQ(root->first_child(), pb);
  EXPECT_EQ(pb->parent(), root.get());
  EXPECT_EQ(pb->previous_sibling(), nullptr);
  EXPECT_EQ(pa->next_sibling(), nullptr);
  // Detaching from the middle joins the neighbours.
  root->AddChildNode(std::move(detached));
  auto middle = pc->DetachNode();
  EXPECT_EQ(pb->next_sibling(), pa);
  EXPECT_EQ(pa->previous_sibling(), pb);
  // A root is in no chain and stays with its holder.
  EXPECT_EQ(root->DetachNode(), nullptr);
}

TEST(SceneNode, DestroyingATreeReleasesEveryNodeBelowTheRootOnce) {
  int releases = 0;
  {
    auto root = std::make_unique<CountingNode>("root", &releases);
    for (int i = 0; i < 3; ++i) {
      auto child = std::make_unique<CountingNode>("c", &releases);
      child->AddChildNode(std::make_unique<CountingNode>("g", &releases));
      child->AddChildNode(std::make_unique<CountingNode>("g", &releases));
      root->AddChildNode(std::move(child));
    }
  }
  EXPECT_EQ(releases, 9);
}

TEST(SceneNode, LongSiblingChainsAreWalkedAndDestroyedWithoutDeepRecursion) {
  auto root = Frame("root", 0);
  const int kCount = 200000;
  for (int i = 0; i < kCount; ++i) root->AddChildNode(Frame("f", i + 1));
  std::vector<FrameListEntry> list;
  root->ListFramesToChecklist(list);
  EXPECT_EQ(list.size(), static_cast<size_t>(kCount));
  root.reset();
}

TEST(SceneNode, NamesAreCutToTheirField) {
  SceneNode node(std::string(100, 'x'));
  EXPECT_EQ(node.name().size(), SceneNode::kMaxNameLength);
}

// root(0) -> a(1) -> [x(2), dup(3) -> [dup(4)]], dup(5), dup(6)
std::unique_ptr<FrameNode> SearchTree() {
  auto root = Frame("root", 0);
  auto a = Frame("a", 1);
  a->AddChildNode(Frame("x", 2));
  auto inner = Frame("dup", 3);
  inner->AddChildNode(Frame("dup", 4));
  a->AddChildNode(std::move(inner));
  root->AddChildNode(std::move(a));
  root->AddChildNode(Frame("dup", 5));
  root->AddChildNode(Frame("dup", 6));
  return root;
}

TEST(SceneNode, FindByNameAnswersWithTheLastMatchOfOtherBranches) {
  auto root = SearchTree();
  int32_t number = -1;
  root->FindFrameByName("dup", &number);
  // dup(3) answers and passes on to nobody (not its child 4); its parent's
  // later sibling dup(5) answers next and stops its own chain (6 unseen).
  EXPECT_EQ(number, 5);
  number = -1;
  root->FindFrameByName("nothing", &number);
  EXPECT_EQ(number, -1);
}

TEST(SceneNode, FrameMatrixByNameTakesTheFirstInPreOrder) {
  auto root = SearchTree();
  Matrix4 marked = Matrix4::Identity();
  marked.m[3][0] = 3;
  root->SetFrameMatrix(3, marked);
  Matrix4* found = nullptr;
  root->GetFrameMatrixByName("dup", &found);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->m[3][0], 3.0f);
}

TEST(SceneNode, ACallOnAChildlessRootDoesTheRootsOwnWork) {
  auto root = Frame("root", 0);
  std::string name = "untouched";
  root->GetFrameName(0, &name);
  EXPECT_EQ(name, "root");
  EXPECT_EQ(PreOrder(root.get()).size(), 1u);
}

}  // namespace
}  // namespace zv::models
