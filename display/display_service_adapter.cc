#include "display/display_service_adapter.h"

#include "display/graphics.h"
#include "display/window_painter.h"

namespace zv {

void DisplayServiceAdapter::SetFullScreenFlag(bool full_screen) {
  display_.SetFullScreenFlag(full_screen ? 1 : 0);
  // Start-up turns the window choice into the window's layout.
  display_.Layout().windowed = !full_screen;
  display_.Layout().clear_borders = full_screen;
}

bool DisplayServiceAdapter::CreateDirectDrawObject(bool force_primary, bool exclusive) {
  return display_.CreateDirectDrawObject(force_primary, exclusive);
}

bool DisplayServiceAdapter::SetDisplayMode(int32_t width, int32_t height, int32_t depth) {
  return display_.SetDisplayMode(width, height, depth);
}

bool DisplayServiceAdapter::CreateSurfacesAndDevice(int32_t width, int32_t height) {
  if (!display_.CreateSurfacesAndDevice(width, height, true)) return false;
  SurfaceState& s = display_.Surfaces();
  s.program_width = width;
  s.program_height = height;
  s.program_depth = s.screen_depth;
  display_.SetDrawTargets();
  return true;
}

void DisplayServiceAdapter::ResetDrawState(int32_t working_depth) {
  SurfaceState& s = display_.Surfaces();
  s.screen_depth = static_cast<int16_t>(working_depth);
  s.software_renderer = 0;
  display_.Device().use_tnl = true;
  if (graphics_) graphics_->ResetDrawState();
}

void DisplayServiceAdapter::ResetRuntimeState() {
  if (display_.Lock().Held()) display_.UnlockPixels();
  display_.Layout().program_icon = true;
  if (graphics_) graphics_->ResetRuntimeState();
}

bool DisplayServiceAdapter::WriteScreenshot(const std::string& path) {
  return display_.Presenter().WriteScreenshot(path);
}

std::vector<std::string> DisplayServiceAdapter::EnumerateDisplayCards() {
  std::vector<std::string> names;
  for (const platform::DisplayAdapter& card : display_.EnumerateCards()) names.push_back(card.description);
  return names;
}

ProbeResult DisplayServiceAdapter::ProbeDisplay(const std::string& card) {
  display_.Device().wanted_card = card;
  return display_.ProbeDisplay();
}

// Without the 2D drawing there is no font: the boxes are painted and the
// texts measured by the stand-in.
void DisplayServiceAdapter::PaintWindow(int32_t client_width, int32_t client_height,
                                        const std::vector<WindowBox>& boxes, const std::vector<WindowText>& texts) {
  platform::FontPtr font = graphics_ ? graphics_->Fonts().WindowFont() : nullptr;
  platform::SurfacePtr picture = PaintWindowPicture(client_width, client_height, boxes, texts, font.get());
  if (picture) display_.Presenter().Present(*picture, nullptr);
}

int32_t DisplayServiceAdapter::WindowTextWidth(std::string_view text) {
  if (!graphics_) return DisplayServices::WindowTextWidth(text);
  return graphics_->Fonts().WindowFont()->Measure(text).width;
}

void DisplayServiceAdapter::ClearZBuffer() {
  if (display_.DrawingEnabled()) display_.Device3D().ClearZBuffer();
}

// ---- The record pools and the draw queue ---------------------------------------------

void DisplayServiceAdapter::AllocateRecordPools() {
  if (graphics_) graphics_->ResetRecordPools();
}

void DisplayServiceAdapter::ResetRecordPools() {
  // The 3D engine's pools first: its objects give their render records back
  // to the sprite pool before that is emptied.
  display_.Machine().engine3d->ResetRecordPools(display_.Machine());
  if (graphics_) graphics_->ResetRecordPools();
}

void DisplayServiceAdapter::Reset3DDefaults() { display_.Machine().engine3d->Reset3DState(); }

void DisplayServiceAdapter::FreeRecordPools() {
  if (graphics_) graphics_->FreeRecordPools();
}

void DisplayServiceAdapter::RunDrawQueue() {
  if (graphics_) graphics_->ExecuteDrawingQueue();
}

size_t DisplayServiceAdapter::PendingDrawRecords() {
  return graphics_ ? static_cast<size_t>(graphics_->Queue().Pending()) : 0;
}

void DisplayServiceAdapter::TakeRequestedScreenCopy() {
  if (graphics_) graphics_->SaveScreenIfRequested();
}

void DisplayServiceAdapter::ResumePresentedFrame() {
  display_.TakeBackPresentedFrame();
  // The presented frame had every screen record's pass that was due: the
  // passes left are for the other buffer of the chain.
  if (graphics_) graphics_->Queue().ScreenCovered();
}

// ---- The text console and the drawing commands ------------------------------------------

int32_t DisplayServiceAdapter::CurrentBitmap() { return graphics_ ? graphics_->CurrentBitmap() : 0; }

void DisplayServiceAdapter::QueueTextOutput(std::string_view text, int32_t& cursor_x, int32_t& cursor_y,
                                            TextFlow flow) {
  if (graphics_)
    graphics_->QueueTextOutput(text, cursor_x, cursor_y, flow);
  else
    DisplayServices::QueueTextOutput(text, cursor_x, cursor_y, flow);
}

void DisplayServiceAdapter::QueueInputLineText(std::string_view text, int32_t x, int32_t y) {
  if (graphics_) graphics_->Queue().QueueInputLineText(text, x, y);
}

void DisplayServiceAdapter::QueueClearScreen() {
  if (graphics_) graphics_->Queue().QueueClearScreen();
}

void DisplayServiceAdapter::QueueClearColour(uint32_t colour) {
  if (graphics_) graphics_->Queue().QueueClearColour(colour);
}

void DisplayServiceAdapter::QueueDot(int32_t x, int32_t y) {
  if (graphics_) graphics_->Queue().QueueDot(x, y);
}

void DisplayServiceAdapter::QueueLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (graphics_) graphics_->Queue().QueueLine(x1, y1, x2, y2);
}

