#include "display/graphics.h"

#include <cerrno>

#include "display/display_service_adapter.h"
#include "display/draw_executor.h"
#include "display/pixel_ops.h"
#include "display/queued_work.h"
#include "platform/paths/failure_cause.h"
#include "platform/paths/path_resolver.h"
#include "runtime/attached/attached_data.h"

namespace zv {

Graphics::Graphics(Display& display, std::unique_ptr<platform::TextService> text_service)
    : display_(display),
      queue_(pools_, targets_, bitmaps_, display.Machine()),
      fonts_(text_service ? std::move(text_service) : platform::CreateTextService()) {
  pools_.Reset();
  ResetDrawState();
}

Graphics::~Graphics() = default;

void Graphics::SetImageFiles(ImageFiles* files) { image_files_ = files ? files : &default_files_; }

void Graphics::SetNeighbours(DrawNeighbours* neighbours) { neighbours_ = neighbours ? neighbours : &no_neighbours_; }

// ---- Start, reset and stop ---------------------------------------------------------------

void Graphics::ResetRecordPools() { pools_.Reset(); }

void Graphics::FreeRecordPools() { pools_.Free(); }

void Graphics::ResetDrawState() {
  // The ink starts white in whatever format the screen has.
  colours_.ink_rgb = 0xFFFFFF;
  MatchColoursToScreen();
  display_.Surfaces().display_changed = false;
}

void Graphics::SetDrawColours(uint32_t paper, bool with_ink, uint32_t ink) {
  const PresentState& p = display_.Presentation();
  auto pixel_of = [&](uint32_t rgb, uint8_t* red, uint8_t* green, uint8_t* blue) {
    const int32_t r = static_cast<int32_t>(p.red_max / 255.0 * ((rgb >> 16) & 0xFF));
    const int32_t g = static_cast<int32_t>(p.green_max / 255.0 * ((rgb >> 8) & 0xFF));
    const int32_t b = static_cast<int32_t>(p.blue_max / 255.0 * (rgb & 0xFF));
    auto widen = [](int32_t v, int32_t max) {
      return static_cast<uint8_t>(max == 0 ? 0 : static_cast<int32_t>(255.0 / max * v));
    };
    *red = widen(r, p.red_max);
    *green = widen(g, p.green_max);
    *blue = widen(b, p.blue_max);
    return (static_cast<uint32_t>(g) << p.channels.green_shift) + static_cast<uint32_t>(b) +
           (static_cast<uint32_t>(r) << p.channels.red_shift);
  };
  colours_.paper_rgb = paper;
  display_.Presentation().background_colour =
      pixel_of(paper, &colours_.paper_red, &colours_.paper_green, &colours_.paper_blue);
  if (!with_ink) return;
  colours_.ink_rgb = ink;
  colours_.ink = pixel_of(ink, &colours_.ink_red, &colours_.ink_green, &colours_.ink_blue);
}

void Graphics::MatchColoursToScreen() {
  const platform::SurfacePtr& back = display_.Surfaces().back_buffer;
  if (!back) return;
  ComputeChannelMasks(display_, *back);
  SetDrawColours(colours_.paper_rgb, true, colours_.ink_rgb);
}

void Graphics::ResetRuntimeState() {
  fonts_.Reset(display_.Surfaces().back_buffer != nullptr);
  targets_.screen = display_.Surfaces().back_buffer;
  targets_.screen_repeat = static_cast<int8_t>(display_.FlipCount());
  targets_.current_bitmap = 0;
  targets_.current = targets_.screen;
  targets_.drawing_bitmap = 0;
  targets_.drawing = targets_.screen;
}

// ---- Each turn -----------------------------------------------------------------------

void Graphics::ExecuteDrawingQueue() { zv::ExecuteDrawingQueue(*this); }

void Graphics::RequestScreenSave(std::string_view file) {
  screen_save_file_.assign(file);
  screen_save_requested_ = true;
  // The save takes the frame this turn presents. The screen's drawing
  // queued before it would otherwise wait for the next turn and miss that
  // frame; after the sprites it is done before the frame anyway.
  if (Machine().render_timing.draw_queue == 0) CarryOutQueuedBitmapWork(*this, 0);
}

void Graphics::SaveScreenIfRequested() {
  if (!screen_save_requested_) return;
  screen_save_requested_ = false;
  if (!display_.DrawingEnabled()) return;
  const SurfaceState& s = display_.Surfaces();
  if (!s.primary) return;
  // What is visible: the primary surface, the window's client area in a
  // window, brought to the screen's size.
  platform::SurfacePtr copy = MakeSurface(s.screen_width, s.screen_height);
  if (!copy) return Machine().RunError(bitmap_error::kSaveFailed, screen_save_file_, platform::CauseOf(ENOMEM));
  if (platform::Failed(copy->Blt(nullptr, s.primary.get(), nullptr, platform::kBltWait)))
    return Machine().RunError(bitmap_error::kSaveFailed, screen_save_file_);
  if (std::string why; !image_files_->Save(*copy, platform::Paths().Resolve(screen_save_file_), &why))
    Machine().RunError(bitmap_error::kSaveFailed, screen_save_file_, why.empty() ? platform::CauseOf(errno) : why);
}

// ---- The current bitmap -----------------------------------------------------------------

void Graphics::MakeCurrent(int32_t bitmap) {
  targets_.current_bitmap = bitmap;
  targets_.current = BitmapSurface(bitmap);
}

platform::SurfacePtr Graphics::BitmapSurface(int32_t bitmap) {
  if (bitmap == 0) return display_.Surfaces().back_buffer;
  if (!BitmapTable::InRange(bitmap)) return nullptr;
  return bitmaps_.Surface(bitmap);
}

BitmapInfo Graphics::InfoOf(int32_t bitmap) {
  if (bitmap == 0) {
    BitmapInfo info = bitmaps_.Info(0);
    const BitmapSize& back = display_.Surfaces().back_buffer_size;
    info.width = back.width;
    info.height = back.height;
    info.depth = back.depth;
    return info;
  }
  if (bitmap < 0 || bitmap >= BitmapTable::kSlots) return BitmapInfo{};
  return bitmaps_.Info(bitmap);
}

platform::SurfacePtr Graphics::MakeSurface(int32_t width, int32_t height) {
  const SurfaceState& s = display_.Surfaces();
  if (!display_.Device().device || !s.back_buffer || width < 1 || height < 1) return nullptr;
  platform::SurfaceDesc desc;
  desc.width = width;
  desc.height = height;
  desc.format = s.back_buffer->Format();
  desc.pool = platform::MemoryPool::kSystem;
  platform::SurfacePtr surface = display_.Device().device->CreateSurface(desc);
  if (surface && s.palette) surface->SetPalette(s.palette);
  return surface;
}

bool Graphics::LoadFileIntoBitmapSurface(int32_t slot, const std::string& file) {
  if (slot < 1 || slot >= BitmapTable::kSlots) return false;
  platform::SurfacePtr loaded =
      image_files_->Load(ReadPath(display_.Machine().attached_data, file, NameExtension(file)), Maker());
  if (!loaded) return false;
  if (NameExtension(file) != "dds") loaded->SetColorKey(platform::ColorKey{BlackPixelValue(), BlackPixelValue()});
  bitmaps_.RecordSize(slot, *loaded);
  bitmaps_.Surface(slot) = std::move(loaded);
  return true;
}

SurfaceMaker Graphics::Maker() {
  return [this](int32_t width, int32_t height) { return MakeSurface(width, height); };
}

// ---- The console's text -------------------------------------------------------------------

void Graphics::QueueTextOutput(std::string_view text, int32_t& cursor_x, int32_t& cursor_y, TextFlow flow) {
  queue_.QueueSystemText(text, cursor_x, cursor_y, flow.opaque);
  const platform::Size size = fonts_.SystemFont().Measure(text);
  AdvanceTextCursor(cursor_x, cursor_y, size.width, size.height, display_.Surfaces().screen_width, flow);
}

// ---- Display changes ------------------------------------------------------------------------

void Graphics::ReleaseBitmapSurfaces() {
  bitmaps_.ReleaseAll();
  targets_.current.reset();
  targets_.drawing.reset();
  targets_.screen.reset();
}

void Graphics::EmptyImageRecords() {
  neighbours_->ReleaseImageTextures();
  RecordPool<ImageRecord>& images = pools_.images;
  for (int32_t i = 0; i < images.Capacity(); ++i) {
    ImageRecord& image = images[i];
    image.in_use = 0;
    image.texture = 0;
    image.surface.reset();
    image.width = image.height = 0;
    image.created_width = image.created_height = 0;
  }
}

void Graphics::SetDrawTargets(platform::Surface* back_buffer, int32_t flip_count) {
  (void)back_buffer;
  // The bitmaps did not survive the display change: the screen is current.
  targets_.screen = display_.Surfaces().back_buffer;
  targets_.current_bitmap = targets_.drawing_bitmap = 0;
  targets_.current = targets_.screen;
  targets_.drawing = targets_.screen;
  targets_.screen_repeat = static_cast<int8_t>(flip_count);
  if (targets_.screen) bitmaps_.RecordSize(0, *targets_.screen);
  MatchColoursToScreen();
}

Graphics* FindGraphics(Vm& vm) {
  DisplayServiceAdapter* adapter = vm.display ? vm.display->Adapter() : nullptr;
  return adapter ? adapter->graphics() : nullptr;
}

platform::Rect NextRect(Vm& vm) {
  platform::Rect r;
  r.left = vm.NextInt();
  r.top = vm.NextInt();
  r.right = vm.NextInt();
  r.bottom = vm.NextInt();
  return r;
}

}  // namespace zv
