// The measuring walks, the limb queries, the geometry extraction and the
// saving of meshes as X "Mesh" objects.
#include <gtest/gtest.h>

#include <cmath>

#include "models/nodes/frame_node.h"
#include "models/nodes/mesh_node.h"
#include "models/nodes/vertex_measures.h"
#include "platform/xfile/mesh_view.h"
#include "platform/xfile/reader.h"
#include "platform/xfile/writer.h"
#include "tests/models/models_test_support.h"
#include "tests/platform/render3d/render3d_test_util.h"

namespace zv::models {
namespace {

using platform::test3d::Translation;

std::unique_ptr<MeshNode> Mesh(std::string_view name, int32_t number, std::vector<float> positions,
                               int32_t texture = 0) {
  std::vector<uint32_t> faces;
  uint32_t count = 0;
  for (uint32_t v = 0; v + 2 < positions.size() / 3; v += 3, ++count)
    faces.insert(faces.end(), {3, v, v + 1, v + 2});
  auto mesh = MeshNode::Create(name, positions, count, faces, false);
  mesh->set_number(number);
  mesh->set_texture(texture);
  mesh->set_second_name(std::string(name) + "!");
  return mesh;
}

TEST(MeshQueries, MinAxisDistanceTakesTheClosestSingleAxis) {
  auto mesh = Mesh("m", 0, {5, 1, 7});
  float minimum = 100;
  mesh->MinAxisDistance(Matrix4::Identity(), Vector3f{0, 0, 0}, &minimum);
  EXPECT_EQ(minimum, 1.0f);
}

TEST(MeshQueries, BoundsAndDistancesUseTheWalkedMatrix) {
  auto root = FrameNode::Create("root", 0);
  root->set_local_matrix(Translation(10, 0, 0));
  root->AddChildNode(Mesh("m", 0, {-1, -2, -3, 1, 2, 3}));
  BoundingBox box{1e9f, 1e9f, 1e9f, -1e9f, -1e9f, -1e9f};
  root->GetNodeBoundingBox(Matrix4::Identity(), &box);
  EXPECT_EQ(box.min_x, 9.0f);
  EXPECT_EQ(box.max_z, 3.0f);
  float maximum = -1;
  root->MaxVertexDistance(Matrix4::Identity(), Vector3f{10, 0, 0}, &maximum);
  EXPECT_FLOAT_EQ(maximum, std::sqrt(14.0f));

  VertexExtents extents;
  auto span = Mesh("e", 0, {-1, 0, 0, 3, 2, 0});
  ASSERT_TRUE(MeasureVertexExtents(span->vertices(), &extents));
  EXPECT_EQ(extents.size.x, 4.0f);
  EXPECT_EQ(extents.centre.x, 1.0f);
  EXPECT_FALSE(MeasureVertexExtents({}, &extents));
}

TEST(MeshQueries, LimbMeshInfoCountsTheLimbsMeshesAndAnswersTheWantedOne) {
  auto root = FrameNode::Create("root", 0);
  root->AddChildNode(Mesh("a", 2, {0, 0, 0}, 11));
  root->AddChildNode(Mesh("other", 1, {0, 0, 0}, 99));
  root->AddChildNode(Mesh("b", 2, {0, 0, 0}, 12));
  root->AddChildNode(Mesh("c", 2, {0, 0, 0}, 13));
  int32_t counter = 0, texture = 0;
  std::string name;
  root->GetLimbMeshInfo(2, 1, &counter, &texture, &name);
  EXPECT_EQ(counter, 3);
  EXPECT_EQ(texture, 12);
  EXPECT_EQ(name, "b!");
  counter = 0;
  texture = 0;
  root->GetLimbMeshInfo(2, -2, &counter, &texture, &name);
  EXPECT_EQ(counter, 3);
  EXPECT_EQ(texture, 0);
}

TEST(MeshQueries, GeometryByNameHandsOutTheFirstMeshsArrays) {
  auto root = FrameNode::Create("root", 0);
  root->AddChildNode(Mesh("twin", 0, {1, 0, 0, 0, 1, 0, 0, 0, 1}));
  root->AddChildNode(Mesh("twin", 0, {2, 0, 0}));
  MeshArrays arrays;
  root->GetGeometryByName("twin", &arrays);
  EXPECT_EQ(arrays.vertex_count, 3u);
  EXPECT_EQ(arrays.index_count, 3u);
  EXPECT_EQ(arrays.vertices[0].x, 1.0f);
}

TEST(MeshQueries, ExtractionCountsThenCopiesWithTheSameFilters) {
  auto rig = platform::test3d::MakeRig(8, 8);
  auto root = FrameNode::Create("root", 0);
  root->set_local_matrix(Translation(0, 0, 100));
  root->SetRootTransform(1, Translation(1000, 0, 0));  // never part of the copy
  std::vector<float> eight(8 * 3, 1.0f), twenty_four(24 * 3, 2.0f);
  root->AddChildNode(Mesh("a", 0, eight, 4));
  root->AddChildNode(Mesh("b", 0, twenty_four, 4));
  root->AddChildNode(Mesh("c", 0, {0, 0, 0, 1, 0, 0, 0, 1, 0}, 5));
  rig->device->SetTransform(platform::TransformState::kWorld, Matrix4::Identity());

  GeometryExtraction count;
  count.texture_filter = 4;
  root->ExtractNodeGeometry(*rig->device, count);
  EXPECT_EQ(count.mesh_counter, 2u);
  EXPECT_EQ(count.vertex_cursor, 32u);
  EXPECT_EQ(count.index_cursor, 6u + 24u);

  std::vector<MeshVertex> vertices(count.vertex_cursor);
  std::vector<uint16_t> indices(count.index_cursor);
  std::vector<uint32_t> vertex_counts(2), index_counts(2);
  GeometryExtraction copy{&vertices, &indices, &vertex_counts, &index_counts};
  copy.mode = GeometryExtraction::kCopyPass;
  copy.texture_filter = 4;
  root->ExtractNodeGeometry(*rig->device, copy);
  EXPECT_EQ(vertices.size(), 32u);
  EXPECT_EQ(vertex_counts, (std::vector<uint32_t>{8, 24}));
  EXPECT_EQ(index_counts, (std::vector<uint32_t>{6, 24}));
  EXPECT_EQ(vertices[0].z, 101.0f);  // in world space, without the root transform
  EXPECT_EQ(vertices[0].x, 1.0f);
  EXPECT_EQ(indices[6], 0);  // the second mesh's indices stay its own

  // A copy pass with no counting pass before it grows its outputs.
  std::vector<MeshVertex> empty_vertices;
  std::vector<uint16_t> empty_indices;
  GeometryExtraction blind{&empty_vertices, &empty_indices, nullptr, nullptr};
  blind.mode = GeometryExtraction::kCopyPass;
  root->ExtractNodeGeometry(*rig->device, blind);
  EXPECT_EQ(empty_vertices.size(), 35u);
}

TEST(MeshQueries, SavedMeshesAreTopLevelMeshObjectsOfTriangles) {
  auto root = FrameNode::Create("root", 0);
  const float square[12] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
  const uint32_t quad[] = {4, 0, 1, 2, 3};
  root->AddChildNode(MeshNode::Create("q", square, 1, quad, false));
  root->AddChildNode(Mesh("t", 0, {0, 0, 0, 1, 0, 0, 0, 1, 0}));
  platform::XDocument document;
  root->SaveNodeToX(document);
  ASSERT_EQ(document.objects.size(), 2u);
  auto bytes = platform::WriteXData(document);
  ASSERT_TRUE(bytes.ok());
  auto back = platform::ParseXFile(testing::Bytes(*bytes));
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(back->objects[0]->name(), "Mesh");
  auto mesh = platform::ReadXMesh(*back->objects[0]);
  ASSERT_TRUE(mesh.ok());
  EXPECT_EQ(mesh->vertices.size(), 4u);
  EXPECT_EQ(mesh->faces.packed, (std::vector<uint32_t>{3, 0, 1, 2, 3, 0, 2, 3}));
}

}  // namespace
}  // namespace zv::models
