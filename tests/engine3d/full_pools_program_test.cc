// BASIC programs that make entities until a record pool is full: each
// creation that finds no room ends the run on runtime error 101, naming its
// line and command, and leaves nothing half made.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "display/graphics.h"
#include "display/sprites.h"
#include "engine3d/engine.h"
#include "tests/engine3d/engine_run.h"

namespace zv::test {
namespace {

namespace fs = std::filesystem;

enum class Pool { kObjects, kMeshes, kTextures, kLights, kSprites, kImages, kDraws };

struct FullPoolCase {
  std::string setup;   // lines before the loop
  const char* create;  // one line, run for i = 1, 2, ... until it fails
  const char* command;
  Pool pool;
  int32_t limit;
};

void Limit(Vm& vm, Pool pool, int32_t limit) {
  Engine3D& e = *FindEngine(vm);
  RecordPools& display = FindGraphics(vm)->Pools();
  switch (pool) {
    case Pool::kObjects: return e.pools.objects.SetLimit(limit);
    case Pool::kMeshes: return e.pools.meshes.SetLimit(limit);
    case Pool::kTextures: return e.pools.textures.SetLimit(limit);
    case Pool::kLights: return e.lights.records.SetLimit(limit);
    case Pool::kSprites: return display.sprites.SetLimit(limit);
    case Pool::kImages: return display.images.SetLimit(limit);
    case Pool::kDraws: return display.draws.SetLimit(limit);
  }
}

// Every record in use is one that something owns, and everything owned is
// in use.
template <typename Record>
void ExpectOwned(const RecordPool<Record>& pool, const std::set<int32_t>& owned, const std::string& kind,
                 std::vector<std::string>& problems) {
  for (int32_t i = pool.Head(); i != kNoRecord; i = pool.Next(i))
    if (!owned.contains(i)) problems.push_back(kind + " record " + std::to_string(i) + " is owned by nothing");
  for (int32_t i : owned)
    if (!pool.InUse(i)) problems.push_back(kind + " record " + std::to_string(i) + " is owned but free");
}

std::set<int32_t> Mapped(const IdMap& ids) {
  std::set<int32_t> indices;
  for (int32_t n = IdMap::kFirst; n <= IdMap::kLast; ++n)
    if (ids.Get(n) > 0) indices.insert(ids.Get(n));
  return indices;
}

// What the engine and the display hold once the run has stopped.
std::vector<std::string> Audit(Vm& vm) {
  std::vector<std::string> problems;
  Engine3D& e = *FindEngine(vm);
  RecordPools& display = FindGraphics(vm)->Pools();
  RecordPool<SpriteRecord>& sprites = display.sprites;

  std::set<int32_t> objects = Mapped(e.pools.object_ids);
  const std::set<int32_t> matrices = Mapped(e.matrix_ids);
  objects.insert(matrices.begin(), matrices.end());
  if (e.backdrop.object > 0) objects.insert(e.backdrop.object);
  std::set<int32_t> meshes = Mapped(e.pools.mesh_ids);
  std::set<int32_t> render_records;
  for (int32_t index : objects) {
    if (!e.pools.objects.InUse(index)) continue;
    ObjectRecord& o = e.pools.objects[index];
    const int32_t record = o.render_record;
    if (o.in_use != 1 || record < 1 || !sprites.InUse(record) || sprites[record].object != index)
      problems.push_back("object record " + std::to_string(index) + " was never set up");
    render_records.insert(record);
    for (int32_t limb = 0; limb < o.LimbCapacity(); ++limb)
      if (o.Limb(limb)->grid_mesh > 0) meshes.insert(o.Limb(limb)->grid_mesh);
  }
  if (e.backdrop.object > 0 && e.backdrop.render_record != e.pools.objects[e.backdrop.object].render_record)
    problems.push_back("the backdrop has no render record");
  objects.insert(0);
  ExpectOwned(e.pools.objects, objects, "object", problems);
  meshes.insert({0, 1});
  ExpectOwned(e.pools.meshes, meshes, "mesh", problems);
  std::set<int32_t> lights = Mapped(e.lights.ids);
  lights.insert(0);
  ExpectOwned(e.lights.records, lights, "light", problems);
  for (int32_t i = e.pools.textures.Head(); i != kNoRecord; i = e.pools.textures.Next(i))
    if (i > 0 && !e.texture_cache.Contains(i)) problems.push_back("texture record " + std::to_string(i) + " is lost");

  std::set<int32_t> sprite_records = Mapped(display.sprite_ids);
  std::set<int32_t> images = Mapped(display.image_ids);
  images.insert({0, 1, 2, 3});  // the display's own and the cursor's
  for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i)) {
    if (sprites[i].layer == kCursorLayer || i == 0) sprite_records.insert(i);
    for (int32_t saved : sprites[i].saved_background)
      if (saved > 0) images.insert(saved);
  }
  sprite_records.insert(render_records.begin(), render_records.end());
  ExpectOwned(sprites, sprite_records, "sprite", problems);
  ExpectOwned(display.images, images, "image", problems);
  return problems;
}

