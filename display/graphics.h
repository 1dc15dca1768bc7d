#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "display/bitmaps.h"
#include "display/display.h"
#include "display/display_clients.h"
#include "display/draw_queue.h"
#include "display/image_files.h"
#include "display/record_pools.h"
#include "display/text_fonts.h"
#include "platform/text/text_service.h"

namespace zv {

// What the draw queue asks of the sprites and the 3D engine's textures when
// it performs image and sprite records. Each does nothing until its
// subsystem fills it.
class DrawNeighbours {
 public:
  virtual ~DrawNeighbours() = default;
  // Draws a sprite record on the surface at x, y.
  virtual void DrawSpriteRecord(platform::Surface& surface, int32_t bitmap, int32_t sprite, int32_t x,
                                int32_t y) {
    (void)surface, (void)bitmap, (void)sprite, (void)x, (void)y;
  }
  // Gives the image a texture made from its pixels (flag: texture mode 2).
  virtual void MakeImageTexture(int32_t image, bool flag) { (void)image, (void)flag; }
  // Sets the flag of the image's texture and preloads it.
  virtual void PreloadImageTexture(int32_t texture, bool flag) { (void)texture, (void)flag; }
  // Rebuilds the texture made from an image after its pixels changed.
  virtual void RebuildImageTexture(int32_t image, bool flag) { (void)image, (void)flag; }
  // Releases the textures made from images (before the images go).
  virtual void ReleaseImageTextures() {}
  // Shares the texture of an image file as the image's texture (its
  // texture word is set); 0 when the file makes none.
  virtual int32_t LoadImageTextureFile(int32_t image, const std::string& name) {
    (void)image, (void)name;
    return 0;
  }
  // Gives the texture mip levels; the digit names a block format.
  virtual void BuildTextureMipmaps(int32_t texture, uint8_t format_digit) { (void)texture, (void)format_digit; }
  // Unlinks an image that goes from its texture.
  virtual void ReleaseImageTexture(int32_t image) { (void)image; }
};

// The ink and paper: the colours the program asked for (0xRRGGBB), their
// pixel values in the back buffer's format, and their channels as they
// read back from those pixels. The paper's pixel is the display's
// background colour, which the back-buffer clear also uses.
struct DrawColours {
  uint32_t ink_rgb = 0xFFFFFF, paper_rgb = 0;
  uint32_t ink = 0;
  uint8_t ink_red = 255, ink_green = 255, ink_blue = 255;
  uint8_t paper_red = 0, paper_green = 0, paper_blue = 0;
};

// The 2D side of the display: the record pools, the draw queue and its
// executor, the numbered bitmaps, the colours and the text fonts. It is
// what the display asks of its clients around display changes, and the
// display service adapter hands it the console's drawing.
class Graphics final : public DisplayClients {
 public:
  Graphics(Display& display, std::unique_ptr<platform::TextService> text_service);
  ~Graphics() override;
  Graphics(const Graphics&) = delete;
  Graphics& operator=(const Graphics&) = delete;

  // The neighbours; null restores the stand-ins.
  void SetImageFiles(ImageFiles* files);
  void SetNeighbours(DrawNeighbours* neighbours);
  ImageFiles& Files() { return *image_files_; }
  DrawNeighbours& Neighbours() { return *neighbours_; }

  Display& Screen() { return display_; }
  Vm& Machine() { return display_.Machine(); }
  RecordPools& Pools() { return pools_; }
  BitmapTable& Bitmaps() { return bitmaps_; }
  DrawQueue& Queue() { return queue_; }
  DrawTargets& Targets() { return targets_; }
  TextFonts& Fonts() { return fonts_; }
  DrawColours& Colours() { return colours_; }

