#include "engine3d/commands/backdrop_commands.h"

#include "engine3d/commands/command_checks.h"
#include "engine3d/scene/backdrop_texture.h"

namespace zv {
namespace {

// Hundredths of the texture's size.
constexpr float kScrollUnit = 100.0f;

// Before the backdrop comes up, the image is remembered (and taken then,
// when it exists).
void CmdTextureBackdrop(Vm& vm) {
  const int32_t image = vm.NextInt();
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  if (e->backdrop.object == 0) {
    e->backdrop.first_image = image;
    return;
  }
  if (const int32_t record = ExistingImage(vm, image)) TextureBackdrop(*e, record);
}

void CmdScrollBackdrop(Vm& vm) {
  const int32_t u = vm.NextInt();
  const int32_t v = vm.NextInt();
  Engine3D* e = FindEngine(vm);
  if (e && e->backdrop.object > 0)
    ScrollBackdrop(*e, static_cast<float>(u) / kScrollUnit, static_cast<float>(v) / kScrollUnit);
}

}  // namespace

void RegisterBackdropTextureHandlers(HandlerTable& table) {
  table.Set(7923, CmdTextureBackdrop);
  table.Set(7925, CmdScrollBackdrop);
}

}  // namespace zv
