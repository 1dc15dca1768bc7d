#pragma once

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

class DisplayServiceAdapter;  // display/display_service_adapter.h

// How a printed text moves the text cursor: with advance it moves right by
// the text's width (and with wrap to the next line once at the screen's
// width), without it to the start of the next line. Opaque text blots out
// what was under it.
struct TextFlow {
  bool advance = false;
  bool opaque = false;
  bool wrap = false;
};

// Moves the text cursor past a text of `width` by `height` printed with
// `flow`. A cursor the program set near the ends of the 32-bit range stops
// there rather than overflow.
inline void AdvanceTextCursor(int32_t& x, int32_t& y, int32_t width, int32_t height, int32_t screen_width,
                              TextFlow flow) {
  auto add = [](int32_t a, int32_t b) {
    const int64_t sum = int64_t{a} + b;
    return static_cast<int32_t>(sum > INT32_MAX ? INT32_MAX : sum < INT32_MIN ? INT32_MIN : sum);
  };
  if (flow.advance) {
    x = add(x, width);
  } else {
    x = 0;
    y = add(y, height);
  }
  if (flow.wrap && x >= screen_width) {
    x = 0;
    y = add(y, height);
  }
}

// Where the presented picture lies in the window's client area, and the size
// of the display it shows, so that mouse positions map back to display
// coordinates.
struct PictureArea {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 640;
  int32_t height = 480;
  int32_t screen_width = 640;
  int32_t screen_height = 480;
};

// What the display-card probe found for a card.
struct ProbeResult {
  int32_t depth = 16;  // the working depth it settled on
  bool supports_3d = false;
  bool alpha_blending = false;
  bool texture_filtering = false;
  bool fogging = false;
};

// A text painted straight onto the window (the card-choice screens), its
// first character cell's top left at x, y, on what lies beneath.
struct WindowText {
  int32_t x = 0;
  int32_t y = 0;
  uint32_t colour = 0;  // 0xRRGGBB
  std::string text;
};
// A box drawn as the window's rectangles are: a one-pixel black edge
// around a fill of its colour; right and bottom lie just outside it.
struct WindowBox {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  uint32_t colour = 0;  // 0xRRGGBB
};

// Cell of the fixed font by which the stand-in measures text.
constexpr int32_t kNullFontWidth = 8;
constexpr int32_t kNullFontHeight = 16;

// What start-up, the message pump and the text console ask of the display.
// The display implements it; NullDisplay stands in where none is linked, so
// a program runs (headless) with nothing drawn.
class DisplayServices {
 public:
  virtual ~DisplayServices() = default;

  // ---- Start and stop ----------------------------------------------------------
  virtual void AllocateRecordPools() {}
  virtual void SetFullScreenFlag(bool full_screen) { windowed_ = !full_screen; }
  virtual bool CreateDirectDrawObject(bool force_primary, bool exclusive) {
    (void)force_primary, (void)exclusive;
    return true;
  }
  virtual bool SetDisplayMode(int32_t width, int32_t height, int32_t depth) {
    (void)width, (void)height, (void)depth;
    return true;
  }
  virtual bool CreateSurfacesAndDevice(int32_t width, int32_t height) {
    (void)width, (void)height;
    return true;
  }
  // The display's and the renderer's part of the draw-state and run-state
  // resets (the runtime does its own part).
  virtual void ResetDrawState(int32_t working_depth) { (void)working_depth; }
  virtual void ResetRuntimeState() {}
  virtual bool ClearBackBuffer() { return true; }
  // True when a frame was shown.
  virtual bool PresentFrame() { return false; }
  // Shows the last frame again where the window moved or changed size;
  // true when it was shown.
  virtual bool RepaintFrame() { return false; }
  virtual void ResetRecordPools() {}
  virtual void Reset3DDefaults() {}
  virtual void LoadPointerBitmap() {}
  virtual void CreateCursorSprites(int flag) { (void)flag; }
  virtual void DeleteCursorSprites() {}
  virtual void ReleasePointerBitmap() {}
  virtual void ReleaseAllAnimations() {}
  virtual void ReleaseDisplayObjects(bool keep_device) { (void)keep_device; }
  virtual void ResetWindowToFullScreen() {}
  virtual void FreeRecordPools() {}
  // Writes the last presented frame as a PNG; false when there is none
  // (errno 0) or it could not be written (errno says why).
  virtual bool WriteScreenshot(const std::string& path) {
    (void)path;
    errno = 0;
    return false;
  }

