#include "engine3d/commands/backdrop_commands.h"

#include "display/graphics.h"
#include "engine3d/engine.h"
#include "engine3d/scene/backdrop_texture.h"

namespace zv {
namespace {

namespace op {
constexpr int kTextureBackdrop = 7923;
constexpr int kScrollBackdrop = 7925;
}  // namespace op

// Hundredths of the texture's size.
constexpr float kScrollUnit = 100.0f;

// Without a backdrop the command does nothing at all, whatever the image.
void CmdTextureBackdrop(Vm& vm) {
  const int32_t image = vm.NextInt();
  Engine3D* e = FindEngine(vm);
  if (!e || e->backdrop.object == 0) return;
  if (!IdMap::InRange(image)) return vm.RunError(object_error::kImageNumber);
  Graphics* graphics = FindGraphics(vm);
  const int32_t record = graphics ? graphics->Pools().image_ids.Get(image) : 0;
  if (record <= 0 || !graphics->Pools().images.InUse(record)) return vm.RunError(object_error::kImageMissing);
  TextureBackdrop(*e, record);
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
  table.Set(op::kTextureBackdrop, CmdTextureBackdrop);
  table.Set(op::kScrollBackdrop, CmdScrollBackdrop);
}

}  // namespace zv
