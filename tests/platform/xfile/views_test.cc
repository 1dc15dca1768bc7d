#include <gtest/gtest.h>

#include "platform/xfile/animation_view.h"
#include "platform/xfile/frame_view.h"
#include "platform/xfile/material_view.h"
#include "platform/xfile/mesh_view.h"
#include "tests/platform/xfile/xfile_test_support.h"

namespace zv::platform {
namespace {

using testing::ParseText;

TEST(XViews, ReadMeshWithNormalsCoordinatesAndPolygons) {
  auto doc = ParseText(
      "Mesh quad { 4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;; 1; 4;0,1,2,3;;\n"
      "  MeshNormals { 1; 0;0;1;; 1; 4;0,0,0,0;; }\n"
      "  MeshTextureCoords { 4; 0;0;, 1;0;, 1;1;, 0;1;; }\n"
      "}\n");
  ASSERT_TRUE(doc.ok()) << doc.error().Describe();
  const XDataObject& object = *doc->objects[0];
  auto mesh = ReadXMesh(object);
  ASSERT_TRUE(mesh.ok()) << mesh.error().Describe();
  EXPECT_EQ(mesh->faces.CornerCount(), 4u);
  std::vector<size_t> corners;
  mesh->faces.ForEach([&](uint32_t, std::span<const uint32_t> face) { corners.push_back(face.size()); });
  EXPECT_EQ(corners, std::vector<size_t>{4});
  auto normals = ReadXMeshNormals(*object.FindChild(XTemplateKind::kMeshNormals));
  ASSERT_TRUE(normals.ok()) << normals.error().Describe();
  EXPECT_EQ(normals->normals, (std::vector<XVector3>{{0, 0, 1}}));
  auto coords = ReadXMeshTextureCoords(*object.FindChild(XTemplateKind::kMeshTextureCoords));
  ASSERT_TRUE(coords.ok());
  EXPECT_EQ((*coords)[2], (XTexCoord{1, 1}));
}

TEST(XViews, MaterialListHasOneEntryPerChild) {
  auto doc = ParseText(
      "Material shared { 1;0;0;1;; 10; 1;1;1;; 0;0;0;; }\n"
      "Mesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
      "  MeshMaterialList { 4; 1; 3;;\n"
      "    { shared }\n"
      "    Material own { 0;1;0;1;; 5; 0;0;0;; 0;0;0;; TextureFilename { \"wall.tga\"; } }\n"
      "    { gone }\n"
      "    TextureFilename { \"not a material\"; }\n"
      "  }\n"
      "}\n");
  ASSERT_TRUE(doc.ok()) << doc.error().Describe();
  const XDataObject* list_object =
      doc->objects[1]->FindChild(XTemplateKind::kMeshMaterialList);
  auto list = ReadXMeshMaterialList(*list_object);
  ASSERT_TRUE(list.ok()) << list.error().Describe();
  EXPECT_EQ(list->material_count, 4u);
  EXPECT_EQ(list->face_indexes, std::vector<uint32_t>{3});
  ASSERT_EQ(list->materials.size(), 4u);
  EXPECT_EQ(list->materials[0], doc->objects[0].get());
  ASSERT_NE(list->materials[1], nullptr);
  EXPECT_EQ(list->materials[2], nullptr);
  EXPECT_EQ(list->materials[3], nullptr);

  auto shared = ReadXMaterial(*list->materials[0]);
  ASSERT_TRUE(shared.ok());
  EXPECT_EQ(shared->face_color, (std::array<float, 4>{1, 0, 0, 1}));
  EXPECT_EQ(shared->power, 10.0f);
  EXPECT_EQ(shared->specular_color, (std::array<float, 3>{1, 1, 1}));
  EXPECT_FALSE(shared->texture_filename);
  auto own = ReadXMaterial(*list->materials[1]);
  ASSERT_TRUE(own.ok());
  EXPECT_EQ(own->texture_filename, "wall.tga");
}

TEST(XViews, FrameMatrixKeepsRowOrder) {
  auto doc = ParseText(
      "FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 5,6,7,1;; }");
  ASSERT_TRUE(doc.ok());
  auto matrix = ReadXFrameTransformMatrix(*doc->objects[0]);
  ASSERT_TRUE(matrix.ok());
  EXPECT_EQ((*matrix)[12], 5.0f);
  EXPECT_EQ((*matrix)[14], 7.0f);
}

TEST(XViews, AnimationNamesItsFrameAndListsItsKeys) {
  auto doc = ParseText(
      "Frame arm { }\n"
      "AnimationSet walk {\n"
      "  Animation a1 { { arm } AnimationOptions { 1; 0; }\n"
      "    AnimationKey { 0; 2; 0; 4; 1,0,0,0;;, 10; 4; 0,1,0,0;;; }\n"
      "    AnimationKey { 4; 1; 5; 16; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;;; } }\n"
      "  Animation a2 { { leg } Frame embedded { } }\n"
      "}\n");
  ASSERT_TRUE(doc.ok()) << doc.error().Describe();
  std::vector<const XDataObject*> animations = ReadXAnimationSet(*doc->objects[1]);
  ASSERT_EQ(animations.size(), 2u);
  XAnimation a1 = ReadXAnimation(*animations[0]);
  EXPECT_EQ(a1.frame, doc->objects[0].get());
  EXPECT_EQ(a1.frame_reference, "arm");
  ASSERT_EQ(a1.keys.size(), 2u);
  auto rotation = ReadXAnimationKey(*a1.keys[0]);
  ASSERT_TRUE(rotation.ok()) << rotation.error().Describe();
  EXPECT_EQ(rotation->key_type, static_cast<uint32_t>(kXRotationKey));
  EXPECT_EQ(rotation->times, (std::vector<uint32_t>{0, 10}));
  EXPECT_EQ(rotation->values, (std::vector<float>{1, 0, 0, 0, 0, 1, 0, 0}));
  auto matrix = ReadXAnimationKey(*a1.keys[1]);
  ASSERT_TRUE(matrix.ok()) << matrix.error().Describe();
  EXPECT_EQ(matrix->values_per_key, 16u);

  XAnimation a2 = ReadXAnimation(*animations[1]);
  EXPECT_EQ(a2.frame, nullptr);  // an embedded frame does not name the track
  EXPECT_EQ(a2.frame_reference, "leg");
}

}  // namespace
}  // namespace zv::platform
