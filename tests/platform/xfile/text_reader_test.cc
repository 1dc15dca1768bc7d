#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/xfile/frame_view.h"
#include "platform/xfile/material_view.h"
#include "platform/xfile/mesh_view.h"
#include "tests/platform/xfile/xfile_test_support.h"

namespace zv::platform {
namespace {

using testing::Parse;
using testing::ParseText;

const XDataObject& Only(const XResult<XDocument>& doc) {
  EXPECT_TRUE(doc.ok()) << doc.error().Describe();
  EXPECT_EQ(doc->objects.size(), 1u);
  return *doc->objects.front();
}

TEST(XTextReader, ReadsMeshWithSeparatorRunsAndMissingSeparators) {
  // As exporters write them: runs of ';' and ',', bare blanks, CR LF ends.
  auto doc = ParseText(
      "Mesh box {\r\n"
      " 4;\r\n"
      " 0.0; 0.0; 0.0;,\r\n"
      " 1.0 0.0 0.0,,\r\n"
      " 1.0;1.0;0.0;;;\r\n"
      " 0 1 0;;\r\n"
      " 2;\r\n"
      " 3;0,1,2;,\r\n"
      " 3 0 2 3\r\n"
      "}\r\n");
  const XDataObject& mesh = Only(doc);
  EXPECT_EQ(mesh.name(), "box");
  auto view = ReadXMesh(mesh);
  ASSERT_TRUE(view.ok()) << view.error().Describe();
  ASSERT_EQ(view->vertices.size(), 4u);
  EXPECT_EQ(view->vertices[3], (XVector3{0, 1, 0}));
  EXPECT_EQ(view->faces.count, 2u);
  EXPECT_EQ(view->faces.packed, (std::vector<uint32_t>{3, 0, 1, 2, 3, 0, 2, 3}));
}

TEST(XTextReader, SkipsCommentsOfBothKinds) {
  auto doc = ParseText(
      "// a comment { with a brace\n"
      "# another } one\n"
      "Header { 1; // major\n 0; # minor\n 1; }\n");
  EXPECT_EQ(Only(doc).numbers(), (std::vector<double>{1, 0, 1}));
}

TEST(XTextReader, ReadsTheOldRuntimeNaNSpellingsAsZero) {
  auto doc = ParseText("Vector { -1.#IND00; 1.#QNAN0; 1.#INF00; }");
  const auto& n = Only(doc).numbers();
  ASSERT_EQ(n.size(), 3u);
  EXPECT_EQ(n[0], 0.0);
  EXPECT_EQ(n[1], 0.0);
  EXPECT_EQ(n[2], std::numeric_limits<double>::infinity());
}

TEST(XTextReader, RoundsFloatsToSinglePrecisionOnlyIn32BitFiles) {
  auto single = Parse("xof 0303txt 0032 Vector { 0.1; 0; 0; }");
  auto twin = Parse("xof 0303txt 0064 Vector { 0.1; 0; 0; }");
  EXPECT_EQ(Only(single).numbers()[0], static_cast<double>(0.1f));
  EXPECT_EQ(Only(twin).numbers()[0], 0.1);
}

TEST(XTextReader, MatchesTemplateNamesWithoutRegardToCase) {
  auto doc = ParseText(
      "frame f { MATERIAL m { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFileName { \"a.bmp\"; } } }");
  const XDataObject& frame = Only(doc);
  EXPECT_TRUE(frame.Is(XTemplateKind::kFrame));
  const XDataObject* material = frame.FindChild(XTemplateKind::kMaterial);
  ASSERT_NE(material, nullptr);
  auto view = ReadXMaterial(*material);
  ASSERT_TRUE(view.ok()) << view.error().Describe();
  EXPECT_EQ(view->texture_filename, "a.bmp");
}

TEST(XTextReader, ResolvesReferencesByNameGuidOrBoth) {
  auto doc = ParseText(
      "Frame first { <11111111-2222-3333-4444-555555555555> }\n"
      "Frame holder {\n"
      "  { first }\n"
      "  { <11111111-2222-3333-4444-555555555555> }\n"
      "  { first <11111111-2222-3333-4444-555555555555> }\n"
      "  { later }\n"
      "  { missing }\n"
      "  { first <99999999-2222-3333-4444-555555555555> }\n"
      "}\n"
      "Frame later { }\n");
  ASSERT_TRUE(doc.ok()) << doc.error().Describe();
  const XDataObject& first = *doc->objects[0];
  const auto& children = doc->objects[1]->children();
  ASSERT_EQ(children.size(), 6u);
  EXPECT_EQ(children[0].Target(), &first);
  EXPECT_EQ(children[1].Target(), &first);
  EXPECT_EQ(children[2].Target(), &first);
  EXPECT_EQ(children[3].Target(), doc->objects[2].get());
  EXPECT_EQ(children[4].Target(), nullptr);
  EXPECT_EQ(children[5].Target(), nullptr);
  EXPECT_EQ(children[4].reference()->name, "missing");
}

TEST(XTextReader, ResolvesReferencesToNestedObjects) {
  auto doc = ParseText(
      "Frame root { Frame bone { } }\n"
      "AnimationSet set { Animation { { bone } } }\n");
  ASSERT_TRUE(doc.ok()) << doc.error().Describe();
  const XDataObject* bone = doc->objects[0]->children()[0].object();
  const XDataObject* animation = doc->objects[1]->children()[0].object();
  EXPECT_EQ(animation->children()[0].Target(), bone);
}

TEST(XTextReader, SkipsObjectsOfUnknownTemplates) {
  auto doc = ParseText(
      "Frame a {\n"
      "  Mystery name { 1; \"}{\"; Inner { 2; } { ref } }\n"
      "  Frame b { }\n"
      "}\n");
  const XDataObject& a = Only(doc);
  ASSERT_EQ(a.children().size(), 1u);
  EXPECT_EQ(a.children()[0].object()->name(), "b");
}

TEST(XTextReader, ReadsObjectsOfTemplatesDeclaredInTheFile) {
  auto doc = ParseText(
      "template Pair { <01020304-0506-0708-090a-0b0c0d0e0f10> STRING key; STRING value; }\n"
      "template Grid {\n"
      " <01020304-0506-0708-090a-0b0c0d0e0f11>\n"
      " DWORD rows; DWORD cols;\n"
      " array SWORD cells[rows][cols];\n"
      " [Pair <01020304-0506-0708-090a-0b0c0d0e0f10>]\n"
      "}\n"
      "Grid g { 2; 3; 1, -2, 3, -4, 5, -6; Pair { \"k\"; \"v\"; } }\n");
  ASSERT_TRUE(doc.ok()) << doc.error().Describe();
  ASSERT_EQ(doc->templates.size(), 2u);
  EXPECT_EQ(doc->templates[1]->restriction, XRestriction::kRestricted);
  const XDataObject& grid = *doc->objects[0];
  EXPECT_EQ(grid.numbers(), (std::vector<double>{2, 3, 1, -2, 3, -4, 5, -6}));
  EXPECT_EQ(grid.children()[0].object()->strings(), (std::vector<std::string>{"k", "v"}));
}

TEST(XTextReader, AcceptsNamesThatLookLikeNumbers) {
  auto doc = ParseText("Frame 3Box { Frame 42 { } }");
  const XDataObject& frame = Only(doc);
  EXPECT_EQ(frame.name(), "3Box");
  EXPECT_EQ(frame.children()[0].object()->name(), "42");
}

// The layout the 3DS conversion writes (numbers "%5.6f", a material
// reference, keys ending ";;;" when there is one).
TEST(XTextReader, ReadsTheConvertersTextOutput) {
  auto doc = ParseText(
      "Header {\n1;\n0;\n1;\n}\n\n"
      "Material x3ds_mat_Red {\n"
      "1.000000, 0.000000, 0.000000, 1.000000;;\n"
      "25.000000;\n"
      "0.900000, 0.900000, 0.900000;;\n"
      "0.000000, 0.000000, 0.000000;;\n"
      "TextureFilename {\n\"brick_wall.bmp\";\n}\n"
      "}\n\n"
      "Frame x3ds_Box01 {\n"
      "FrameTransformMatrix {\n"
      "1.000000, 0.000000, 0.000000, 0.000000,\n"
      "0.000000, 1.000000, 0.000000, 0.000000,\n"
      "0.000000, 0.000000, 1.000000, 0.000000,\n"
      "00.000000, 2.000000, 3.000000, 1.000000;;\n"
      "}\n"
      "Mesh x3Box {\n"
      "3;\n"
      "0.000000; 0.000000; 0.000000;,\n"
      "1.000000; 0.000000; 0.000000;,\n"
      "0.000000; 1.000000; 0.000000;;\n"
      "1;\n"
      "3;0,1,2;;\n"
      "MeshMaterialList {\n1;\n1;\n0;;\n{x3ds_mat_Red}\n}\n\n"
      "MeshTextureCoords {\n3;\n0.000000;1.000000;,\n1.000000;1.000000;,\n0.000000;0.000000;;\n}\n"
      "}\n"
      "}\n\n"
      "AnimationSet x3ds_animset_0 {\n"
      "Animation x3ds_anim_0 {\n"
      "{x3ds_Box01}\n"
      "AnimationKey {\n0;\n1;\n0; 4; 1.000000, 0.000000, 0.000000, 0.000000;;;\n}\n"
      "AnimationKey {\n2;\n2;\n0; 3; 0.000000, 0.000000, 0.000000;;,\n"
      "10; 3; 1.000000, 2.000000, 3.000000;;;\n}\n"
      "}\n"
      "}\n");
  ASSERT_TRUE(doc.ok()) << doc.error().Describe();
  ASSERT_EQ(doc->objects.size(), 4u);
  const XDataObject& frame = *doc->objects[2];
  auto matrix = ReadXFrameTransformMatrix(*frame.FindChild(XTemplateKind::kFrameTransformMatrix));
  ASSERT_TRUE(matrix.ok());
  EXPECT_EQ((*matrix)[13], 2.0f);
  const XDataObject* mesh = frame.FindChild(XTemplateKind::kMesh);
  auto list = ReadXMeshMaterialList(*mesh->FindChild(XTemplateKind::kMeshMaterialList));
  ASSERT_TRUE(list.ok()) << list.error().Describe();
  EXPECT_EQ(list->face_indexes, std::vector<uint32_t>{0});
  ASSERT_EQ(list->materials.size(), 1u);
  EXPECT_EQ(list->materials[0], doc->objects[1].get());
  const XDataObject& animation = *doc->objects[3]->children()[0].object();
  EXPECT_EQ(animation.children()[0].Target(), &frame);
  EXPECT_EQ(animation.children()[2].object()->numbers().size(), 2u + 2 * 5);
}

TEST(XTextReader, ReadsAnEmptyFile) {
  auto doc = ParseText("");
  ASSERT_TRUE(doc.ok());
  EXPECT_TRUE(doc->objects.empty());
}

}  // namespace
}  // namespace zv::platform