  // ---- The display card -----------------------------------------------------------
  virtual std::vector<std::string> EnumerateDisplayCards() { return {}; }
  virtual void SetWantedCard(const std::string& card) { (void)card; }
  virtual ProbeResult ProbeDisplay(const std::string& card) {
    (void)card;
    return {};
  }
  // Paints the boxes and texts over a black client area of the given size
  // and shows it in place of the last frame.
  virtual void PaintWindow(int32_t client_width, int32_t client_height, const std::vector<WindowBox>& boxes,
                           const std::vector<WindowText>& texts) {
    (void)client_width, (void)client_height, (void)boxes, (void)texts;
  }
  virtual int32_t WindowTextWidth(std::string_view text) {
    return static_cast<int32_t>(text.size()) * kNullFontWidth;
  }

  // ---- Each turn of the message pump ---------------------------------------------
  virtual void SetScreenInvalid() {}
  // Asks a lost full-screen primary surface to come back; true when it did.
  virtual bool RestorePrimarySurface() { return false; }
  virtual void UpdateCursorSprites() {}
  virtual void ClearZBuffer() {}
  virtual void RestoreSpriteBackgrounds() {}
  virtual void RunDrawQueue() {}
  virtual void ExpireRecords() {}
  virtual void UpdateAnimations() {}
  virtual void SaveSpriteBackgrounds() {}
  virtual void DrawSprites() {}
  virtual void TakeRequestedScreenCopy() {}
  // Makes the frame presented last the one the next turn draws on, as it
  // stands: with a flip chain that buffer comes back, and the screen
  // records already drawn on it are not drawn there again.
  virtual void ResumePresentedFrame() {}
  virtual void EvictManagedTextures() {}
  virtual size_t PendingDrawRecords() { return 0; }
  virtual PictureArea Picture() { return {}; }
  virtual bool Windowed() { return windowed_; }

  // ---- The text console and the drawing commands --------------------------------
  virtual int32_t CurrentBitmap() { return 0; }
  virtual int32_t ScreenWidth() { return 640; }
  // Queues the text at the cursor and moves the cursor past it.
  virtual void QueueTextOutput(std::string_view text, int32_t& cursor_x, int32_t& cursor_y, TextFlow flow);
  virtual void QueueInputLineText(std::string_view text, int32_t x, int32_t y) { (void)text, (void)x, (void)y; }
  virtual void QueueClearScreen() {}
  virtual void QueueClearColour(uint32_t colour) { (void)colour; }
  virtual void QueueDot(int32_t x, int32_t y) { (void)x, (void)y; }
  virtual void QueueLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) { (void)x1, (void)y1, (void)x2, (void)y2; }
  virtual void QueueBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2) { (void)x1, (void)y1, (void)x2, (void)y2; }
  virtual void QueueEllipse(int32_t x, int32_t y, float radius_x, float radius_y) {
    (void)x, (void)y, (void)radius_x, (void)radius_y;
  }
  virtual void QueueInkColours(uint32_t ink, uint32_t paper) { (void)ink, (void)paper; }
  virtual void QueueClearScreenEntry(uint32_t colour) { (void)colour; }
  // Something covered the whole screen as a clear would (the 3D backdrop):
  // deferred drawings already on the screen are not drawn over it again.
  virtual void ScreenCovered() {}
  // The pixel's colour is stored into the int slot when the queue runs.
  virtual void QueueReadPixel(int32_t x, int32_t y, uint32_t result_slot) { (void)x, (void)y, (void)result_slot; }
  // Record index of image `number` (1..65535), 0 when it has none.
  virtual int32_t FindImageRecord(int32_t number) {
    (void)number;
    return 0;
  }
  virtual void QueuePasteImage(int32_t record, int32_t x, int32_t y) { (void)record, (void)x, (void)y; }
  virtual void QueuePasteImageTransparent(int32_t record, int32_t x, int32_t y) { (void)record, (void)x, (void)y; }
  virtual void QueueRotateImage(int32_t record, int32_t angle) { (void)record, (void)angle; }
  // Parks the full-screen pointer sprites off the screen.
  virtual void ParkCursorSprites() {}

  // ---- The display's own parts -----------------------------------------------------
  // The display behind the seam, where one is linked, for the commands that
  // reach its sprites, pictures and clips. A drawing command asks for it each
  // time it runs, so it is a virtual call: a cast searches the class graph.
  virtual DisplayServiceAdapter* Adapter() { return nullptr; }

 protected:
  bool windowed_ = false;
};

inline void DisplayServices::QueueTextOutput(std::string_view text, int32_t& cursor_x, int32_t& cursor_y,
                                             TextFlow flow) {
  const int32_t width = static_cast<int32_t>(text.size()) * kNullFontWidth;
  AdvanceTextCursor(cursor_x, cursor_y, width, kNullFontHeight, ScreenWidth(), flow);
}

class NullDisplay final : public DisplayServices {};

}  // namespace zv
