#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/xfile/animation_view.h"
#include "platform/xfile/builders.h"
#include "platform/xfile/writer.h"
#include "tests/platform/xfile/xfile_test_support.h"

namespace zv::platform {
namespace {

using testing::Parse;

// A document with every kind of value and child: integers, floats, strings,
// polygons, nested objects, references by name and by identity.
XDocument SampleDocument() {
  XDocument doc;
  auto material = MakeXObject(XTemplateKind::kMaterial, "paint");
  for (double v : {0.5, 0.25, 0.125, 1.0, 12.0, 0.75, 0.375, 0.0625, 0.0, 0.0, 0.0})
    material->AddNumber(v);
  auto texture = MakeXObject(XTemplateKind::kTextureFilename);
  texture->AddString("C:\\textures\\wall 1.bmp");
  material->AddChild(std::move(texture));
  doc.AddObject(std::move(material));

  auto frame = MakeXObject(XTemplateKind::kFrame, "body");
  XFaceList faces;
  faces.count = 2;
  faces.packed = {4, 0, 1, 2, 3, 3, 0, 2, 1};
  std::vector<XVector3> vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {-1e-7f, 3.5e12f, 0.1f}};
  auto& mesh = frame->AddChild(MakeXMesh("hull", vertices, faces));
  auto list = MakeXObject(XTemplateKind::kMeshMaterialList);
  for (double v : {1, 2, 0, 0}) list->AddNumber(v);
  list->AddReference(MakeXReference("paint"));
  mesh.AddChild(std::move(list));
  doc.AddObject(std::move(frame));

