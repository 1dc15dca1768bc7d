#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "engine3d/engine.h"
#include "engine3d/objects/model_loading.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/objects/object_setup.h"
#include "engine3d/render/texture_loader.h"
#include "engine3d/render/textures.h"
#include "runtime/attached/attached_data.h"
#include "tests/engine3d/texture_pictures.h"
#include "tests/support/fake_host.h"

namespace zv {
namespace {

namespace fs = std::filesystem;
namespace p = platform;
using codecs::ImageFileType;

// The engine bound to a machine without a display (textures are made for
// the software device's profile), with its texture folder on a temporary
// folder of pictures.
class TextureCache : public ::testing::Test {
 protected:
  TextureCache() {
    vm.engine3d = &engine;
    engine.ResetRecordPools(vm);
    vm.render_timing.backdrop_on = false;
    folder = fs::temp_directory_path() / ("zv_texture_cache_" + std::to_string(getpid()));
    fs::create_directories(folder);
    engine.texture_folder = folder.string() + "/";
  }
  ~TextureCache() override { fs::remove_all(folder); }

  void Picture(const std::string& name, ImageFileType type, int32_t side = 8) {
    ASSERT_TRUE(test::WritePicture((folder / name).string(), type, side, side,
                                   [side](int32_t x, int32_t y) { return test::Quarters(x, y, side, side); }));
  }
  TextureRecord& Record(int32_t texture) { return engine.pools.textures[texture]; }
  p::Texture& Surface(int32_t texture) { return *engine.pools.textures[texture].surface; }
  // The texel of level 0 as 0x00RRGGBB.
  uint32_t Texel(int32_t texture, int32_t x, int32_t y, int32_t level = 0) {
    const p::Surface& s = Surface(texture).Level(level);
    return p::UnpackRgb(s.Format(), s.PixelAt(x, y));
  }
  std::string Cwd() { return fs::current_path().string(); }