void DisplayServiceAdapter::QueueBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (graphics_) graphics_->Queue().QueueBox(x1, y1, x2, y2);
}

void DisplayServiceAdapter::QueueEllipse(int32_t x, int32_t y, float radius_x, float radius_y) {
  if (graphics_) graphics_->Queue().QueueEllipse(x, y, radius_x, radius_y);
}

void DisplayServiceAdapter::QueueInkColours(uint32_t ink, uint32_t paper) {
  if (graphics_) graphics_->Queue().QueueInkColours(ink, paper);
}

void DisplayServiceAdapter::QueueClearScreenEntry(uint32_t colour) {
  if (graphics_) graphics_->Queue().QueueClearScreenEntry(colour);
}

void DisplayServiceAdapter::ScreenCovered() {
  if (graphics_) graphics_->Queue().ScreenCovered();
}

void DisplayServiceAdapter::QueueReadPixel(int32_t x, int32_t y, uint32_t result_slot) {
  if (graphics_) graphics_->Queue().QueueReadPixel(x, y, result_slot);
}

int32_t DisplayServiceAdapter::FindImageRecord(int32_t number) {
  return graphics_ ? graphics_->Pools().image_ids.Get(number) : 0;
}

void DisplayServiceAdapter::QueuePasteImage(int32_t record, int32_t x, int32_t y) {
  if (graphics_) graphics_->Queue().QueuePasteImage(record, x, y, false);
}

void DisplayServiceAdapter::QueuePasteImageTransparent(int32_t record, int32_t x, int32_t y) {
  if (graphics_) graphics_->Queue().QueuePasteImage(record, x, y, true);
}

void DisplayServiceAdapter::QueueRotateImage(int32_t record, int32_t angle) {
  if (graphics_) graphics_->Queue().QueueRotateImage(record, angle);
}

Display* FindDisplay(Vm& vm) {
  DisplayServiceAdapter* adapter = vm.display ? vm.display->Adapter() : nullptr;
  return adapter ? &adapter->display() : nullptr;
}

}  // namespace zv
