#include "engine3d/engine.h"

#include <cstdlib>

#include "display/display.h"
#include "display/graphics.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/objects/object_setup.h"
#include "engine3d/render/render_settings.h"
#include "engine3d/render/render_states.h"
#include "engine3d/render/scene_render.h"
#include "engine3d/render/textures.h"
#include "engine3d/scene/animation.h"
#include "engine3d/scene/backdrop.h"
#include "engine3d/scene/camera_view.h"
#include "engine3d/scene/matrix_terrain.h"
#include "engine3d/scene/static_scene_store.h"
#include "runtime/runtime_state.h"

namespace zv {

// ---- EngineNodeServices --------------------------------------------------------------

int32_t EngineNodeServices::LoadTextureFile(const std::string& name, int32_t lookup_mode) {
  return e_.Bound() ? zv::LoadTextureFile(e_, name, lookup_mode) : 0;
}

int32_t EngineNodeServices::GetColourTexture(uint32_t colour) {
  return e_.Bound() ? zv::GetColourTexture(e_, colour) : 0;
}

void EngineNodeServices::AddTextureReference(int32_t texture) { zv::AddTextureReference(e_, texture); }
void EngineNodeServices::ReleaseTexture(int32_t texture, bool force) { zv::ReleaseTexture(e_, texture, force); }

bool EngineNodeServices::TextureHasCacheEntry(int32_t texture) const {
  return zv::TextureHasCacheEntry(e_, texture);
}

void EngineNodeServices::SetStageTexture(platform::Device3D& device, int32_t texture) {
  (void)device;
  zv::SetStageTexture(e_, texture);
}

void EngineNodeServices::CountDrawnIndices(uint32_t index_count) { e_.polygon_counter += index_count; }

bool EngineNodeServices::VertexBuffersInVideoMemory() const {
  DisplayDevice3D* device = e_.DisplayDevice();
  Display* screen = e_.Screen();
  return device && device->DeviceName() == "T&L" && screen && screen->Surfaces().software_renderer != 1;
}

// ---- Engine3D ------------------------------------------------------------------------

Engine3D::Engine3D() = default;

// The models call back into the engine as they go, so they go first.
Engine3D::~Engine3D() {
  vm_ = nullptr;  // the machine may be gone already
  ReleaseEverything();
}

// ---- Engine3DServices ------------------------------------------------------------------

void Engine3D::RunPerTurn3DStep() {
  if (!vm_) return;
  RemakeObjectImageTextures(*this);
  // The backdrop covers the screen like a clear: the 2D drawings already
  // on it must not be drawn over it again.
  if (RenderBackdrop(*this) && BackdropCoversScreen(*this) && vm_->display) vm_->display->ScreenCovered();
}

void Engine3D::RenderSceneIfEnabled() {
  if (vm_ && Device() && DrawingEnabled()) RenderScene(*this);
}

void Engine3D::AnimateObjects() {
  if (vm_) zv::AnimateObjects(*this);
}

void Engine3D::ClearViewportColour(uint32_t colour) { ClearRenderTarget(*this, colour); }

void Engine3D::ReleaseAll() {
  if (vm_) ReleaseEverything();
}

void Engine3D::ReleaseEverything() {
  ClearStaticScene(*this);
  for (int32_t number = IdMap::kFirst; pools.object_ids.AnySet() && number <= IdMap::kLast; ++number)
    if (const int32_t index = pools.object_ids.Get(number); index > 0) DeleteObject(*this, index, number);
  if (backdrop.object > 0) {
    if (backdrop.render_record > 0) FreeRenderRecord(backdrop.render_record);
    ReleaseObjectRecord(*this, backdrop.object);
    backdrop = BackdropState{};
  }
  for (int32_t number = IdMap::kFirst; pools.mesh_ids.AnySet() && number <= IdMap::kLast; ++number)
    if (const int32_t index = pools.mesh_ids.Get(number); index > 0) pools.FreeMesh(index);
  pools.mesh_ids.Clear();
  ReleaseAllMatrices(*this);
  frame_textures.clear();
  animated_objects.Clear();
  // What is left has no number (instances' shared parts go with their
  // last user): the models first, for they release their textures.
  for (int32_t i = 0; i < pools.objects.Capacity(); ++i) pools.objects[i].model.reset();
  model_users.Clear();
  ClearTextureCache(*this);
}

void Engine3D::ResetRecordPools(Vm& vm) {
  ReleaseAll();
  Bind(vm);
  pools.Reset();
  matrix_ids.Clear();
  marks_.clear();
  backdrop = BackdropState{};
  frame_textures.clear();
  animated_objects.Clear();
  glue_links.Clear();
  model_users.Clear();
  texture_folder.clear();
  transforms_changed = 0;
  ResetCollisionLibrary(*this);
  // Scene switches do not outlive the run that set them.
  settings.wireframe_all = 0;
  settings.texture_address_mode = 1;
  settings.normalize_normals = 1;
  // The run reset's scene settings, sent again to a device that exists.
  ResetRunSettings(settings, camera);
  if (Device()) {
    FogOff(*this);
    SetAmbientLevel(*this, 50);
    SetAmbientColour(*this, settings.ambient_colour);
  }
}

void Engine3D::Reset3DState() {
  backdrop = BackdropState{};
  texture_folder.clear();
  camera.position = Vector3f{};
  camera.look_at = Vector3f{0, 0, 100};
  camera.angles = Vector3f{};
  camera.matrix = Matrix4::Identity();
  camera.mode = kCameraLookAt;
  camera.rotation_order = 1;
  camera.auto_camera = 1;
  UpdateCameraLookAt(*this);
  SetCameraProjection(*this, camera.near_range, camera.far_range, camera.fov);
  MakeDefaultLight(*this);
  CreateStaticVertexBuffer(*this, StaticScene::kFirstCapacity);
  settings.identity = Matrix4::Identity();
  if (platform::Device3D* d = Device()) d->GetTransform(platform::TransformState::kView, &settings.identity);
}

void Engine3D::ReleaseTextureSurfaces() { RetireTextureSurfaces(*this); }

// The limbs keep their textures over a display change: the textures are
// made again for the new device (RecreateTextures), so objects look as
// they did.
void Engine3D::ClearLimbTextures() {}

void Engine3D::RecreateTextures() { zv::RecreateTextures(*this); }

void Engine3D::RebuildObjectModels() {
  ReapplyAllLights(*this);
  for (int32_t i = 0; i < pools.objects.Capacity(); ++i) {
    if (!pools.objects.InUse(i) || pools.objects[i].in_use != 1) continue;
    if (std::shared_ptr<ObjectModel> model = pools.objects[i].model) model->RebuildModel();
  }
}

void Engine3D::UpdateCameraView() {
  SetCameraProjection(*this, camera.near_range, camera.far_range, camera.fov);
  UpdateCameraForMode(*this);
}

// ---- Device3DClient ------------------------------------------------------------------

void Engine3D::ReleaseDeviceTextures() {
  // A new device starts from the set-up's states, outside any scene.
  ResetRenderStateCache(*this);
  settings.mipmap_mode = 2;
  in_scene = 0;
}

void Engine3D::SendFogSettings(platform::Device3D& device, bool table_fog) {
  zv::SendFogSettings(*this, device, table_fog);
}

Device3DClient::Projection Engine3D::CameraProjection() const {
  return Projection{camera.near_range, camera.far_range, camera.fov};
}

// ---- The display ------------------------------------------------------------------------

Display* Engine3D::Screen() { return vm_ ? FindDisplay(*vm_) : nullptr; }

DisplayDevice3D* Engine3D::DisplayDevice() {
  Display* screen = Screen();
  return screen ? dynamic_cast<DisplayDevice3D*>(&screen->Device3D()) : nullptr;
}

platform::Device3D* Engine3D::Device() {
  DisplayDevice3D* device = DisplayDevice();
  return device ? device->Device() : nullptr;
}

platform::Render3D* Engine3D::Render() {
  DisplayDevice3D* device = DisplayDevice();
  return device ? &device->Render() : nullptr;
}

const Device3DCapabilities& Engine3D::Capabilities() {
  DisplayDevice3D* device = DisplayDevice();
  return device && device->Exists() ? device->Capabilities() : no_capabilities_;
}

int32_t Engine3D::DisplayWidth() {
  Display* screen = Screen();
  return screen ? screen->Surfaces().screen_width : 640;
}

int32_t Engine3D::DisplayHeight() {
  Display* screen = Screen();
  return screen ? screen->Surfaces().screen_height : 480;
}

bool Engine3D::DrawingEnabled() {
  Display* screen = Screen();
  return screen && screen->DrawingEnabled();
}

int32_t Engine3D::OverlaySetting() const {
  return vm_ && vm_->runtime ? vm_->runtime->settings.overlay_3d : 0;
}

void Engine3D::WriteErrorLog(const std::string& text) {
  if (Display* screen = Screen()) screen->WriteErrorLog(text);
}

// ---- Render records ------------------------------------------------------------------

Graphics* Engine3D::DisplayPools() {
  if (!vm_) return nullptr;
  // The lookup casts, which the object queries could not afford on every
  // call: it is redone only when the machine has another display.
  if (vm_->display != graphics_for_ || !graphics_for_) {
    graphics_for_ = vm_->display;
    graphics_ = FindGraphics(*vm_);
  }
  return graphics_;
}

int32_t Engine3D::AllocRenderRecord() {
  Graphics* graphics = DisplayPools();
  const int32_t index = graphics ? graphics->Pools().AllocSpriteRecord() : own_sprites_.AllocSpriteRecord();
  if (index == kNoRecord) {
    if (vm_) vm_->RunError(kPoolOutOfMemory);
    return kNoRecord;
  }
  Marks(index) = RenderMarks{};
  // The pool puts each new record at the end of its list.
  Marks(index).list_place = ++render_records_made_;
  return index;
}

void Engine3D::FreeRenderRecord(int32_t index) {
  Graphics* graphics = DisplayPools();
  if (graphics)
    graphics->Pools().FreeSpriteRecord(index);
  else
    own_sprites_.FreeSpriteRecord(index);
}

RenderMarks& Engine3D::Marks(int32_t index) {
  if (index < 0) index = 0;
  if (static_cast<size_t>(index) >= marks_.size()) marks_.resize(static_cast<size_t>(index) + 16);
  return marks_[static_cast<size_t>(index)];
}

}  // namespace zv