  HandlerTable handlers;
  test::FakeHost host;
  Vm vm{handlers, host};
  Engine3D engine;
  fs::path folder;
};

TEST_F(TextureCache, AFileTextureIsSharedByNameAndFreedWithItsLastUser) {
  Picture("a.bmp", ImageFileType::kBmp);
  const int32_t records = engine.pools.textures.Count();
  const int32_t a = LoadTextureFile(engine, "a.bmp", 0);
  ASSERT_GT(a, 0);
  EXPECT_EQ(LoadTextureFile(engine, "a.bmp", 0), a);
  EXPECT_EQ(Record(a).references, 2);
  EXPECT_EQ(Record(a).cache_key, Cwd() + engine.texture_folder + "a.bmp");
  EXPECT_EQ(Texel(a, 1, 1), test::kRed);
  EXPECT_EQ(Texel(a, 6, 6), test::kWhite);
  ReleaseTexture(engine, a, false);
  EXPECT_TRUE(TextureHasCacheEntry(engine, a));
  ReleaseTexture(engine, a, false);
  EXPECT_FALSE(TextureHasCacheEntry(engine, a));
  EXPECT_EQ(engine.pools.textures.Count(), records);
  ReleaseTexture(engine, a, false);  // no longer in the cache: nothing happens
  EXPECT_EQ(engine.pools.textures.Count(), records);
}

TEST_F(TextureCache, NamesDifferingInCaseAreDifferentKeys) {
  Picture("a.bmp", ImageFileType::kBmp);
  const int32_t lower = LoadTextureFile(engine, "a.bmp", 0);
  const int32_t upper = LoadTextureFile(engine, "A.BMP", 0);
  ASSERT_GT(lower, 0);
  ASSERT_GT(upper, 0);
  EXPECT_NE(lower, upper);
}

TEST_F(TextureCache, BitmapsAreKeyedOnBlackOtherFilesKeepTheirPixels) {
  Picture("k.bmp", ImageFileType::kBmp, 100);
  Picture("k.png", ImageFileType::kPng, 100);
  Picture("k.tga", ImageFileType::kTga, 100);
  const int32_t bmp = LoadTextureFile(engine, "k.bmp", 1);
  const int32_t png = LoadTextureFile(engine, "k.png", 1);
  const int32_t tga = LoadTextureFile(engine, "k.tga", 1);
  ASSERT_GT(bmp, 0);
  ASSERT_GT(png, 0);
  ASSERT_GT(tga, 0);
  EXPECT_TRUE(Surface(bmp).SrcColorKey());
  EXPECT_FALSE(Surface(png).SrcColorKey());
  // 100 x 100 pictures are stretched over 128 x 128 textures.
  EXPECT_EQ(Surface(png).Width(), 128);
  EXPECT_EQ(Surface(bmp).Height(), 128);
  EXPECT_EQ(Texel(png, 120, 10), test::kGreen);
  EXPECT_EQ(Texel(tga, 10, 120), test::kBlue);
  EXPECT_EQ(Record(png).mipmapped, 0);
}

TEST_F(TextureCache, AMissingFileIsLookedForAsDdsUnderTheAskedKey) {
  Picture("b.dds", ImageFileType::kDds, 16);
  const int32_t b = LoadTextureFile(engine, "b.bmp", 0);
  ASSERT_GT(b, 0);
  EXPECT_EQ(Record(b).cache_key, Cwd() + engine.texture_folder + "b.bmp");
  // DXT1 data on a device without block formats: the 1-bit alpha format,
  // with the file's levels (16, 8, 4).
  EXPECT_EQ(Surface(b).Format(), p::Argb1555());
  EXPECT_EQ(Surface(b).LevelCount(), 3);
  EXPECT_EQ(Record(b).mipmapped, 1);
  EXPECT_EQ(Texel(b, 2, 13), test::kBlue);
}

TEST_F(TextureCache, FilesThatMakeNoTextureLeaveNoRecord) {
  std::ofstream(folder / "junk.png") << "not a picture";
  const int32_t records = engine.pools.textures.Count();
  EXPECT_EQ(LoadTextureFile(engine, "missing.bmp", 0), 0);
  EXPECT_EQ(LoadTextureFile(engine, "junk.png", 0), 0);
  EXPECT_EQ(LoadTextureFile(engine, "", 0), 0);
  EXPECT_EQ(engine.pools.textures.Count(), records);
  EXPECT_TRUE(engine.texture_cache.Empty());
}

TEST_F(TextureCache, DdsLevelsBecomeTheTexturesMipLevels) {
  ASSERT_TRUE(test::WriteDdsLevels((folder / "levels.dds").string(), 16, 8, {test::kRed, test::kGreen, test::kBlue}));
  const int32_t t = LoadTextureFile(engine, "levels.dds", 0);
  ASSERT_GT(t, 0);
  ASSERT_EQ(Surface(t).LevelCount(), 3);
  EXPECT_EQ(Texel(t, 0, 0, 0), test::kRed);
  EXPECT_EQ(Texel(t, 0, 0, 1), test::kGreen);
  EXPECT_EQ(Texel(t, 0, 0, 2), test::kBlue);
}

TEST_F(TextureCache, MipLevelsAreBuiltOnceAndKeepTheColourKey) {
  Picture("m.bmp", ImageFileType::kBmp, 32);
  const int32_t t = LoadTextureFile(engine, "m.bmp", 0);
  ASSERT_GT(t, 0);
  EXPECT_EQ(BuildTextureMipmaps(engine, t, 49), 1);
  const int32_t levels = Surface(t).LevelCount();
  EXPECT_GT(levels, 1);
  EXPECT_EQ(Record(t).mipmapped, 1);
  EXPECT_TRUE(Surface(t).SrcColorKey());
  EXPECT_EQ(Texel(t, 1, 1, 1), test::kRed);
  const p::Texture* before = Record(t).surface.get();
  BuildTextureMipmaps(engine, t, 49);
  EXPECT_EQ(Record(t).surface.get(), before);
  EXPECT_EQ(BuildTextureMipmaps(engine, 999, 49), 0);
}

TEST_F(TextureCache, ATextureMadeTransparentIsKeyedOnItsBlack) {
  Picture("t.png", ImageFileType::kPng);
  const int32_t t = LoadTextureFile(engine, "t.png", 0);
  ASSERT_GT(t, 0);
  ASSERT_FALSE(Surface(t).SrcColorKey());
  EXPECT_TRUE(RemakeTextureColourKeyed(engine, t));
  ASSERT_TRUE(Surface(t).SrcColorKey());
  EXPECT_EQ(Surface(t).SrcColorKey()->low, BlackPixelOf(Surface(t).Format()));
  EXPECT_EQ(Texel(t, 7, 0), test::kGreen);
}

TEST_F(TextureCache, ADisplayChangeMakesEveryTextureAgainWithItsPicture) {
  Picture("d.png", ImageFileType::kPng);
  const int32_t file = LoadTextureFile(engine, "d.png", 0);
  const int32_t colour = GetColourTexture(engine, 0x00FF00);
  ASSERT_GT(file, 0);
  RetireTextureSurfaces(engine);
  EXPECT_FALSE(Record(file).surface);
  EXPECT_FALSE(Record(colour).surface);
  RecreateTextures(engine);
  ASSERT_TRUE(Record(file).surface);
  ASSERT_TRUE(Record(colour).surface);
  EXPECT_EQ(Texel(file, 7, 7), test::kWhite);
  EXPECT_EQ(Texel(colour, 3, 3), test::kGreen);
  EXPECT_EQ(Record(file).references, 1);
}

TEST_F(TextureCache, BuiltGamesServeTexturesFromTheirRecords) {
  ASSERT_TRUE(test::WritePicture((folder / "source.bmp").string(), ImageFileType::kBmp, 8, 8,
                                 [](int32_t, int32_t) { return test::kBlue; }));
  std::ifstream in(folder / "source.bmp", std::ios::binary);
  const std::vector<uint8_t> bitmap{std::istreambuf_iterator<char>(in), {}};
  std::vector<uint8_t> records;
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) records.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto put_record = [&](const std::string& name, const std::vector<uint8_t>& data) {
    put32(static_cast<uint32_t>(name.size() + 1));
    records.insert(records.end(), name.begin(), name.end());
    records.push_back(0);
    put32(static_cast<uint32_t>(data.size()));
    records.insert(records.end(), data.begin(), data.end());
  };
  put_record("c:\\game\\_exefile.dat", {});
  put_record("media\\skin.bmp", bitmap);
  put32(0);
  put32(1000);
  const fs::path temp = folder / "temp";
  fs::create_directories(temp);
  AttachedData attached(temp.string() + "/");
  std::string error;
  ASSERT_EQ(attached.LoadRecords(records, 1000, &error), AttachedData::LoadResult::kLoaded) << error;
  vm.attached_data = &attached;
  engine.texture_folder.clear();
  // By the whole name (images), or by the file name alone (models).
  const int32_t whole = LoadTextureFile(engine, "MEDIA/skin.bmp", 1);
  const int32_t not_whole = LoadTextureFile(engine, "skin.bmp", 1);
  const int32_t by_name = LoadTextureFile(engine, "skin.bmp", 0);
  vm.attached_data = nullptr;
  ASSERT_GT(whole, 0);
  ASSERT_GT(by_name, 0);
  EXPECT_EQ(Texel(whole, 3, 3), test::kBlue);
  EXPECT_EQ(Texel(by_name, 3, 3), test::kBlue);
  EXPECT_EQ(not_whole, 0);
}

// An X model of one square whose material names a texture file.
std::string TexturedSquare(const std::string& texture) {
  return "xof 0302txt 0032\n"
         "Frame Square {\n"
         "  FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,0.0,0.0,1.0;; }\n"
         "  Mesh {\n"
         "    4; -5.0;-5.0;0.0;, 5.0;-5.0;0.0;, -5.0;5.0;0.0;, 5.0;5.0;0.0;;\n"
         "    2; 3;0,2,1;, 3;1,2,3;;\n"
         "    MeshTextureCoords { 4; 0.0;1.0;, 1.0;1.0;, 0.0;0.0;, 1.0;0.0;; }\n"
         "    MeshMaterialList { 1; 2; 0, 0;;\n"
         "      Material { 1.0;1.0;1.0;1.0;; 0.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;;\n"
         "        TextureFilename { \"" +
         texture +
         "\"; } } }\n"
         "  }\n"
         "}\n";
}

TEST_F(TextureCache, TexturesNamedInModelsAreSharedAndGoWithTheirLastModel) {
  // The material's name is asked for as a bitmap; a missing bitmap as DDS.
  Picture("skin.bmp", ImageFileType::kBmp);
  std::ofstream(folder / "square.x") << TexturedSquare("skin.png");
  const std::string path = (folder / "square.x").string();
  const int32_t first = AllocObjectRecord(engine);
  ASSERT_EQ(LoadObjectMesh(engine, first, path), 2);  // the root and the square
  const int32_t second = AllocObjectRecord(engine);
  ASSERT_EQ(LoadObjectMesh(engine, second, path), 2);
  int32_t a = 0, b = 0;
  engine.pools.objects[first].model->GetLimbTextureRecord(1, &a);
  engine.pools.objects[second].model->GetLimbTextureRecord(1, &b);
  ASSERT_GT(a, 0);
  EXPECT_EQ(a, b);
  EXPECT_EQ(Record(a).references, 2);
  EXPECT_TRUE(engine.texture_folder.empty());  // only while a model loads
  ReleaseObjectRecord(engine, first);
  EXPECT_TRUE(TextureHasCacheEntry(engine, a));
  ReleaseObjectRecord(engine, second);
  EXPECT_FALSE(TextureHasCacheEntry(engine, a));
}

TEST_F(TextureCache, ModelsInTwoFoldersNamingOnePictureEachShowTheirOwn) {
  for (const char* sub : {"red", "blue"}) {
    fs::create_directories(folder / sub);
    const uint32_t colour = std::string(sub) == "red" ? test::kRed : test::kBlue;
    ASSERT_TRUE(test::WritePicture((folder / sub / "skin.bmp").string(), ImageFileType::kBmp, 8, 8,
                                   [colour](int32_t, int32_t) { return colour; }));
    std::ofstream(folder / sub / "square.x") << TexturedSquare("skin.bmp");
  }
  int32_t textures[3] = {};
  const char* models[3] = {"red", "blue", "red"};
  for (int i = 0; i < 3; ++i) {
    const int32_t object = AllocObjectRecord(engine);
    ASSERT_EQ(LoadObjectMesh(engine, object, (folder / models[i] / "square.x").string()), 2);
    engine.pools.objects[object].model->GetLimbTextureRecord(1, &textures[i]);
    ASSERT_GT(textures[i], 0);
  }
  EXPECT_EQ(Texel(textures[0], 2, 2), test::kRed);
  EXPECT_EQ(Texel(textures[1], 2, 2), test::kBlue);
  EXPECT_EQ(textures[2], textures[0]);
}

TEST_F(TextureCache, AModelWhoseTextureIsMissingLoadsUntextured) {
  std::ofstream(folder / "bare.x") << TexturedSquare("nowhere.png");
  const int32_t object = AllocObjectRecord(engine);
  ASSERT_EQ(LoadObjectMesh(engine, object, (folder / "bare.x").string()), 2);
  int32_t texture = -1;
  engine.pools.objects[object].model->GetLimbTextureRecord(1, &texture);
  EXPECT_EQ(texture, 0);
  EXPECT_TRUE(engine.texture_cache.Empty());
}

}  // namespace
}  // namespace zv
