// Reads the X models of Debian's assimp-testmodels package and compares what
// they hold with what `assimp info -r` (assimp-utils) reports for the same
// files. The expected counts were taken once with that tool and are kept
// here, so only the model files are needed at run time.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/xfile/animation_view.h"
#include "platform/xfile/mesh_view.h"
#include "platform/xfile/writer.h"
#include "tests/platform/xfile/xfile_test_support.h"

namespace zv::platform {
namespace {

const std::string kModels = "/usr/share/assimp/models/X/";

#define SKIP_WITHOUT_MODELS()                                                      \
  if (!std::filesystem::exists(kModels + "test.x"))                                \
  GTEST_SKIP() << "assimp-testmodels is not installed (" << kModels << " missing)"

// What `assimp info -r` counts. Its nodes are the frames plus a root it adds
// when a file has several top-level frames; its meshes are one per material
// used by a mesh's faces; a file without materials gets one default
// material; its vertices are face corners (it gives every corner its own
// vertex); its animation channels are the Animation objects of all sets, and
// its keys those of the AnimationKey objects by kind.
struct ModelCounts {
  const char* file;
  int nodes, meshes, materials;
  uint64_t vertices, faces;
  int channels;
  uint64_t position_keys, rotation_keys, scale_keys;
};

constexpr ModelCounts kExpected[] = {
    {"BCN_Epileptic.X", 58, 3, 1, 15378, 5126, 57, 156, 1621, 57},
    {"Testwuson.X", 40, 1, 1, 11196, 3732, 117, 146, 4302, 117},
    {"anim_test.x", 5, 1, 1, 2520, 840, 4, 96, 96, 96},
    {"fromtruespace_bin32.x", 1, 1, 1, 19968, 6656, 0, 0, 0, 0},
    {"kwxport_test_cubewithvcolors.x", 1, 3, 3, 36, 12, 0, 0, 0, 0},
    {"test.x", 1, 1, 1, 36, 12, 0, 0, 0, 0},
    {"test_cube_binary.x", 2, 1, 1, 36, 12, 0, 0, 0, 0},
    {"test_cube_compressed.x", 2, 1, 1, 36, 12, 0, 0, 0, 0},
    {"test_cube_text.x", 2, 1, 1, 36, 12, 0, 0, 0, 0},
    {"TestFormatDetection", 1, 1, 1, 36, 12, 0, 0, 0, 0},
};

ModelCounts Count(const XDocument& doc) {
  ModelCounts c{};
  int top_frames = 0;
  bool top_mesh = false;
  for (const auto& object : doc.objects) {
    top_frames += object->Is(XTemplateKind::kFrame);
    top_mesh = top_mesh || object->Is(XTemplateKind::kMesh);
  }
  std::set<const XDataObject*> materials;
  doc.ForEachObject([&](const XDataObject& object) {
    if (object.Is(XTemplateKind::kFrame)) ++c.nodes;
    if (object.Is(XTemplateKind::kMesh)) {
      auto mesh = ReadXMesh(object);
      ASSERT_TRUE(mesh.ok()) << mesh.error().Describe();
      c.vertices += mesh->faces.CornerCount();
      c.faces += mesh->faces.count;
      std::set<uint32_t> used;
      if (const XDataObject* list_object = object.FindChild(XTemplateKind::kMeshMaterialList)) {
        auto list = ReadXMeshMaterialList(*list_object);
        ASSERT_TRUE(list.ok()) << list.error().Describe();
        used.insert(list->face_indexes.begin(), list->face_indexes.end());
        for (const XDataObject* material : list->materials)
          if (material) materials.insert(material);
      }
      c.meshes += used.empty() ? 1 : static_cast<int>(used.size());
    }
    if (object.Is(XTemplateKind::kAnimation)) {
      ++c.channels;
      for (const XDataObject* key_object : ReadXAnimation(object).keys) {
        auto key = ReadXAnimationKey(*key_object);
        ASSERT_TRUE(key.ok()) << key.error().Describe();
        uint64_t n = key->times.size();
        if (key->key_type == kXPositionKey) c.position_keys += n;
        if (key->key_type == kXRotationKey) c.rotation_keys += n;
        if (key->key_type == kXScaleKey) c.scale_keys += n;
      }
    }
  });
  if (top_frames != 1 || top_mesh) ++c.nodes;
  c.materials = std::max<int>(1, static_cast<int>(materials.size()));
  return c;
}

TEST(XModelFiles, CountsMatchWhatAssimpReports) {
  SKIP_WITHOUT_MODELS();
  for (const ModelCounts& expected : kExpected) {
    SCOPED_TRACE(expected.file);
    auto doc = ReadXFile(kModels + expected.file);
    ASSERT_TRUE(doc.ok()) << doc.error().Describe();
    ModelCounts got = Count(*doc);
    EXPECT_EQ(got.nodes, expected.nodes);
    EXPECT_EQ(got.meshes, expected.meshes);
    EXPECT_EQ(got.materials, expected.materials);
    EXPECT_EQ(got.vertices, expected.vertices);
    EXPECT_EQ(got.faces, expected.faces);
    EXPECT_EQ(got.channels, expected.channels);
    EXPECT_EQ(got.position_keys, expected.position_keys);
    EXPECT_EQ(got.rotation_keys, expected.rotation_keys);
    EXPECT_EQ(got.scale_keys, expected.scale_keys);
  }
}

bool NearlySameNumbers(const XDataObject& a, const XDataObject& b) {
  if (a.numbers().size() != b.numbers().size() || a.children().size() != b.children().size())
    return false;
  for (size_t i = 0; i < a.numbers().size(); ++i)
    if (std::abs(a.numbers()[i] - b.numbers()[i]) > 1e-6 * std::max(1.0, std::abs(a.numbers()[i])))
      return false;
  for (size_t i = 0; i < a.children().size(); ++i) {
    const XDataObject* ca = a.children()[i].object();
    const XDataObject* cb = b.children()[i].object();
    if (!ca != !cb || (ca && !NearlySameNumbers(*ca, *cb))) return false;
  }
  return true;
}

TEST(XModelFiles, TextBinaryAndCompressedFormsHoldTheSameModel) {
  SKIP_WITHOUT_MODELS();
  auto text = ReadXFile(kModels + "test_cube_text.x");
  auto binary = ReadXFile(kModels + "test_cube_binary.x");
  auto compressed = ReadXFile(kModels + "test_cube_compressed.x");
  ASSERT_TRUE(text.ok() && binary.ok() && compressed.ok());
  EXPECT_TRUE(SameTree(*binary, *compressed));
  // The text form prints six decimals, so it agrees to about a millionth.
  ASSERT_EQ(text->objects.size(), binary->objects.size());
  for (size_t i = 0; i < text->objects.size(); ++i)
    EXPECT_TRUE(NearlySameNumbers(*text->objects[i], *binary->objects[i]));
}

TEST(XModelFiles, WritingAndReadingBackKeepsEveryModel) {
  SKIP_WITHOUT_MODELS();
  for (const ModelCounts& model : kExpected) {
    SCOPED_TRACE(model.file);
    auto doc = ReadXFile(kModels + model.file);
    ASSERT_TRUE(doc.ok());
    for (XEncoding encoding : {XEncoding::kText, XEncoding::kBinary}) {
      XWriteOptions options;
      options.encoding = encoding;
      options.write_templates = true;
      auto bytes = WriteXData(*doc, options);
      ASSERT_TRUE(bytes.ok()) << bytes.error().Describe();
      auto back = testing::Parse(*bytes);
      ASSERT_TRUE(back.ok()) << back.error().Describe();
      EXPECT_TRUE(SameTree(*doc, *back));
    }
  }
}

TEST(XModelFiles, BinaryWriterReproducesABinaryFileByteForByte) {
  SKIP_WITHOUT_MODELS();
  auto doc = ReadXFile(kModels + "test_cube_binary.x");
  ASSERT_TRUE(doc.ok());
  XWriteOptions options;
  options.encoding = XEncoding::kBinary;
  options.minor_version = 3;
  options.write_templates = true;
  std::ifstream in(kModels + "test_cube_binary.x", std::ios::binary);
  std::stringstream original;
  original << in.rdbuf();
  EXPECT_EQ(*WriteXData(*doc, options), original.str());
}

TEST(XModelFiles, DamagedAndEmptyFilesGiveErrors) {
  SKIP_WITHOUT_MODELS();
  // A copy of the compressed cube with one byte changed in its deflate data.
  auto damaged = ReadXFile(kModels + "OV_GetNextToken");
  ASSERT_FALSE(damaged.ok());
  EXPECT_EQ(damaged.error().offset, 20u);
  auto empty = ReadXFile(kModels + "../invalid/empty.x");
  ASSERT_FALSE(empty.ok());
  EXPECT_EQ(empty.error().offset, 0u);
}

}  // namespace
}  // namespace zv::platform
