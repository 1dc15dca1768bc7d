// Models built from mesh records, and the X animation files written,
// merged and joined.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "models/files/animation_files.h"
#include "models/files/model_builder.h"
#include "models/files/x_model_reader.h"
#include "models/nodes/mesh_node.h"
#include "platform/paths/temp_folder.h"
#include "platform/xfile/animation_view.h"
#include "platform/xfile/reader.h"
#include "tests/models/models_test_support.h"
#include "tests/platform/render3d/render3d_test_util.h"

namespace zv::models {
namespace {

using platform::test3d::MakeRig;
using platform::test3d::PixelRgb;
using testing::RecordingServices;

// A mesh record's square of side 2 at z = 5: face data in (vertex, normal)
// pairs.
struct SquareRecord {
  float positions[12] = {-1, 1, 5, 1, 1, 5, 1, -1, 5, -1, -1, 5};
  float normals[12] = {0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1};
  float uvs[8] = {0, 0, 1, 0, 1, 1, 0, 1};
  uint32_t faces[14] = {3, 0, 0, 1, 1, 2, 2, 3, 0, 0, 2, 2, 3, 3};
  MeshGeometry Geometry() const { return {positions, normals, uvs, 2, faces}; }
};

TEST(ModelBuilder, MeshFramesMakeTheRootThenLimbsAndDraw) {
  RecordingServices services;
  SquareRecord record;
  std::unique_ptr<FrameNode> root;
  EXPECT_FALSE(AddMeshFrame(root, 3, record.Geometry(), 0, services));  // no root yet
  ASSERT_TRUE(AddMeshFrame(root, 0, record.Geometry(), 8, services));
  EXPECT_FALSE(AddMeshFrame(root, 0, record.Geometry(), 0, services));  // already has one
  ASSERT_TRUE(AddMeshFrame(root, 1, record.Geometry(), 0, services));
  EXPECT_EQ(root->name(), "root");
  auto* mesh = static_cast<MeshNode*>(root->first_child());
  EXPECT_EQ(mesh->name(), "usermesh");
  EXPECT_EQ(mesh->second_name(), "Default");
  EXPECT_EQ(mesh->texture(), 8);
  EXPECT_EQ(mesh->vertices()[2].u, 1.0f);
  std::string name;
  EXPECT_TRUE(GetModelFrameName(root.get(), 1, &name));
  EXPECT_EQ(name, "userframe");
  EXPECT_TRUE(GetModelFrameName(root.get(), 9, &name));
  EXPECT_EQ(name, "");
  EXPECT_FALSE(GetModelFrameName(nullptr, 0, &name));

  root->SetNodeVisible(1, 0);
  auto rig = MakeRig(32, 32);
  root->RenderNode(*rig->device, -1);
  EXPECT_EQ(PixelRgb(*rig->target, 16, 16), 0xFFFFFFu);
  EXPECT_EQ(services.drawn_indices, 6u);

  // A record without vertices makes a limb that draws nothing.
  MeshGeometry empty;
  ASSERT_TRUE(AddMeshFrame(root, 2, empty, 0, services));
  root->RenderNode(*rig->device, -1);
  EXPECT_EQ(services.drawn_indices, 12u);
}

KeyframeSet TwoTracks() {
  KeyframeSet set;
  AnimationTrack& a = set.AppendTrack();
  a.frame_name = "hip";
  a.frame_number = 1;
  a.rotation_keys.values = {0, 1, 0, 0, 0, 12.75f, 0, 1, 0, 0};
  a.translation_keys.values = {0, 1, 2, 3, 10, 4, 5, 6};
  AnimationTrack& b = set.AppendTrack();
  b.frame_name = "knee";
  b.frame_number = 2;
  return set;
}

class AnimationFiles : public ::testing::Test {
 protected:
  std::string File(const std::string& name) { return temp_.File(name); }
  platform::TempFolder temp_;
};

TEST_F(AnimationFiles, SavedAnimationsHoldEveryKeyKindAndWholeTimes) {
  KeyframeSet set = TwoTracks();
  ASSERT_TRUE(SaveAnimation(&set, File("anim.x")));
  auto document = platform::ReadXFile(File("anim.x"));
  ASSERT_TRUE(document.ok()) << document.error().Describe();
  ASSERT_EQ(document->objects.size(), 1u);
  const auto& animation_set = *document->objects[0];
  EXPECT_EQ(animation_set.name(), "xkq_animset_0");
  auto animations = platform::ReadXAnimationSet(animation_set);
  ASSERT_EQ(animations.size(), 2u);
  EXPECT_EQ(animations[1]->name(), "xkq_anim_1");
  auto first = platform::ReadXAnimation(*animations[0]);
  EXPECT_EQ(first.frame_reference, "hip");
  ASSERT_EQ(first.keys.size(), 3u);
  auto rotation = platform::ReadXAnimationKey(*first.keys[0]);
  ASSERT_TRUE(rotation.ok());
  EXPECT_EQ(rotation->times, (std::vector<uint32_t>{0, 12}));
  auto scale = platform::ReadXAnimationKey(*first.keys[1]);
  EXPECT_EQ(scale->key_type, 1u);
  EXPECT_TRUE(scale->times.empty());

  // Without keyframes the file holds nothing but its header.
  ASSERT_TRUE(SaveAnimation(nullptr, File("empty.x")));
  EXPECT_TRUE(platform::ReadXFile(File("empty.x"))->objects.empty());
  EXPECT_FALSE(SaveAnimation(&set, File("no/such/folder/anim.x")));
  // A save that cannot be written whole leaves the earlier file as it was
  // (here it stops at a file size limit of 16 bytes).
  auto contents = [this] {
    std::ifstream in(File("anim.x"), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string before = contents();
  // Only the soft limit is lowered: a hard limit lowered stays lowered for
  // the suite's later tests unless the process may raise it again.
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  const rlimit small{16, limit.rlim_max};
  const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &small);
  EXPECT_FALSE(SaveAnimation(&set, File("anim.x")));
  ::setrlimit(RLIMIT_FSIZE, &limit);
  std::signal(SIGXFSZ, previous_handler);
  EXPECT_EQ(contents(), before);
}

std::unique_ptr<FrameNode> HipAndKnee() {
  auto root = FrameNode::Create("root", 0);
  auto hip = FrameNode::Create("hip", 1);
  hip->AddChildNode(FrameNode::Create("knee", 2));
  root->AddChildNode(std::move(hip));
  return root;
}

void WriteText(const std::string& path, const std::string& body) {
  std::ofstream(path, std::ios::binary) << "xof 0302txt 0032\n" << body;
}

constexpr const char* kHipMoves =
    "AnimationSet s { Animation { {hip} AnimationKey { 2; 2; 0;3;7,7,7;;, 20;3;8,8,8;;; } }\n"
    " Animation { {ankle} AnimationKey { 2; 1; 0;3;9,9,9;;; } } }\n";

TEST_F(AnimationFiles, MergingBridgesFromTheLastKeyToTheEndTime) {
  auto root = HipAndKnee();
  KeyframeSet set = TwoTracks();
  WriteText(File("more.x"), kHipMoves);
  ASSERT_TRUE(MergeAnimationFile(root.get(), &set, File("more.x"), 30, 29));
  const auto& keys = set.tracks[0].translation_keys;
  EXPECT_EQ(keys.values,
            (std::vector<float>{0, 1, 2, 3, 10, 4, 5, 6, 29, 4, 5, 6, 30, 7, 7, 7, 50, 8, 8, 8}));
  EXPECT_EQ(keys.LastKeyIndex(), 16u);
  EXPECT_EQ(set.tracks[0].rotation_keys.count(), 3u);  // the file had none: only the bridge
  EXPECT_TRUE(set.tracks[1].translation_keys.empty());  // no track of the file matches

  // An end time at the last key needs no bridge.
  KeyframeSet again = TwoTracks();
  ASSERT_TRUE(MergeAnimationFile(root.get(), &again, File("more.x"), 10, 10));
  EXPECT_EQ(again.tracks[0].translation_keys.count(), 4u);

  EXPECT_FALSE(MergeAnimationFile(nullptr, &set, File("more.x"), 0, 0));
  WriteText(File("none.x"), "Frame f { }\n");
  EXPECT_FALSE(MergeAnimationFile(root.get(), &set, File("none.x"), 0, 0));
}

TEST_F(AnimationFiles, JoiningTwoFilesMergesTheirLastSet) {
  auto root = HipAndKnee();
  KeyframeSet set = TwoTracks();
  // The first file's frames come with an animation of its own, which the
  // second's replaces: only the second is added.
  WriteText(File("first.x"), std::string("Frame unused { }\n") + kHipMoves);
  WriteText(File("second.x"), kHipMoves);
  // A longer old work file must not leave its tail behind.
  std::ofstream(File("workfile.x")) << std::string(5000, 'z');
  ASSERT_TRUE(JoinAndMergeAnimation(root.get(), &set, File("first.x"), File("second.x"),
                                    File("workfile.x"), 0, 10));
  EXPECT_EQ(set.tracks[0].translation_keys.count(), 4u);
  EXPECT_EQ(std::filesystem::file_size(File("workfile.x")),
            std::filesystem::file_size(File("first.x")) + std::filesystem::file_size(File("second.x")) -
                17);

  // Without the second file nothing is merged, whatever the work file holds.
  KeyframeSet untouched = TwoTracks();
  EXPECT_FALSE(JoinAndMergeAnimation(root.get(), &untouched, File("first.x"), "/no/such/dir/x.x",
                                     File("workfile.x"), 0, 10));
  EXPECT_EQ(untouched.tracks[0].translation_keys.count(), 2u);
}

TEST_F(AnimationFiles, ASavedAnimationMergesBackIntoTheSameFrames) {
  auto root = HipAndKnee();
  KeyframeSet saved = TwoTracks();
  ASSERT_TRUE(SaveAnimation(&saved, File("round.x")));
  KeyframeSet set = TwoTracks();
  ASSERT_TRUE(MergeAnimationFile(root.get(), &set, File("round.x"), 100, 10));
  const auto& rotation = set.tracks[0].rotation_keys;
  ASSERT_EQ(rotation.count(), 5u);  // two, a bridge at 10, then two more
  EXPECT_EQ(rotation.Key(3)[0], 100.0f);
  EXPECT_EQ(rotation.Key(4)[0], 112.0f);
}

}  // namespace
}  // namespace zv::models