class FullPools : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("zv_engine3d_full_pools_" + std::to_string(getpid()));
    fs::create_directories(folder_);
    std::ofstream(folder_ / "tri.x") << "xof 0302txt 0032\n"
                                        "Mesh { 3; -8.0;-8.0;0.0;, 0.0;8.0;0.0;, 8.0;-8.0;0.0;; 1; 3;0,1,2;; }\n";
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path folder_;
};

TEST_F(FullPools, ACreationWithoutRoomEndsTheRunAndLeavesNothingHalfMade) {
  // Six meshes with numbers fill the mesh pool (eight records, two the
  // engine's own), which the set-up of the next object needs for measuring;
  // five do once the backdrop holds its grid.
  const std::string six_meshes = "for m = 1 to 6\nload mesh \"tri.x\", m\nnext m\n";
  const std::string five_meshes = "for m = 1 to 5\nload mesh \"tri.x\", m\nnext m\n";
  const FullPoolCase cases[] = {
      {"", "make object cube i, 10", "make object cube", Pool::kObjects, 8},
      {"", "make object cube i, 10", "make object cube", Pool::kSprites, 16},
      {six_meshes, "make object cube i, 10", "make object cube", Pool::kMeshes, 8},
      // The backdrop, made with the first object, finds no room.
      {"", "make object cube i, 10", "make object cube", Pool::kSprites, 3},
      {"", "load object \"tri.x\", i", "load object", Pool::kObjects, 8},
      {"", "load object \"tri.x\", i", "load object", Pool::kSprites, 16},
      {six_meshes, "load object \"tri.x\", i", "load object", Pool::kMeshes, 8},
      {"make object sphere 1, 10\n", "instance object 1, i + 1", "instance object", Pool::kObjects, 8},
      {"make object sphere 1, 10\n", "instance object 1, i + 1", "instance object", Pool::kSprites, 16},
      {"load mesh \"tri.x\", 1\n", "make object i, 1, 0", "make object", Pool::kObjects, 8},
      {"load mesh \"tri.x\", 1\n", "make object i, 1, 0", "make object", Pool::kSprites, 16},
      {"", "load mesh \"tri.x\", i", "load mesh", Pool::kMeshes, 8},
      {"make object cube 1, 10\n", "make mesh from object i, 1", "make mesh from object", Pool::kMeshes, 8},
      {"make object cube 1, 10\n" + five_meshes, "copy object to static scene 1",
       "copy object to static scene", Pool::kMeshes, 8},
      {"", "make matrix i, 100, 100, 4, 4", "make matrix", Pool::kObjects, 8},
      {"", "make matrix i, 100, 100, 4, 4", "make matrix", Pool::kMeshes, 8},
      {"", "make matrix i, 100, 100, 4, 4", "make matrix", Pool::kSprites, 16},
      {"", "make object cube i, 10 : colour object i, i", "colour object", Pool::kTextures, 8},
      {"", "make light i", "make light", Pool::kLights, 8},
      {"", "get image i, 0, 0, 8, 8", "get image", Pool::kImages, 16},
      {"get image 1, 0, 0, 8, 8\n", "sprite i, i, 0, 1", "sprite", Pool::kSprites, 16},
      {"", "dot i, 1", "dot", Pool::kDraws, 64},
  };
  for (const FullPoolCase& c : cases) {
    const int setup_lines = static_cast<int>(std::count(c.setup.begin(), c.setup.end(), '\n'));
    const std::string program = "sync on\n" + c.setup + "for i = 1 to 5000\n" + c.create + "\nnext i\nend\n";
    std::vector<std::string> problems;
    EngineRunHooks hooks;
    hooks.on_loaded = [&](Vm& vm) { Limit(vm, c.pool, c.limit); };
    hooks.on_stopped = [&](Vm& vm) { problems = Audit(vm); };
    const EngineRun run = RunEngineProgram(program, folder_.string(), 400, hooks);
    const std::string where = " (line " + std::to_string(setup_lines + 3) + ": " + c.command + ")\n";
    const std::string name = std::string(c.create) + ", pool " + std::to_string(static_cast<int>(c.pool)) +
                             " at " + std::to_string(c.limit);
    EXPECT_EQ(run.errors, "Runtime Error : Not enough memory." + where) << name;
    EXPECT_EQ(run.status, 1) << name;
    EXPECT_EQ(problems, std::vector<std::string>{}) << name;
  }
}

}  // namespace
}  // namespace zv::test
