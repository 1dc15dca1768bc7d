// Mesh nodes: triangles from face data, the vertex buffer, drawing through
// the software device, textures and the vertex edits.
#include <gtest/gtest.h>

#include <cmath>

#include "models/nodes/frame_node.h"
#include "models/nodes/mesh_node.h"
#include "tests/models/models_test_support.h"
#include "tests/platform/render3d/render3d_test_util.h"

namespace zv::models {
namespace {

using platform::test3d::MakeRig;
using platform::test3d::PixelRgb;
using platform::test3d::Translation;
using testing::RecordingServices;

std::vector<uint16_t> Indices(const MeshNode& mesh) {
  return {mesh.indices().begin(), mesh.indices().end()};
}

const float kFiveVertices[15] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, -1, 0, 0};

TEST(MeshNode, FacesBecomeFansOfTriangles) {
  const uint32_t pentagon[] = {5, 0, 1, 2, 3, 4};
  auto mesh = MeshNode::Create("p", kFiveVertices, 1, pentagon, false);
  EXPECT_EQ(Indices(*mesh), (std::vector<uint16_t>{0, 1, 2, 0, 2, 3, 0, 3, 4}));
  // Stride 2: every second word after the count is the vertex index.
  const uint32_t quad_with_normals[] = {4, 0, 9, 1, 9, 2, 9, 3, 9};
  mesh = MeshNode::Create("q", kFiveVertices, 1, quad_with_normals, true);
  EXPECT_EQ(Indices(*mesh), (std::vector<uint16_t>{0, 1, 2, 0, 2, 3}));
  EXPECT_EQ(mesh->vertex_count(), 5u);
  EXPECT_EQ(mesh->vertex_buffer(), nullptr);  // made by the first refresh
}

TEST(MeshNode, FacesThatCannotBeDrawnAreLeftOut) {
  // A two-corner face, a triangle naming vertex 7 of 5, a good triangle,
  // then a face whose corners run past the data.
  const uint32_t faces[] = {2, 0, 1, 3, 0, 1, 7, 3, 2, 3, 4, 9, 0, 1};
  auto mesh = MeshNode::Create("m", kFiveVertices, 5, faces, false);
  EXPECT_EQ(Indices(*mesh), (std::vector<uint16_t>{2, 3, 4}));
  // Indices that 16 bits cannot hold do not wrap onto other vertices.
  const uint32_t wide[] = {3, 0, 1, 65536 + 2};
  mesh = MeshNode::Create("w", kFiveVertices, 1, wide, false);
  EXPECT_TRUE(mesh->indices().empty());
}

TEST(MeshNode, SmoothNormalsAverageTheFacesAndSurviveDegenerateOnes) {
  const float square[12] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
  const uint32_t faces[] = {4, 0, 1, 2, 3, 3, 0, 0, 1};  // a quad and a degenerate triangle
  auto mesh = MeshNode::Create("m", square, 2, faces, false);
  mesh->ComputeSmoothNormals();
  for (const MeshVertex& v : mesh->vertices()) {
    EXPECT_FLOAT_EQ(std::fabs(v.nz), 1.0f);
    EXPECT_EQ(v.nx, 0.0f);
  }
  const float lone[3] = {5, 5, 5};
  mesh = MeshNode::Create("lone", lone, 0, {}, false);
  mesh->ComputeSmoothNormals();
  EXPECT_EQ(mesh->vertices()[0].nx, 0.0f);
  EXPECT_FALSE(std::isnan(mesh->vertices()[0].nx));
}

// A white square of side 2 around (0, 0, 5), facing the rig's camera.
std::unique_ptr<FrameNode> SquareModel(NodeServices& services, int32_t texture = 0) {
  const float square[12] = {-1, 1, 5, 1, 1, 5, 1, -1, 5, -1, -1, 5};
  const uint32_t faces[] = {4, 0, 1, 2, 3};
  auto mesh = MeshNode::Create("square", square, 1, faces, false, services);
  const float normals[12] = {0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1};
  mesh->SetMeshNormals(normals);
  mesh->set_texture(texture);
  auto root = FrameNode::Create("root", 0);
  root->AddChildNode(std::move(mesh));
  return root;
}

TEST(MeshNode, DrawsThroughTheSoftwareDeviceWhereItsFramePutsIt) {
  RecordingServices services;
  auto rig = MakeRig(64, 64);
  auto root = SquareModel(services);
  rig->device->Clear({}, platform::clear::kTarget | platform::clear::kZBuffer, 0, 1.0f);
  root->RenderNode(*rig->device, -1);
  EXPECT_EQ(PixelRgb(*rig->target, 32, 32), 0xFFFFFFu);
  EXPECT_EQ(PixelRgb(*rig->target, 2, 2), 0u);
  EXPECT_EQ(services.drawn_indices, 6u);

  // Moved right by the root's matrix: the centre stays lit, the left goes.
  rig->device->Clear({}, platform::clear::kTarget | platform::clear::kZBuffer, 0, 1.0f);
  root->set_local_matrix(Translation(2, 0, 0));
  root->RenderNode(*rig->device, -1);
  EXPECT_EQ(PixelRgb(*rig->target, 20, 32), 0u);
  EXPECT_EQ(PixelRgb(*rig->target, 50, 32), 0xFFFFFFu);

  // Hidden, it draws nothing.
  rig->device->Clear({}, platform::clear::kTarget | platform::clear::kZBuffer, 0, 1.0f);
  root->SetNodeVisible(0, 0);
  root->RenderNode(*rig->device, -1);
  EXPECT_EQ(PixelRgb(*rig->target, 50, 32), 0u);
}

TEST(MeshNode, TheTextureSelectorPicksWhatIsBoundAndWhatIsDrawn) {
  RecordingServices services;
  auto rig = MakeRig(16, 16);
  auto root = SquareModel(services, 7);
  root->RenderNode(*rig->device, 7);
  EXPECT_TRUE(services.bound.empty());
  EXPECT_EQ(services.drawn_indices, 6u);
  root->RenderNode(*rig->device, -1);
  EXPECT_EQ(services.bound, std::vector<int32_t>{7});
  EXPECT_EQ(services.drawn_indices, 12u);
  root->RenderNode(*rig->device, 5);
  EXPECT_EQ(services.drawn_indices, 12u);
  root->SetNodeVisible(0, 0);
  root->RenderNode(*rig->device, 7);
  root->RenderNode(*rig->device, -1);
  EXPECT_EQ(services.drawn_indices, 12u);
  EXPECT_EQ(services.bound.size(), 1u);
}

TEST(MeshNode, TheTextureBoundIsTheOneDrawn) {
  RecordingServices services;
  auto rig = MakeRig(64, 64);
  services.device_textures[3] = platform::test3d::MakeTexture(
      rig->render, 4, 4, platform::PixelFormat::Xrgb8888(), [](int, int, int) { return 0xFF00FF00u; });
  auto root = SquareModel(services, 3);
  root->RenderNode(*rig->device, -1);
  EXPECT_EQ(PixelRgb(*rig->target, 32, 32), 0x00FF00u);
}

TEST(MeshNode, GatheringAveragesTheDistancesOfATexture) {
  const float v[3] = {0, 0, 0};
  auto root = FrameNode::Create("root", 0);
  for (int i = 0; i < 2; ++i) {
    auto mesh = MeshNode::Create("m", v, 0, {}, false);
    mesh->set_texture(4);
    root->AddChildNode(std::move(mesh));
  }
  FrameTextureList list;
  root->GatherTextureDepths(list, 10.0);  // two meshes: 10, then (10 + 10) / 2
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].key, 10.0);
  list = {{4, 10.0}};
  MeshNode lone("m", NullNodeServices());
  lone.set_texture(4);
  lone.GatherTextureDepths(list, 20.0);
  EXPECT_EQ(list[0].key, 15.0);
  lone.GatherTextureDepths(list, 40.0);
  EXPECT_EQ(list[0].key, 27.5);
  lone.set_texture(9);
  lone.GatherTextureDepths(list, 1.0);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].texture, 9);
}