  auto set = MakeXObject(XTemplateKind::kAnimationSet, "walk");
  auto animation = MakeXObject(XTemplateKind::kAnimation, "a0");
  XReference by_guid;
  by_guid.guid = XGuid::Parse("00112233-4455-6677-8899-aabbccddeeff");
  animation->AddReference(MakeXReference("body"));
  animation->AddReference(by_guid);
  std::vector<uint32_t> times = {0, 7};
  std::vector<float> values = {1, 2, 3, 4, 5, 6};
  animation->AddChild(MakeXAnimationKey(kXPositionKey, times, values, 3));
  set->AddChild(std::move(animation));
  doc.AddObject(std::move(set));
  return doc;
}

TEST(XWriter, TextAndBinaryRoundTripsGiveTheSameTree) {
  XDocument doc = SampleDocument();
  for (XEncoding encoding : {XEncoding::kText, XEncoding::kBinary}) {
    for (int float_bits : {32, 64}) {
      XWriteOptions options;
      options.encoding = encoding;
      options.float_bits = float_bits;
      auto bytes = WriteXData(doc, options);
      ASSERT_TRUE(bytes.ok()) << bytes.error().Describe();
      auto back = Parse(*bytes);
      ASSERT_TRUE(back.ok()) << back.error().Describe();
      EXPECT_EQ(back->header.float_bits, float_bits);
      EXPECT_TRUE(SameTree(doc, *back)) << "encoding " << static_cast<int>(encoding) << ", "
                                         << float_bits << "-bit floats";
    }
  }
}

TEST(XWriter, DoublesSurviveOnlyWith64BitFloats) {
  XDocument doc;
  auto vector = MakeXObject(XTemplateKind::kVector);
  for (double v : {0.1, 1e300, -2.5}) vector->AddNumber(v);
  doc.AddObject(std::move(vector));
  XWriteOptions wide;
  wide.float_bits = 64;
  auto back = Parse(*WriteXData(doc, wide));
  ASSERT_TRUE(back.ok());
  EXPECT_TRUE(SameTree(doc, *back));
  auto narrow = Parse(*WriteXData(doc, {}));
  ASSERT_TRUE(narrow.ok());
  EXPECT_EQ(narrow->objects[0]->numbers()[0], static_cast<double>(0.1f));
  EXPECT_EQ(narrow->objects[0]->numbers()[1], HUGE_VAL);
}

TEST(XWriter, TextStartsWithTheSeventeenByteHeaderLine) {
  auto text = WriteXData(SampleDocument());
  ASSERT_TRUE(text.ok());
  EXPECT_EQ(text->substr(0, 17), "xof 0302txt 0032\n");
  XWriteOptions binary;
  binary.encoding = XEncoding::kBinary;
  binary.minor_version = 3;
  EXPECT_EQ(WriteXData(SampleDocument(), binary)->substr(0, 16), "xof 0303bin 0032");
}

// The mesh block of a model saved to X: 4 vertices, 2 triangles.
TEST(XWriter, WritesASavedMeshAsItsStandardBlock) {
  std::vector<XVector3> vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  XFaceList faces{2, {3, 0, 1, 2, 3, 0, 2, 3}};
  auto mesh = MakeXMesh("Mesh", vertices, faces);
  EXPECT_EQ(mesh->numbers().size() * 4, 88u);
  XDocument doc;
  doc.AddObject(std::move(mesh));
  auto back = Parse(*WriteXData(doc));
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(back->objects[0]->name(), "Mesh");
  EXPECT_TRUE(SameTree(doc, *back));
}

// An animation set as the keyframe save writes it: one animation per track,
// a frame reference, and all three key kinds even when a kind has no keys.
XDocument SavedAnimation(const std::string& frame, uint32_t last_time) {
  XDocument doc;
  auto set = MakeXObject(XTemplateKind::kAnimationSet, "xkq_animset_0");
  auto animation = MakeXObject(XTemplateKind::kAnimation, "xkq_anim_0");
  animation->AddReference(MakeXReference(frame));
  std::vector<uint32_t> times = {0, last_time};
  animation->AddChild(MakeXAnimationKey(kXRotationKey, times, std::vector<float>{1, 0, 0, 0, 0, 1, 0, 0}, 4));
  animation->AddChild(MakeXAnimationKey(kXScaleKey, {}, {}, 3));
  animation->AddChild(MakeXAnimationKey(kXPositionKey, times, std::vector<float>{0, 0, 0, 1, 2, 3}, 3));
  set->AddChild(std::move(animation));
  doc.AddObject(std::move(set));
  return doc;
}

TEST(XWriter, WritesAnimationSetsThatJoinAfterTheHeaderLine) {
  auto first = WriteXData(SavedAnimation("arm", 10));
  auto second = WriteXData(SavedAnimation("leg", 20));
  ASSERT_TRUE(first.ok() && second.ok());
  EXPECT_NE(first->find("AnimationSet xkq_animset_0 {"), std::string::npos);
  EXPECT_NE(first->find("Animation xkq_anim_0 {"), std::string::npos);
  EXPECT_NE(first->find("{arm}"), std::string::npos);
  // Joined as the animation merge does: the second file less its first 17 bytes.
  auto joined = Parse(*first + second->substr(17));
  ASSERT_TRUE(joined.ok()) << joined.error().Describe();
  ASSERT_EQ(joined->objects.size(), 2u);
  const XDataObject& animation = *joined->objects[1]->children()[0].object();
  XAnimation view = ReadXAnimation(animation);
  EXPECT_EQ(view.frame_reference, "leg");
  ASSERT_EQ(view.keys.size(), 3u);
  auto scale = ReadXAnimationKey(*view.keys[1]);
  ASSERT_TRUE(scale.ok());
  EXPECT_EQ(scale->key_type, static_cast<uint32_t>(kXScaleKey));
  EXPECT_TRUE(scale->times.empty());
  auto position = ReadXAnimationKey(*view.keys[2]);
  EXPECT_EQ(position->times, (std::vector<uint32_t>{0, 20}));
}

TEST(XWriter, RefusesWhatItCannotWriteFaithfully) {
  auto check_refused = [](XDocument doc, XEncoding encoding, const char* part) {
    XWriteOptions options;
    options.encoding = encoding;
    auto result = WriteXData(doc, options);
    ASSERT_FALSE(result.ok()) << part;
    EXPECT_NE(result.error().message.find(part), std::string::npos) << result.error().Describe();
  };
  {
    XDocument doc;
    doc.AddObject(MakeXObject(XTemplateKind::kVector)).AddNumber(1);
    check_refused(std::move(doc), XEncoding::kBinary, "fewer numbers");
  }
  {
    XDocument doc;
    auto& header = doc.AddObject(MakeXObject(XTemplateKind::kHeader));
    for (double v : {70000, 0, 0}) header.AddNumber(v);
    check_refused(std::move(doc), XEncoding::kText, "does not fit a WORD");
  }
  {
    XDocument doc;
    auto& coords = doc.AddObject(MakeXObject(XTemplateKind::kMeshTextureCoords));
    for (double v : {1.0, 0.5, 0.5, 7.0}) coords.AddNumber(v);
    check_refused(std::move(doc), XEncoding::kText, "more values");
  }
  {
    XDocument doc;
    doc.AddObject(MakeXObject(XTemplateKind::kFrame, "two words"));
    check_refused(std::move(doc), XEncoding::kText, "cannot be written");
  }
  {
    XDocument doc;
    doc.AddObject(MakeXObject(XTemplateKind::kTextureFilename)).AddString("say \"hi\"");
    check_refused(std::move(doc), XEncoding::kText, "double quote");
  }
}

TEST(XWriter, DeclaresTheFilesOwnTemplatesWhenAsked) {
  auto doc = testing::ParseText(
      "template Pair { <01020304-0506-0708-090a-0b0c0d0e0f10> STRING key; array BYTE data[2]; [...] }\n"
      "Pair p { \"k\"; 1, 2; Frame { } }\n");
  ASSERT_TRUE(doc.ok()) << doc.error().Describe();
  for (XEncoding encoding : {XEncoding::kText, XEncoding::kBinary}) {
    XWriteOptions options;
    options.encoding = encoding;
    options.write_templates = true;
    auto back = Parse(*WriteXData(*doc, options));
    ASSERT_TRUE(back.ok()) << back.error().Describe();
    EXPECT_TRUE(SameTree(*doc, *back));
    options.write_templates = false;
    auto without = Parse(*WriteXData(*doc, options));
    ASSERT_TRUE(without.ok());
    EXPECT_TRUE(without->objects.empty());  // unknown to the reader, so left out
  }
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(XWriter, FailedSaveLeavesThePreviousFile) {
  std::string dir = ::testing::TempDir() + "xfile_save_" + std::to_string(::getpid());
  std::string path = dir + ".x";
  auto saved = SaveXFile(path, SampleDocument());
  ASSERT_TRUE(saved.ok()) << saved.error().Describe();
  std::string before = ReadWhole(path);
  EXPECT_EQ(before.size(), *saved);
  auto back = ReadXFile(path);
  ASSERT_TRUE(back.ok());
  EXPECT_TRUE(SameTree(*back, SampleDocument()));

  XDocument bad;
  bad.AddObject(MakeXObject(XTemplateKind::kVector));
  EXPECT_FALSE(SaveXFile(path, bad).ok());
  EXPECT_EQ(ReadWhole(path), before);
  std::remove(path.c_str());
}

}  // namespace
}  // namespace zv::platform
