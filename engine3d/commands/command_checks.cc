#include "engine3d/commands/command_checks.h"

#include "display/graphics.h"

namespace zv {

bool CheckedImage(Vm& vm, int32_t image, int32_t* record) {
  *record = 0;
  if (image < 0 || image > IdMap::kLast) {
    vm.RunError(object_error::kImageNumber);
    return false;
  }
  if (image == 0) return true;
  Graphics* graphics = FindGraphics(vm);
  *record = graphics ? graphics->Pools().image_ids.Get(image) : 0;
  if (*record <= 0) {
    vm.RunError(object_error::kImageMissing);
    return false;
  }
  return true;
}

}  // namespace zv
