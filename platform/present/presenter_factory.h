#pragma once

#include <memory>

#include "platform/present/presenter.h"

namespace zv::platform {

// The presenter for a window: SDL when `native_window` is an SDL window and
// a renderer can be made for it, headless otherwise (no window, or none
// that can render). Defined in the SDL backend's library.
std::unique_ptr<Presenter> MakePresenter(void* native_window);

}  // namespace zv::platform
