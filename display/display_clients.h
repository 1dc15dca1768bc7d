#pragma once

#include <cstdint>

#include "platform/surface/surface.h"

namespace zv {

// What a display change and the presentation ask of the subsystems that
// keep things on the display's surfaces: the draw queue, bitmaps, the
// pointer and cursor sprites, images, sprites, animations and the 3D
// engine's textures and models. Each is empty until its subsystem fills it.
class DisplayClients {
 public:
  virtual ~DisplayClients() = default;

  // ---- Before the surfaces go ---------------------------------------------------
  // Empties the draw queue without drawing.
  virtual void ClearDrawQueue() {}
  virtual void ReleaseAllAnimations() {}
  // Releases the bitmap surfaces 1 to 31 (and the scratch slot).
  virtual void ReleaseBitmapSurfaces() {}
  // Releases the 3D engine's texture surfaces.
  virtual void ReleaseTextureSurfaces() {}

  // ---- After new surfaces were built ---------------------------------------------
  virtual void ClearLimbTextures() {}
  // Releases image textures and marks every image record empty.
  virtual void EmptyImageRecords() {}
  // The new drawing targets: the back buffer, which becomes the current
  // bitmap, and how many buffers a deferred screen drawing must be
  // performed into (2 with a flip chain).
  virtual void SetDrawTargets(platform::Surface* back_buffer, int32_t flip_count) {
    (void)back_buffer, (void)flip_count;
  }
  // Rebuilds the full-screen pointer sprites from the pointer bitmap.
  virtual void RebuildCursorSprites() {}
  // Moves the pointer sprites off the screen and switches them off (the
  // window shows the system pointer instead).
  virtual void ParkCursorSprites() {}
  virtual void RecreateTextures() {}
  virtual void RebuildObjectModels() {}
  virtual void UpdateCameraView() {}
  // Queues a clear of the 3D render target to `colour` (draw record 101).
  virtual void QueueClearScreenEntry(uint32_t colour) { (void)colour; }

  // ---- Sprite pass -------------------------------------------------------------------
  // Frees the saved backgrounds under the sprites (they were on lost or
  // replaced surfaces).
  virtual void ReleaseSpriteBackgrounds() {}
};

class NullDisplayClients final : public DisplayClients {};

}  // namespace zv
