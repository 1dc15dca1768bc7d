#include "engine3d/render/scene_commands.h"

#include <array>

#include "display/display.h"
#include "engine3d/commands/command_checks.h"
#include "engine3d/render/render_settings.h"
#include "engine3d/render/scene_render.h"
#include "engine3d/scene/backdrop.h"

namespace zv {
namespace {

constexpr int32_t kNoFog = 7901;
constexpr int32_t kAmbientRange = 7911;

void CmdDrawQueueAfterSprites(Vm& vm) { vm.render_timing.draw_queue = 1; }

void CmdClearScreenAndDepth(Vm& vm) {
  Engine3D* e = FindEngine(vm);
  platform::Device3D* d = e ? e->Device() : nullptr;
  if (!d) return;
  const std::array<platform::Rect, 1> whole{platform::Rect{0, 0, e->DisplayWidth(), e->DisplayHeight()}};
  d->Clear(whole, platform::clear::kTarget | platform::clear::kZBuffer, 0, 1.0f);
}

void CmdRenderSceneNow(Vm& vm) {
  if (Engine3D* e = FindEngine(vm); e && e->Device()) RenderScene(*e);
}

// The fog commands need a device that fogs.
Engine3D* FoggingEngine(Vm& vm) {
  Engine3D* e = FindEngine(vm);
  if (!e) return nullptr;
  if (!e->Capabilities().fog_available) {
    vm.RunError(kNoFog);
    return nullptr;
  }
  return e;
}

void CmdFogOn(Vm& vm) {
  if (Engine3D* e = FoggingEngine(vm)) FogOn(*e);
}

void CmdFogOff(Vm& vm) {
  if (Engine3D* e = FoggingEngine(vm)) FogOff(*e);
}

void CmdSetFogDistance(Vm& vm) {
  const int32_t distance = vm.NextInt();
  if (Engine3D* e = FoggingEngine(vm)) SetFogEnd(*e, distance);
}

void CmdSetFogColour(Vm& vm) {
  const int32_t colour = vm.NextInt();
  if (Engine3D* e = FoggingEngine(vm)) SetFogColour(*e, static_cast<uint32_t>(colour));
}

void CmdSetAmbientLight(Vm& vm) {
  const int32_t percent = vm.NextInt();
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  if (percent < 0 || percent > 100) return vm.RunError(kAmbientRange);
  SetAmbientLevel(*e, percent);
}

void CmdSetAmbientLightColour(Vm& vm) {
  const int32_t colour = vm.NextInt();
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  if (colour < 0) return vm.RunError(object_error::kValue);
  SetAmbientColour(*e, static_cast<uint32_t>(colour));
}

void CmdBackdropOn(Vm& vm) {
  if (Engine3D* e = FindEngine(vm)) BackdropOn(*e);
}

void CmdBackdropOff(Vm& vm) {
  if (Engine3D* e = FindEngine(vm)) BackdropOff(*e);
}

void CmdColourBackdrop(Vm& vm) {
  const int32_t colour = vm.NextInt();
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  if (e->backdrop.object > 0) return ColourBackdrop(*e, static_cast<uint32_t>(colour));
  // Remembered until the backdrop comes up, in place of an image asked for.
  e->backdrop.first_colour = static_cast<uint32_t>(colour);
  e->backdrop.first_image = 0;
}

template <int Placement>
void CmdRenderSceneIn(Vm& vm) {
  vm.render_timing.scene_render = Placement;
}

template <bool (*Ask)(Engine3D&)>
void FnCapability(Vm& vm) {
  const Slot result = vm.NextSlot();
  Engine3D* e = FindEngine(vm);
  vm.SetInt(result, e && Ask(*e) ? 1 : 0);
}

bool CanBlend(Engine3D& e) { return e.Capabilities().blend_mode > 0; }
bool CanFilter(Engine3D& e) { return e.Capabilities().filter_level > 0; }
bool CanFog(Engine3D& e) { return e.Capabilities().fog_available; }
bool DisplayReady(Engine3D& e) {
  Display* screen = e.Screen();
  return screen && screen->Device().created;
}

}  // namespace

void RegisterSceneHandlers(HandlerTable& table) {
  table.Set(7647, CmdDrawQueueAfterSprites);
  table.Set(7648, CmdClearScreenAndDepth);
  table.Set(7649, CmdRenderSceneNow);
  table.Set(7901, CmdFogOn);
  table.Set(7902, CmdFogOff);
  table.Set(7903, CmdSetFogDistance);
  table.Set(7904, CmdSetFogColour);
  table.Set(7911, CmdSetAmbientLight);
  table.Set(7912, CmdSetAmbientLightColour);
  table.Set(7921, CmdBackdropOn);
  table.Set(7922, CmdBackdropOff);
  table.Set(7924, CmdColourBackdrop);
  table.Set(7931, CmdRenderSceneIn<0>);  // render scene in pre run
  table.Set(7932, CmdRenderSceneIn<1>);  // render scene in frame refresh
  table.Set(7981, FnCapability<CanBlend>);  // can blend transparency
  table.Set(7982, FnCapability<CanFilter>);  // can filter textures
  table.Set(7983, FnCapability<CanFog>);  // can fog
  table.Set(7984, FnCapability<DisplayReady>);  // display initialised
}

}  // namespace zv
