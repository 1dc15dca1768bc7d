#include <gtest/gtest.h>

#include "platform/xfile/mesh_view.h"
#include "platform/xfile/writer.h"
#include "tests/platform/xfile/xfile_test_support.h"

namespace zv::platform {
namespace {

using testing::BinaryBuilder;
using testing::Parse;
using testing::ParseText;

constexpr char kTriangleText[] =
    "Frame tri { Mesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } }";

TEST(XBinaryReader, ReadsTheSameTreeAsTheTextForm) {
  BinaryBuilder b;
  b.Name("Frame").Name("tri").Token(xbin::kOpenBrace);
  b.Name("Mesh").Name("m").Token(xbin::kOpenBrace);
  b.Integers({3}).Floats({0, 0, 0, 1, 0, 0, 0, 1, 0}).Integers({1, 3, 0, 1, 2});
  b.Token(xbin::kCloseBrace).Token(xbin::kCloseBrace);
  auto binary = Parse(b.str());
  auto text = ParseText(kTriangleText);
  ASSERT_TRUE(binary.ok()) << binary.error().Describe();
  ASSERT_TRUE(text.ok()) << text.error().Describe();
  EXPECT_TRUE(SameTree(*binary, *text));
}

TEST(XBinaryReader, Reads64BitFloatLists) {
  BinaryBuilder b("xof 0303bin 0064");
  b.Name("Vector").Token(xbin::kOpenBrace).Doubles({0.1, 0.2, 0.3}).Token(xbin::kCloseBrace);
  auto doc = Parse(b.str());
  ASSERT_TRUE(doc.ok()) << doc.error().Describe();
  EXPECT_EQ(doc->objects[0]->numbers(), (std::vector<double>{0.1, 0.2, 0.3}));
}

TEST(XBinaryReader, ReadsSignedMembersAsSignedWords) {
  BinaryBuilder b;
  b.Token(xbin::kTemplate).Name("Offset").Token(xbin::kOpenBrace);
  b.Token(xbin::kSdword).Name("dx").Token(xbin::kSemicolon);
  b.Token(xbin::kCloseBrace);
  b.Name("Offset").Token(xbin::kOpenBrace).Integers({0xFFFFFFFEu}).Token(xbin::kCloseBrace);
  auto doc = Parse(b.str());
  ASSERT_TRUE(doc.ok()) << doc.error().Describe();
  EXPECT_EQ(doc->objects[0]->numbers(), std::vector<double>{-2});
}

TEST(XBinaryReader, ReadsStringsAndReferences) {
  BinaryBuilder b;
  b.Name("Material").Name("red").Token(xbin::kOpenBrace);
  b.Floats({1, 0, 0, 1, 5, 0, 0, 0, 0, 0, 0});
  b.Name("TextureFilename").Token(xbin::kOpenBrace);
  b.Token(xbin::kString).U32(5).Raw("a.bmp", 5).Token(xbin::kSemicolon);
  b.Token(xbin::kCloseBrace).Token(xbin::kCloseBrace);
  b.Name("Frame").Token(xbin::kOpenBrace);
  b.Token(xbin::kOpenBrace).Name("red").Token(xbin::kCloseBrace);
  b.Token(xbin::kCloseBrace);
  auto doc = Parse(b.str());
  ASSERT_TRUE(doc.ok()) << doc.error().Describe();
  EXPECT_EQ(doc->objects[0]->children()[0].object()->strings(), std::vector<std::string>{"a.bmp"});
  EXPECT_EQ(doc->objects[1]->children()[0].Target(), doc->objects[0].get());
}

// A file long enough for several blocks, so each block's dictionary (the
// previous block's output) matters.
std::string LargeTextFile() {
  std::string text = "xof 0302txt 0032\nMesh big {\n 3000;\n";
  for (int i = 0; i < 3000; ++i)
    text += std::to_string(i) + ".5;" + std::to_string(i % 7) + ".25;1.0;" + (i < 2999 ? ",\n" : ";\n");
  text += " 1000;\n";
  for (int i = 0; i < 1000; ++i)
    text += "3;" + std::to_string(i) + "," + std::to_string(i + 1) + "," + std::to_string(i + 2) +
            (i < 999 ? ";,\n" : ";;\n");
  return text + "}\n";
}

TEST(XCompressedReader, ReadsMultiBlockTextAndBinary) {
  const std::string text = LargeTextFile();
  ASSERT_GT(text.size(), 3u * 16384);
  auto plain = Parse(text);
  ASSERT_TRUE(plain.ok()) << plain.error().Describe();

  auto tzip = Parse(testing::CompressX(text, 16384));
  ASSERT_TRUE(tzip.ok()) << tzip.error().Describe();
  EXPECT_TRUE(tzip->header.compressed);
  EXPECT_TRUE(SameTree(*plain, *tzip));

  XWriteOptions binary;
  binary.encoding = XEncoding::kBinary;
  auto bytes = WriteXData(*plain, binary);
  ASSERT_TRUE(bytes.ok());
  auto bzip = Parse(testing::CompressX(*bytes, 4096));
  ASSERT_TRUE(bzip.ok()) << bzip.error().Describe();
  EXPECT_EQ(bzip->header.encoding, XEncoding::kBinary);
  EXPECT_TRUE(SameTree(*plain, *bzip));
}

}  // namespace
}  // namespace zv::platform