TEST(MeshNode, ScaledBufferNormalsLastUntilTheNextRefresh) {
  RecordingServices services;
  auto root = SquareModel(services);
  auto* mesh = static_cast<MeshNode*>(root->first_child());
  root->ScaleVertexBufferNormals(2.0f);
  ASSERT_NE(mesh->vertex_buffer(), nullptr);
  EXPECT_EQ(mesh->vertex_buffer()->Vertices()[0].nz, -2.0f);
  EXPECT_TRUE(mesh->vertex_buffer()->IsOptimized());
  root->ScrollNodeTexture(0, 0.25f, 0.5f);
  EXPECT_EQ(mesh->vertex_buffer()->Vertices()[0].nz, -1.0f);
  EXPECT_EQ(mesh->vertex_buffer()->Vertices()[0].u, 0.25f);
  root->ScaleNodeTexture(0, 2.0f, 2.0f);
  EXPECT_EQ(mesh->vertices()[0].v, 1.0f);
  root->ScaleAllVertices(2, 1, 1);
  EXPECT_EQ(mesh->vertex_buffer()->Vertices()[0].x, -2.0f);
  root->ScaleNodeVertices(3, 10, 10, 10);  // no mesh 3
  EXPECT_EQ(mesh->vertices()[0].x, -2.0f);
}

