#pragma once

#include <cstdint>
#include <string>
#include <typeinfo>
#include <vector>

#include "display/device3d.h"
#include "display/graphics.h"
#include "display/record_pools.h"
#include "engine3d/engine_state.h"
#include "engine3d/objects/child_lists.h"
#include "engine3d/objects/index_list.h"
#include "engine3d/objects/model_users.h"
#include "engine3d/objects/object_pools.h"
#include "engine3d/render/lights.h"
#include "engine3d/render/texture_cache.h"
#include "engine3d/render/textures.h"
#include "engine3d/scene/collision_refresh.h"
#include "engine3d/scene/static_scene.h"
#include "models/nodes/node_services.h"
#include "models/nodes/node_types.h"
#include "runtime/vm/vm.h"

namespace zv {

class Display;

class Engine3D;

// What the scene nodes and the model readers ask of the engine: its shared
// textures, the texture binding of its render-state cache, its polygon
// counter and where vertex buffers live.
class EngineNodeServices final : public models::NodeServices {
 public:
  explicit EngineNodeServices(Engine3D& engine) : e_(engine) {}
  int32_t LoadTextureFile(const std::string& name, int32_t lookup_mode) override;
  int32_t GetColourTexture(uint32_t colour) override;
  void AddTextureReference(int32_t texture) override;
  void ReleaseTexture(int32_t texture, bool force) override;
  bool TextureHasCacheEntry(int32_t texture) const override;
  void SetStageTexture(platform::Device3D& device, int32_t texture) override;
  void CountDrawnIndices(uint32_t index_count) override;
  bool VertexBuffersInVideoMemory() const override;

 private:
  Engine3D& e_;
};

// The 3D engine: its pools and number maps, the camera, the lights, the
// render settings and the render-state cache, and what the runtime and the
// display ask of it each turn and around display changes. One per process,
// plugged into the machine as `vm.engine3d`; the command handlers reach it
// through FindEngine. Everything runs on the main thread.
class Engine3D final : public Engine3DServices, public Device3DClient, public DrawNeighbours {
 public:
  Engine3D();
  ~Engine3D() override;
  Engine3D(const Engine3D&) = delete;
  Engine3D& operator=(const Engine3D&) = delete;

  // The machine whose display the engine draws into.
  void Bind(Vm& vm) {
    vm_ = &vm;
    graphics_for_ = nullptr;
    graphics_ = nullptr;
  }
  Vm& Machine() { return *vm_; }
  bool Bound() const { return vm_ != nullptr; }

  // ---- Engine3DServices ----------------------------------------------------------
  void RunPerTurn3DStep() override;
  void RenderSceneIfEnabled() override;
  void AnimateObjects() override;
  void ClearViewportColour(uint32_t colour) override;
  void ReleaseAll() override;
  void ResetRecordPools(Vm& vm) override;
  void Reset3DState() override;
  void ReleaseTextureSurfaces() override;
  void ClearLimbTextures() override;
  void RecreateTextures() override;
  void RebuildObjectModels() override;
  void UpdateCameraView() override;

  // ---- Device3DClient ------------------------------------------------------------
  void ReleaseDeviceTextures() override;
  double AmbientLevel() const override { return settings.ambient_level; }
  uint32_t AmbientColour() const override { return settings.ambient_colour; }
  void SendFogSettings(platform::Device3D& device, bool table_fog) override;
  Projection CameraProjection() const override;
  platform::Matrix4 ViewMatrix() const override { return camera.view; }

  // ---- DrawNeighbours: the image commands' textures (render/image_textures.cc) ----
  void MakeImageTexture(int32_t image, bool flag) override;
  void PreloadImageTexture(int32_t texture, bool flag) override;
  void RebuildImageTexture(int32_t image, bool flag) override;
  void ReleaseImageTextures() override;
  int32_t LoadImageTextureFile(int32_t image, const std::string& name) override;
  void BuildTextureMipmaps(int32_t texture, uint8_t format_digit) override;
  void ReleaseImageTexture(int32_t image) override;