  // ---- Start, reset and stop -------------------------------------------------------
  void ResetRecordPools();
  void FreeRecordPools();
  // Drawing defaults: the ink white, the screen not marked invalid.
  void ResetDrawState();
  // A program's start: the text state and fonts, the current bitmap 0 on
  // the back buffer, the repeat count of screen records.
  void ResetRuntimeState();
  // Sets the paper and, unless `with_ink` is false, the ink from 0xRRGGBB
  // colours, scaled onto the channel maxima of the surface last analysed.
  void SetDrawColours(uint32_t paper, bool with_ink, uint32_t ink);

  // ---- Each turn ---------------------------------------------------------------------
  // One pass over the queue (the executor).
  void ExecuteDrawingQueue();
  // The screen save asked for by the bitmap commands, after the frame was
  // presented; the frame shows the screen's drawing queued before the
  // request.
  void RequestScreenSave(std::string_view file);
  void SaveScreenIfRequested();

  // ---- The current bitmap -------------------------------------------------------------
  int32_t CurrentBitmap() const { return targets_.current_bitmap; }
  // Makes `bitmap` current at once (the screen for 0).
  void MakeCurrent(int32_t bitmap);
  // The surface of a bitmap: the back buffer for 0; null outside 0..31 or
  // when it has none.
  platform::SurfacePtr BitmapSurface(int32_t bitmap);
  // Width, height and depth of a bitmap (the back buffer's for 0).
  BitmapInfo InfoOf(int32_t bitmap);
  // A system-memory surface in the back buffer's format; null without one.
  platform::SurfacePtr MakeSurface(int32_t width, int32_t height);
  SurfaceMaker Maker();
  // The back buffer's pixel value for black: the images' colour key.
  uint32_t BlackPixelValue() const { return display_.BlackPixelValue(); }
  // Loads an image file into a bitmap slot (the image loads use the scratch
  // slot), replacing its surface; the picture is keyed on black unless it
  // is a DDS file. False when the file cannot be loaded.
  bool LoadFileIntoBitmapSurface(int32_t slot, const std::string& file);
  // Set whenever an image's pixels changed; the sprites read and clear it.
  bool images_changed = false;

  // ---- The console's text ----------------------------------------------------------
  // Queues the text at the cursor and moves the cursor past it, measured in
  // the system font.
  void QueueTextOutput(std::string_view text, int32_t& cursor_x, int32_t& cursor_y, TextFlow flow);

  // ---- What the display asks around display changes --------------------------------
  void ClearDrawQueue() override { queue_.Clear(); }
  void ReleaseBitmapSurfaces() override;
  void EmptyImageRecords() override;
  void SetDrawTargets(platform::Surface* back_buffer, int32_t flip_count) override;
  void QueueClearScreenEntry(uint32_t colour) override { queue_.QueueClearScreenEntry(colour); }
  // The 3D engine's textures, models and camera follow the display.
  void ReleaseTextureSurfaces() override { Machine().engine3d->ReleaseTextureSurfaces(); }
  void ClearLimbTextures() override { Machine().engine3d->ClearLimbTextures(); }
  void RecreateTextures() override { Machine().engine3d->RecreateTextures(); }
  void RebuildObjectModels() override { Machine().engine3d->RebuildObjectModels(); }
  void UpdateCameraView() override { Machine().engine3d->UpdateCameraView(); }

 private:
  // The ink and paper pixels for the back buffer's format, from the
  // colours the program asked for (the format changes with the display).
  void MatchColoursToScreen();

  Display& display_;
  RecordPools pools_;
  BitmapTable bitmaps_;
  DrawTargets targets_;
  DrawQueue queue_;
  TextFonts fonts_;
  DrawColours colours_;
  DefaultImageFiles default_files_;
  DrawNeighbours no_neighbours_;
  ImageFiles* image_files_ = &default_files_;
  DrawNeighbours* neighbours_ = &no_neighbours_;
  bool screen_save_requested_ = false;
  std::string screen_save_file_;
};

// The 2D drawing behind the Vm's display seam, or null when there is none.
Graphics* FindGraphics(Vm& vm);

// The next four operands as a rectangle: left, top, right, bottom.
platform::Rect NextRect(Vm& vm);

}  // namespace zv