// Every mesh holds one reference of its texture: a texture set on a limb
// is taken once by each of its meshes, and the one replaced goes.
TEST(MeshNode, ReplacingATextureTakesTheNewOneAndReleasesTheOld) {
  RecordingServices services;
  auto root = SquareModel(services);
  root->AddChildNode(MeshNode::Create("second", {}, 0, {}, false, services));
  auto* mesh = static_cast<MeshNode*>(root->first_child());
  const int32_t from_file = services.Share("wall.bmp");
  mesh->set_texture(from_file);
  const int32_t colour = services.Share("colour");
  root->SetNodeTexture(0, colour);
  EXPECT_EQ(services.releases, std::vector<int32_t>{from_file});
  EXPECT_EQ(services.references[colour], 3);  // the caller's and each mesh's
  root->SetNodeTexture(0, colour);
  EXPECT_EQ(services.references[colour], 3);
  services.ReleaseTexture(colour, false);
  root.reset();
  EXPECT_EQ(services.HeldReferences(), 0);
}

TEST(MeshNode, DestroyingTheTreeReleasesSharedTexturesOnce) {
  RecordingServices services;
  int32_t shared = services.Share("colour");
  {
    auto root = SquareModel(services, shared);
    root->AddChildNode(MeshNode::Create("unshared", {}, 0, {}, false, services));
  }
  EXPECT_EQ(services.releases, std::vector<int32_t>{shared});
  EXPECT_EQ(services.HeldReferences(), 0);
}

TEST(MeshNode, ReplacedGeometryComesFromAMeshRecord) {
  RecordingServices services;
  auto root = SquareModel(services);
  const float positions[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  const float normals[9] = {0, 0, 1, 0, 0, 1, 0, 0, 1};
  const float uvs[6] = {0, 0, 1, 0, 0, 1};
  const uint32_t faces[7] = {3, 0, 0, 1, 1, 2, 2};
  MeshGeometry record{positions, normals, uvs, 1, faces};
  root->ReplaceNodeGeometry(0, record);
  auto* mesh = static_cast<MeshNode*>(root->first_child());
  EXPECT_EQ(mesh->vertex_count(), 3u);
  EXPECT_EQ(Indices(*mesh), (std::vector<uint16_t>{0, 1, 2}));
  EXPECT_EQ(mesh->vertices()[2].nz, 1.0f);
  EXPECT_EQ(mesh->vertices()[1].u, 1.0f);
  EXPECT_EQ(mesh->vertex_buffer()->VertexCount(), 3u);
}

}  // namespace
}  // namespace zv::models
