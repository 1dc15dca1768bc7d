#include <gtest/gtest.h>

#include "platform/xfile/animation_view.h"
#include "platform/xfile/material_view.h"
#include "platform/xfile/mesh_view.h"
#include "platform/xfile/writer.h"
#include "tests/platform/xfile/xfile_test_support.h"

namespace zv::platform {
namespace {

using testing::BinaryBuilder;
using testing::Parse;

struct DamagedCase {
  const char* what;
  std::string file;
  uint64_t offset;
  const char* message;  // a part of the expected message
};

const std::string kText = "xof 0302txt 0032\n";  // body starts at 17
const std::string kBin = "xof 0302bin 0032";     // body starts at 16

std::vector<DamagedCase> DamagedCases() {
  return {
      {"count beyond the data", kText + "Mesh m { 1000000; 0;0;0;; }", 33, "claims 1000000"},
      {"object not closed", kText + "Frame a { Frame b { }", 38, "file ends inside Frame"},
      {"value missing", kText + "Vector { 1; 2; }", 32, "expected a number"},
      {"WORD out of range", kText + "Header { 70000; 0; 1; }", 26, "does not fit a WORD"},
      {"negative DWORD", kText + "Header { 1; 0; -1; }", 32, "does not fit a DWORD"},
      {"malformed GUID", kText + "Frame { <1234> }", 25, "malformed GUID"},
      {"unclosed string", kText + "TextureFilename { \"a.bmp; }", 35, "string is not closed"},
      {"dimension names no member",
       kText + "template T { DWORD n; array DWORD a[m]; }", 53, "names no member"},
      {"member of unknown type", kText + "template T { Nothing x; }", 30, "not a known template"},
      {"stray value among children", kText + "Frame f { 12; }", 27, "unexpected a number"},
      {"empty reference", kText + "Frame f { { } }", 27, "reference names no object"},
      {"no header", "xof 0302", 0, "too short"},
      {"wrong signature", "xyz 0302txt 0032", 0, "not an X file"},
      {"unknown version", "xof 0401txt 0032", 4, "unsupported X file version"},
      {"unknown form", "xof 0302abc 0032", 8, "unknown X file form"},
      {"unknown float size", "xof 0302txt 0016", 12, "float size"},
      {"binary name longer than the file",
       BinaryBuilder().Token(xbin::kName).U32(0x7FFFFFFF).Raw("ab", 2).str(), 22, "runs past"},
      {"binary list longer than the file",
       BinaryBuilder().Name("Vector").Token(xbin::kOpenBrace).Token(xbin::kFloatList).U32(1u << 30).str(),
       36, "runs past"},
      {"binary unknown token", BinaryBuilder().Token(99).str(), 16, "unknown binary token 99"},
      {"binary token cut off", kBin + "\x01", 16, "runs past"},
      {"binary values left over",
       BinaryBuilder().Name("Vector").Token(xbin::kOpenBrace).Floats({1, 2, 3, 4}).Token(xbin::kCloseBrace).str(),
       48, "1 more values"},
      {"binary string where a number belongs",
       BinaryBuilder().Name("Vector").Token(xbin::kOpenBrace).Token(xbin::kString).U32(0).str(), 30,
       "expected a value"},
      {"compressed size over the limit", "xof 0302bzip0032\xff\xff\xff\xff", 16, "limit"},
      {"compressed block without signature",
       std::string("xof 0302bzip0032\x20\x00\x00\x00\x10\x00\x04\x00" "XXab", 28), 24, "CK"},
      {"compressed block beyond the file",
       std::string("xof 0302bzip0032\x20\x00\x00\x00\x10\x00\x40\x00" "CK", 26), 20, "does not fit"},
      {"compressed blocks short of the stated size",
       std::string("xof 0302bzip0032\x20\x00\x00\x00", 20), 20, "not the stated"},
  };
}

TEST(XDamagedInput, GivesAnErrorWithTheByteOffset) {
  for (const DamagedCase& c : DamagedCases()) {
    auto doc = Parse(c.file);
    ASSERT_FALSE(doc.ok()) << c.what;
    EXPECT_EQ(doc.error().offset, c.offset) << c.what << ": " << doc.error().Describe();
    EXPECT_NE(doc.error().message.find(c.message), std::string::npos)
        << c.what << ": " << doc.error().Describe();
  }
}

TEST(XDamagedInput, RefusesDeepNesting) {
  std::string text = kText;
  for (int i = 0; i < 100000; ++i) text += "Frame{";
  auto doc = Parse(text);
  ASSERT_FALSE(doc.ok());
  EXPECT_NE(doc.error().message.find("nest too deeply"), std::string::npos);
}

TEST(XDamagedInput, RefusesTemplatesNestedTooDeeply) {
  std::string text = kText + "template T0 { DWORD x; }\n";
  for (int i = 1; i < 40; ++i)
    text += "template T" + std::to_string(i) + " { T" + std::to_string(i - 1) + " inner; }\n";
  auto doc = Parse(text);
  ASSERT_FALSE(doc.ok());
  EXPECT_NE(doc.error().message.find("nests too deeply"), std::string::npos);
}

TEST(XDamagedInput, HugeArraysOfEmptyElementsEndAtOnce) {
  auto doc = testing::ParseText(
      "template Nothing { <01010101-0101-0101-0101-010101010101> }\n"
      "template Many { DWORD n; array Nothing items[n]; }\n"
      "Many { 4294967295; }\n");
  ASSERT_TRUE(doc.ok()) << doc.error().Describe();
  EXPECT_EQ(doc->objects[0]->numbers(), std::vector<double>{4294967295.0});
}

// The views check every index against what it indexes.
TEST(XDamagedInput, ViewsRefuseIndexesOutOfRange) {
  auto doc = testing::ParseText(
      "Mesh bad { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,3;;\n"
      "  MeshNormals { 1; 0;0;1;; 1; 3;0,0,1;; }\n"
      "  MeshMaterialList { 1; 1; 1;; }\n"
      "}\n"
      "AnimationKey { 0; 1; 0; 3; 1,0,0;;; }\n");
  ASSERT_TRUE(doc.ok()) << doc.error().Describe();
  const XDataObject& mesh = *doc->objects[0];
  auto view = ReadXMesh(mesh);
  ASSERT_FALSE(view.ok());
  EXPECT_EQ(view.error().offset, 17u);
  EXPECT_NE(view.error().message.find("refers to vertex 3 of 3"), std::string::npos);
  auto normals = ReadXMeshNormals(*mesh.FindChild(XTemplateKind::kMeshNormals));
  ASSERT_FALSE(normals.ok());
  EXPECT_NE(normals.error().message.find("refers to normal 1 of 1"), std::string::npos);
  auto list = ReadXMeshMaterialList(*mesh.FindChild(XTemplateKind::kMeshMaterialList));
  ASSERT_FALSE(list.ok());
  EXPECT_NE(list.error().message.find("material 1 of 1"), std::string::npos);
  auto key = ReadXAnimationKey(*doc->objects[1]);
  ASSERT_FALSE(key.ok());
  EXPECT_NE(key.error().message.find("has 3 values, not 4"), std::string::npos);
}

TEST(XDamagedInput, ViewsRefuseRedeclaredTemplatesOfAnotherLayout) {
  auto doc = testing::ParseText(
      "template Mesh { <3d82ab44-62da-11cf-ab39-0020af71e433> DWORD nVertices; }\n"
      "Mesh m { 0; }\n");
  ASSERT_TRUE(doc.ok()) << doc.error().Describe();
  auto view = ReadXMesh(*doc->objects[0]);
  ASSERT_FALSE(view.ok());
  EXPECT_NE(view.error().message.find("layout"), std::string::npos);
}

// Every prefix and every single-byte change of a small file either reads or
// fails with an offset inside the file; never anything worse (the sanitizer
// build watches for that).
TEST(XDamagedInput, EveryPrefixAndByteChangeFailsCleanly) {
  auto doc = testing::ParseText(
      "Frame root { FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }\n"
      " Mesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
      "  MeshMaterialList { 1; 1; 0;; Material { 1;1;1;1;; 2; 0;0;0;; 0;0;0;; TextureFilename { \"t.bmp\"; } } }\n"
      " } }\n"
      "AnimationSet s { Animation { {root} AnimationKey { 2; 1; 0; 3; 1,2,3;;; } } }\n");
  ASSERT_TRUE(doc.ok()) << doc.error().Describe();
  for (XEncoding encoding : {XEncoding::kText, XEncoding::kBinary}) {
    XWriteOptions options;
    options.encoding = encoding;
    auto written = WriteXData(*doc, options);
    ASSERT_TRUE(written.ok());
    std::vector<std::string> files = {*written, testing::CompressX(*written, 64)};
    for (const std::string& file : files) {
      for (size_t length = 0; length < file.size(); ++length) {
        auto result = Parse(std::string_view(file).substr(0, length));
        if (!result.ok()) {
          EXPECT_LE(result.error().offset, file.size());
        }
      }
      for (size_t at = 0; at < file.size(); ++at) {
        for (uint8_t change : {uint8_t{0x01}, uint8_t{0x80}, uint8_t{0xFF}}) {
          std::string damaged = file;
          damaged[at] = static_cast<char>(damaged[at] ^ change);
          auto result = Parse(damaged);
          if (!result.ok()) continue;
          result->ForEachObject([](const XDataObject& object) {
            // The views must cope with whatever the damage left.
            if (object.Is(XTemplateKind::kMesh)) (void)ReadXMesh(object);
            if (object.Is(XTemplateKind::kMaterial)) (void)ReadXMaterial(object);
            if (object.Is(XTemplateKind::kMeshMaterialList)) (void)ReadXMeshMaterialList(object);
            if (object.Is(XTemplateKind::kAnimationKey)) (void)ReadXAnimationKey(object);
          });
        }
      }
    }
  }
}

}  // namespace
}  // namespace zv::platform