  // ---- The display ----------------------------------------------------------------
  Display* Screen();
  DisplayDevice3D* DisplayDevice();
  // Null while there is no 3D device.
  platform::Device3D* Device();
  platform::Render3D* Render();
  // What the device set-up found; the stand-in's nothing without a device.
  const Device3DCapabilities& Capabilities();
  int32_t DisplayWidth();
  int32_t DisplayHeight();
  bool DrawingEnabled();
  // SETUP.INI's 3DOVERLAY: 1 clears the depth buffer before the
  // camera-locked objects instead of flattening their depth range.
  int32_t OverlaySetting() const;
  void WriteErrorLog(const std::string& text);

  // ---- Render records (sprite records of the display's pool) -------------------
  RecordPool<SpriteRecord>& Sprites() {
    // Asked by every object query: the pools are looked up again only when
    // the machine has another display.
    if (vm_ && graphics_ && vm_->display == graphics_for_) return graphics_->Pools().sprites;
    Graphics* graphics = DisplayPools();
    return graphics ? graphics->Pools().sprites : own_sprites_.sprites;
  }
  int32_t AllocRenderRecord();
  void FreeRenderRecord(int32_t index);
  RenderMarks& Marks(int32_t index);

  // What the models made here call back into.
  models::NodeServices& NodeServices() { return node_services_; }

  // ---- Engine state ---------------------------------------------------------------
  EnginePools pools;
  LightPool lights;
  CameraState camera;
  RenderSettings settings;
  RenderStateCache cache;
  BackdropState backdrop;
  models::FrameTextureList frame_textures;
  IndexList animated_objects;  // object indices, in joining order
  ChildLists glue_links;       // objects by the object they are glued to
  ModelUsers model_users;      // objects sharing a model with instances
  TextureCache texture_cache;  // shared textures
  TextureKeeping texture_keeping;
  std::string texture_folder;             // of the model being loaded
  uint32_t transforms_changed = 0;
  // The render under way (0: none): limb data worked out while it draws holds
  // until it ends, for nothing moves meanwhile. Each render takes the next.
  uint64_t rendering_frame = 0;
  uint64_t frames_rendered = 0;
  ObjectCollisionState collision;  // what the collision queries keep
  uint64_t polygon_counter = 0;
  uint8_t in_scene = 0;
  // The static scene, and the matrix terrain grids by number (object records).
  StaticScene static_scene;
  IdMap matrix_ids;

 private:
  // Deletes every object and frees every mesh and texture.
  void ReleaseEverything();

  // The display's pools (null without them), looked up once per display.
  Graphics* DisplayPools();

  Vm* vm_ = nullptr;
  const DisplayServices* graphics_for_ = nullptr;
  Graphics* graphics_ = nullptr;
  EngineNodeServices node_services_{*this};
  RecordPools own_sprites_;  // when no display is there to keep them
  std::vector<RenderMarks> marks_;
  uint64_t render_records_made_ = 0;
  Device3DCapabilities no_capabilities_;
};

// The engine behind the machine's seam (bound to it), or null when the
// machine has none.
// Every 3D command asks, so it stays cheap: the class is final, and
// comparing the type is all a cast needs.
inline Engine3D* FindEngine(Vm& vm) {
  Engine3DServices* services = vm.engine3d;
  if (!services || typeid(*services) != typeid(Engine3D)) return nullptr;
  auto* engine = static_cast<Engine3D*>(services);
  if (!engine->Bound()) engine->Bind(vm);
  return engine;
}

// Runtime errors of the object commands.
namespace object_error {
constexpr int32_t kMeshNumber = 7001;
constexpr int32_t kMeshLoad = 7002;
constexpr int32_t kMeshMissing = 7003;
constexpr int32_t kNumber = 7006;
constexpr int32_t kExists = 7007;
constexpr int32_t kMissing = 7008;
constexpr int32_t kLoad = 7018;
constexpr int32_t kAngle = 7019;
constexpr int32_t kMeshBuild = 7028;
constexpr int32_t kModelKind = 7101;
constexpr int32_t kConvert = 7102;
constexpr int32_t kFileNotFound = 105;
constexpr int32_t kValue = 110;
constexpr int32_t kViewRectangle = 1010;
constexpr int32_t kImageNumber = 501;
constexpr int32_t kImageMissing = 502;
constexpr int32_t kNearRange = 7912;
constexpr int32_t kFileWrite = 8212;  // a file the command writes could not be written
constexpr int32_t kModelFault = 3;    // a warning: the model loaded, with something in it left out
}  // namespace object_error

}  // namespace zv
