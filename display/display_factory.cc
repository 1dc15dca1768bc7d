#include "display/display_factory.h"

#include "display/animations.h"
#include "display/device3d.h"
#include "display/display_service_adapter.h"
#include "display/graphics.h"
#include "display/images.h"
#include "display/sprites.h"

namespace zv {
namespace {

// The parts are built before the adapter that refers to them, and go after it.
struct DisplayParts {
  DisplayParts() = default;
  DisplayParts(DisplayParts&&) = default;
  // The display's last release still asks its clients: they go first, and
  // the display forgets them before that.
  ~DisplayParts() {
    if (display) display->SetClients(nullptr);
  }

  std::unique_ptr<platform::Presenter> presenter;
  std::unique_ptr<DisplayDevice3D> device3d;  // the display releases it last, so it goes after the display
  std::unique_ptr<Display> display;
  std::unique_ptr<Graphics> graphics;
  std::unique_ptr<Animations> animations;
  // Images and sprites: the file codecs, the sprites, and what they add to
  // the draw queue's neighbours and the display's clients.
  std::unique_ptr<ImageFileIo> image_files;
  std::unique_ptr<Sprites> sprites;
  std::unique_ptr<SpriteDrawNeighbours> sprite_neighbours;
  std::unique_ptr<SpriteDisplayClients> sprite_clients;
};

class OwnedDisplayServices : private DisplayParts,
                             public DisplayServiceAdapter {
 public:
  explicit OwnedDisplayServices(DisplayParts parts)
      : DisplayParts(std::move(parts)),
        DisplayServiceAdapter(*DisplayParts::display, DisplayParts::graphics.get()) {}

  // The video clips, drawn by the frame refresh and released with the display.
  Animations* OwnedAnimations() override { return animations.get(); }
  void UpdateAnimations() override { animations->UpdateAnimations(); }
  void ReleaseAllAnimations() override { animations->ReleaseAllAnimations(); }

  // The sprites' part of each turn.
  Sprites* OwnedSprites() override { return sprites.get(); }
  void CreateCursorSprites(int flag) override { sprites->CreateCursorSprites(flag != 0); }
  void DeleteCursorSprites() override { sprites->DeleteCursorSprites(); }
  void ParkCursorSprites() override { sprites->ParkCursorSprites(); }
  void UpdateCursorSprites() override { sprites->UpdateCursorSprites(); }
  void RestoreSpriteBackgrounds() override { sprites->RestoreSpriteBackgrounds(); }
  void ExpireRecords() override { sprites->SpriteUpkeep(); }
  void SaveSpriteBackgrounds() override { sprites->SaveSpriteBackgrounds(); }
  void DrawSprites() override { sprites->DrawSprites(); }
};

}  // namespace

std::unique_ptr<DisplayServices> MakeDisplayServices(Vm& vm, platform::Window& window,
                                                     std::unique_ptr<platform::Presenter> presenter) {
  if (vm.runtime == nullptr || presenter == nullptr) return nullptr;
  DisplayPlatform platform;
  platform.presenter = presenter.get();
  platform.window = &window;
  DisplayParts parts;
  parts.display = std::make_unique<Display>(vm, *vm.runtime, std::move(platform));
  parts.presenter = std::move(presenter);
  parts.device3d = std::make_unique<DisplayDevice3D>(*parts.display);
  parts.display->SetRenderDevice(parts.device3d.get());
  parts.graphics = std::make_unique<Graphics>(*parts.display, zv::platform::CreateTextService());
  parts.display->SetClients(parts.graphics.get());
  parts.animations = std::make_unique<Animations>(*parts.display);
  parts.image_files = std::make_unique<ImageFileIo>(vm);
  parts.graphics->SetImageFiles(parts.image_files.get());
  parts.sprites = std::make_unique<Sprites>(*parts.graphics);
  parts.sprite_neighbours = std::make_unique<SpriteDrawNeighbours>(*parts.sprites);
  parts.graphics->SetNeighbours(parts.sprite_neighbours.get());
  parts.sprite_clients = std::make_unique<SpriteDisplayClients>(*parts.graphics, *parts.sprites);
  parts.display->SetClients(parts.sprite_clients.get());
  return std::make_unique<OwnedDisplayServices>(std::move(parts));
}

}  // namespace zv
