#include "platform/present/presenter_factory.h"

#include "platform/present/headless/headless_presenter.h"
#include "platform/present/sdl/sdl_presenter.h"

namespace zv::platform {

std::unique_ptr<Presenter> MakePresenter(void* native_window) {
  if (native_window != nullptr) {
    auto sdl = std::make_unique<SdlPresenter>(static_cast<SDL_Window*>(native_window));
    if (sdl->Ready()) return sdl;
  }
  return std::make_unique<HeadlessPresenter>();
}

}  // namespace zv::platform
