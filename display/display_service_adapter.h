#pragma once

#include "display/display.h"
#include "runtime/display_seam.h"

namespace zv {

class Animations;
class Graphics;
class Sprites;

// The display as start-up, the message pump and the console see it. With
// its 2D drawing (`graphics`) the console's text and drawing commands go
// through the draw queue; without it they keep the seam's stand-ins. The
// display's owner adds the sprites and the video clips.
class DisplayServiceAdapter : public DisplayServices {
 public:
  explicit DisplayServiceAdapter(Display& display, Graphics* graphics = nullptr)
      : display_(display), graphics_(graphics) {}

  Display& display() { return display_; }
  Graphics* graphics() { return graphics_; }
  // The sprites and the video clips, where the display's owner has them.
  virtual Sprites* OwnedSprites() { return nullptr; }
  virtual Animations* OwnedAnimations() { return nullptr; }
  DisplayServiceAdapter* Adapter() final { return this; }

  // ---- Start and stop ----------------------------------------------------------
  void SetFullScreenFlag(bool full_screen) override;
  bool CreateDirectDrawObject(bool force_primary, bool exclusive) override;
  bool SetDisplayMode(int32_t width, int32_t height, int32_t depth) override;
  bool CreateSurfacesAndDevice(int32_t width, int32_t height) override;
  void ResetDrawState(int32_t working_depth) override;
  void ResetRuntimeState() override;
  bool ClearBackBuffer() override { return display_.ClearBackBuffer(); }
  bool PresentFrame() override { return display_.PresentFrame(); }
  bool RepaintFrame() override { return display_.RepaintFrame(); }
  void LoadPointerBitmap() override { display_.LoadPointerBitmap(true); }
  void ReleasePointerBitmap() override { display_.ReleasePointerBitmap(); }
  void ReleaseDisplayObjects(bool keep_device) override { display_.ReleaseDisplayObjects(keep_device); }
  void ResetWindowToFullScreen() override { display_.ResetWindowToFullScreen(); }
  bool WriteScreenshot(const std::string& path) override;

  // ---- The display card -----------------------------------------------------------
  std::vector<std::string> EnumerateDisplayCards() override;
  void SetWantedCard(const std::string& card) override { display_.Device().wanted_card = card; }
  ProbeResult ProbeDisplay(const std::string& card) override;
  void PaintWindow(int32_t client_width, int32_t client_height, const std::vector<WindowBox>& boxes,
                   const std::vector<WindowText>& texts) override;
  int32_t WindowTextWidth(std::string_view text) override;

  // ---- Each turn of the message pump ---------------------------------------------
  void SetScreenInvalid() override { display_.Surfaces().display_changed = true; }
  bool RestorePrimarySurface() override { return display_.RestorePrimarySurface(); }
  void ClearZBuffer() override;
  void EvictManagedTextures() override { display_.Device3D().EvictManagedTextures(); }
  PictureArea Picture() override { return display_.Picture(); }
  bool Windowed() override { return display_.Layout().windowed; }
  int32_t ScreenWidth() override { return display_.Surfaces().screen_width; }

  // ---- The record pools and the draw queue ---------------------------------------
  void AllocateRecordPools() override;
  void ResetRecordPools() override;
  void Reset3DDefaults() override;
  void FreeRecordPools() override;
  void RunDrawQueue() override;
  size_t PendingDrawRecords() override;
  void TakeRequestedScreenCopy() override;
  void ResumePresentedFrame() override;

  // ---- The text console and the drawing commands --------------------------------
  int32_t CurrentBitmap() override;
  void QueueTextOutput(std::string_view text, int32_t& cursor_x, int32_t& cursor_y, TextFlow flow) override;
  void QueueInputLineText(std::string_view text, int32_t x, int32_t y) override;
  void QueueClearScreen() override;
  void QueueClearColour(uint32_t colour) override;
  void QueueDot(int32_t x, int32_t y) override;
  void QueueLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override;
  void QueueBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override;
  void QueueEllipse(int32_t x, int32_t y, float radius_x, float radius_y) override;
  void QueueInkColours(uint32_t ink, uint32_t paper) override;
  void QueueClearScreenEntry(uint32_t colour) override;
  void ScreenCovered() override;
  void QueueReadPixel(int32_t x, int32_t y, uint32_t result_slot) override;
  int32_t FindImageRecord(int32_t number) override;
  void QueuePasteImage(int32_t record, int32_t x, int32_t y) override;
  void QueuePasteImageTransparent(int32_t record, int32_t x, int32_t y) override;
  void QueueRotateImage(int32_t record, int32_t angle) override;

 private:
  Display& display_;
  Graphics* graphics_;
};

}  // namespace zv
