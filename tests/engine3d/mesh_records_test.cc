#include "engine3d/objects/mesh_records.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace zv {
namespace {

Vector3f VertexAt(const MeshRecord& m, int i) {
  return Vector3f{m.vertices[3 * i], m.vertices[3 * i + 1], m.vertices[3 * i + 2]};
}

// Every face of non-zero area turns its front (b - a) x (c - a) away from
// `inside`.
void ExpectFacesPointOut(const MeshRecord& m, Vector3f inside) {
  for (int f = 0; f < m.face_count; ++f) {
    const Vector3f a = VertexAt(m, static_cast<int>(m.face_data[7 * f + 1]));
    const Vector3f b = VertexAt(m, static_cast<int>(m.face_data[7 * f + 3]));
    const Vector3f c = VertexAt(m, static_cast<int>(m.face_data[7 * f + 5]));
    Vector3f n;
    VectorCross(n, Vector3f{b.x - a.x, b.y - a.y, b.z - a.z}, Vector3f{c.x - a.x, c.y - a.y, c.z - a.z});
    if (VectorLength(n) < 1e-6) continue;
    const Vector3f centre{(a.x + b.x + c.x) / 3 - inside.x, (a.y + b.y + c.y) / 3 - inside.y,
                          (a.z + b.z + c.z) / 3 - inside.z};
    EXPECT_GT(VectorDot(n, centre), 0.0) << "face " << f;
  }
}

void ExpectExtent(const MeshRecord& m, Vector3f low, Vector3f high) {
  Vector3f minimum, maximum;
  ASSERT_TRUE(GetMeshBounds(m, &minimum, &maximum));
  EXPECT_NEAR(minimum.x, low.x, 1e-4f);
  EXPECT_NEAR(minimum.y, low.y, 1e-4f);
  EXPECT_NEAR(minimum.z, low.z, 1e-4f);
  EXPECT_NEAR(maximum.x, high.x, 1e-4f);
  EXPECT_NEAR(maximum.y, high.y, 1e-4f);
  EXPECT_NEAR(maximum.z, high.z, 1e-4f);
}

void ExpectConsistentCounts(const MeshRecord& m) {
  EXPECT_EQ(m.vertices.size(), static_cast<size_t>(m.vertex_count) * 3);
  EXPECT_EQ(m.normals.size(), static_cast<size_t>(m.normal_count) * 3);
  EXPECT_EQ(m.tex_coords.size(), static_cast<size_t>(m.vertex_count) * 2);
  EXPECT_EQ(m.face_data.size(), static_cast<size_t>(m.face_data_count));
  EXPECT_EQ(m.face_data_count, 7 * m.face_count);
  for (int f = 0; f < m.face_count; ++f) {
    EXPECT_EQ(m.face_data[7 * f], 3u);
    for (int c = 1; c < 7; ++c) EXPECT_LT(m.face_data[7 * f + c], static_cast<uint32_t>(m.vertex_count));
  }
}

TEST(BoxMesh, PutsItsCornersAtHalfTheSizes) {
  MeshRecord m;
  MakeBoxMesh(m, 2, 4, 6);
  EXPECT_EQ(m.vertex_count, 16);
  EXPECT_EQ(m.face_count, 12);
  EXPECT_EQ(m.face_data_count, 84);
  EXPECT_EQ(VertexAt(m, 6), (Vector3f{1, 2, 3}));
  ExpectConsistentCounts(m);
  ExpectFacesPointOut(m, Vector3f{});
}

TEST(TriangleMesh, TakesItsCornersInOrder) {
  MeshRecord m;
  const std::array<float, 9> corners{1, 2, 3, 4, 5, 6, 7, 8, 9};
  MakeTriangleMesh(m, corners);
  EXPECT_EQ(m.vertex_count, 3);
  EXPECT_EQ(VertexAt(m, 2), (Vector3f{7, 8, 9}));
  EXPECT_EQ(m.tex_coords, (std::vector<float>{0, 0, 0, 1, 1, 1}));
  ExpectConsistentCounts(m);
}

TEST(BuiltinMeshes, HaveTheirCountsExtentsAndOutwardFaces) {
  MeshRecord sphere, cube, cylinder, plain, cone;
  MakeSphereMesh(sphere, 2);
  EXPECT_EQ(sphere.vertex_count, 164);
  EXPECT_EQ(sphere.face_count, 224);
  ExpectExtent(sphere, Vector3f{-0.998f, -0.998f, -0.998f}, Vector3f{1.002f, 1.002f, 1.002f});
  ExpectFacesPointOut(sphere, Vector3f{0.002f, 0.002f, 0.002f});

  MakeCubeMesh(cube, 1);
  EXPECT_EQ(cube.vertex_count, 32);
  EXPECT_EQ(cube.face_count, 12);
  ExpectExtent(cube, Vector3f{-0.499f, -0.499f, -0.499f}, Vector3f{0.501f, 0.501f, 0.501f});
  ExpectFacesPointOut(cube, Vector3f{0.001f, 0.001f, 0.001f});

  MakeCylinderMesh(cylinder, 3);
  EXPECT_EQ(cylinder.vertex_count, 171);
  EXPECT_EQ(cylinder.face_count, 96);
  ExpectExtent(cylinder, Vector3f{-1.5f, -1.5f, -1.5f}, Vector3f{1.5f, 1.5f, 1.5f});
  ExpectFacesPointOut(cylinder, Vector3f{});

  MakePlainMesh(plain, 4, 2);
  EXPECT_EQ(plain.vertex_count, 4);
  ExpectExtent(plain, Vector3f{-1.996f, -0.998f, 0.001f}, Vector3f{2.004f, 1.002f, 0.001f});
  for (int i = 0; i < 4; ++i) EXPECT_EQ(plain.normals[3 * i + 2], -1.0f);

  MakeConeMesh(cone, 1);
  EXPECT_EQ(cone.vertex_count, 28);
  EXPECT_EQ(cone.face_count, 48);
  ExpectExtent(cone, Vector3f{-0.499f, -0.499f, -0.499f}, Vector3f{0.501f, 0.501f, 0.501f});
  ExpectFacesPointOut(cone, Vector3f{0.001f, -0.2f, 0.001f});

  for (const MeshRecord* m : {&sphere, &cube, &cylinder, &plain, &cone}) ExpectConsistentCounts(*m);
}

TEST(BuiltinMeshes, SphereNormalsPointOutAndSeamTexturesEndAtOne) {
  MeshRecord sphere;
  LoadResourceMesh(sphere, kSphereMesh);
  for (int i = 0; i < sphere.vertex_count; ++i) {
    const Vector3f p = VertexAt(sphere, i);
    const Vector3f n{sphere.normals[3 * i], sphere.normals[3 * i + 1], sphere.normals[3 * i + 2]};
    EXPECT_NEAR(VectorLength(n), 1.0, 1e-5);
    EXPECT_GT(VectorDot(n, Vector3f{p.x - 0.001f, p.y - 0.001f, p.z - 0.001f}), 0.4);
  }
  EXPECT_EQ(sphere.tex_coords[2 * 129], 1.0f);  // ring 1 at azimuth 360
  EXPECT_FALSE(LoadResourceMesh(sphere, 192));
}

TEST(MeshRecordHelpers, ScaleSetNormalsAndBound) {
  MeshRecord m;
  MakeBoxMesh(m, 2, 2, 2);
  ScaleMeshVertices(m, 2, 3, 4);
  ExpectExtent(m, Vector3f{-2, -3, -4}, Vector3f{2, 3, 4});
  SetMeshRecordNormals(m, 0, 8, 0);
  EXPECT_EQ(m.normals[3 * 15 + 1], 8.0f);
  MeshRecord one;
  one.vertex_count = 1;
  one.vertices = {5, -6, 7};
  Vector3f minimum, maximum;
  ASSERT_TRUE(GetMeshBounds(one, &minimum, &maximum));
  EXPECT_EQ(minimum, (Vector3f{5, -6, 7}));
  EXPECT_EQ(maximum, (Vector3f{5, -6, 7}));
  EXPECT_FALSE(GetMeshBounds(MeshRecord{}, &minimum, &maximum));
}

std::span<const uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

TEST(LoadMeshFromX, TakesPositionsNormalIndicesFacesAndTextureCoordinates) {
  const std::string text =
      "xof 0302txt 0032\n"
      "Mesh {\n"
      "  4; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 1.0;1.0;0.0;, 0.0;1.0;0.0;;\n"
      "  1; 4;0,1,2,3;;\n"
      "  MeshNormals { 1; 0.0;0.0;-1.0;; 1; 4;0,0,0,0;; }\n"
      "  MeshTextureCoords { 4; 0.0;0.0;, 1.0;0.0;, 1.0;1.0;, 0.0;1.0;; }\n"
      "}\n";
  MeshRecord m;
  ASSERT_TRUE(LoadMeshFromX(m, Bytes(text)));
  EXPECT_EQ(m.vertex_count, 4);
  EXPECT_EQ(m.normal_count, 1);
  EXPECT_EQ(m.face_count, 1);
  EXPECT_EQ(m.face_data, (std::vector<uint32_t>{4, 0, 0, 1, 0, 2, 0, 3, 0}));
  EXPECT_EQ(m.tex_coords[4], 1.0f);
}

TEST(LoadMeshFromX, RefusesDataThatIsNoXMeshAndKeepsTheRecord) {
  MeshRecord m;
  MakeBoxMesh(m, 1, 1, 1);
  EXPECT_FALSE(LoadMeshFromX(m, Bytes("not an x file")));
  EXPECT_FALSE(LoadMeshFromX(m, Bytes("xof 0302txt 0032\nHeader { 1; 0; 1; }\n")));
  // A face naming a vertex the mesh does not have.
  EXPECT_FALSE(LoadMeshFromX(m, Bytes("xof 0302txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,7;; }\n")));
  EXPECT_EQ(m.vertex_count, 16);
}

TEST(LoadMeshFromX, ComputesNormalsWhenTheFileHasNone) {
  MeshRecord m;
  ASSERT_TRUE(
      LoadMeshFromX(m, Bytes("xof 0302txt 0032\nMesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; }\n")));
  EXPECT_EQ(m.normal_count, 3);
  EXPECT_NEAR(m.normals[2], -1.0f, 1e-6f);
}

}  // namespace
}  // namespace zv
