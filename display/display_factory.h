#pragma once

#include <memory>

#include "platform/present/presenter.h"
#include "platform/window/window.h"
#include "runtime/display_seam.h"
#include "runtime/vm/vm.h"

namespace zv {

// The display behind the runtime's seam, owning its presenter. `vm.runtime`
// must be set; null otherwise. The handlers reach it through `vm.display`.
std::unique_ptr<DisplayServices> MakeDisplayServices(Vm& vm, platform::Window& window,
                                                     std::unique_ptr<platform::Presenter> presenter);

}  // namespace zv
