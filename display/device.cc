// The display device, the card it is made on, the window's layout, the
// engine-error log and the release of everything on the display.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "display/display.h"
#include "platform/ini/ini_file.h"

namespace zv {
namespace {

constexpr uint32_t kTracePauseMs = 100;
constexpr size_t kTextLimit = 255;

std::string Limit(std::string_view text) { return std::string(text.substr(0, kTextLimit)); }

// A style with a caption or a sizing border is framed by the desktop; a
// popup without either is bare.
platform::WindowFrame FrameOf(const WindowLayout& layout) {
  platform::WindowFrame frame;
  frame.border = (layout.style & (window_style::kCaption | window_style::kThickFrame)) != 0;
  frame.resizable = (layout.style & window_style::kThickFrame) != 0;
  frame.icon = layout.program_icon;
  return frame;
}

void ApplyShowState(platform::Window& window, int32_t show_state) {
  switch (show_state) {
    case show_state::kHide: window.Hide(); break;
    case show_state::kMinimised: window.Minimise(); break;
    case show_state::kMaximised: window.Maximise(); break;
    case show_state::kNormal: window.Restore(); break;
    default: window.Show(); break;
  }
}

}  // namespace

Display::Display(Vm& vm, RuntimeState& runtime, DisplayPlatform platform)
    : vm_(vm), runtime_(runtime), platform_(std::move(platform)) {
  device_.wanted_card = runtime_.settings.chosen_card;
  device_.blit_flip_mode = runtime_.settings.blit_flip_mode;
}

Display::~Display() {
  ReleasePointerBitmap();
  ReleaseDisplayObjects(false);
}

void Display::SetClients(DisplayClients* clients) {
  clients_ = clients ? clients : &null_clients_;
}

void Display::SetRenderDevice(RenderDevice* device) {
  render_device_ = device ? device : &null_render_device_;
}

// Trace lines go nowhere, but the pause before each is kept: it is how the
// trace mode has always timed the start.
void Display::TracePause() {
  if (!runtime_.settings.trace_mode) return;
  if (platform_.sleep)
    platform_.sleep(kTracePauseMs);
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(kTracePauseMs));
}

std::vector<platform::DisplayAdapter> Display::EnumerateCards() const {
  return platform_.enumerate_adapters ? platform_.enumerate_adapters()
                                      : std::vector<platform::DisplayAdapter>{};
}

// An empty wanted name takes the first card that has a GUID (a secondary
// card); otherwise the description must match exactly.
void Display::FindCard(const std::string& wanted) {
  device_.found_driver_name.clear();
  for (const platform::DisplayAdapter& card : EnumerateCards()) {
    bool match;
    if (wanted.empty()) {
      match = card.guid.has_value();
    } else {
      TracePause();  // "Enumeration Check"
      TracePause();  // "Enumeration Looking for"
      match = card.description == wanted;
      if (match) TracePause();  // "Found card"
    }
    if (match) {
      device_.found_driver_name = card.driver_name;
      device_.found_card_description = card.description;
      device_.found_card_guid = card.guid;
      return;
    }
  }
}

bool Display::CreateDirectDrawObject(bool force_primary, bool exclusive) {
  // The caller has released these already; only the references go.
  surfaces_.primary.reset();
  surfaces_.back_buffer.reset();
  surfaces_.zbuffer.reset();
  surfaces_.palette.reset();
  surfaces_.pointer_bitmap.reset();

  std::optional<platform::AdapterGuid> guid;
  if (device_.full_screen != 0 && !force_primary &&
      device_.wanted_card != platform::kPrimaryAdapterDescription) {
    FindCard(device_.wanted_card);
    TracePause();  // "Using Primary Card" or "Using Secondary Card"
    if (device_.found_driver_name.empty()) {
      device_.card_in_use = platform::kPrimaryAdapterDescription;
    } else {
      guid = device_.found_card_guid;
      device_.card_in_use = device_.found_card_description;
    }
  } else {
    device_.card_in_use = platform::kPrimaryAdapterDescription;
  }

  platform::DisplayAdapter adapter{std::nullopt, platform::kPrimaryAdapterDescription, "display"};
  for (const platform::DisplayAdapter& card : EnumerateCards())
    if (card.guid == guid) adapter = card;
  if (guid && adapter.guid != guid) {
    WriteErrorLog("Failed to create DirectDraw Interface");
    return false;
  }
  device_.device = std::make_unique<platform::DrawDevice>(adapter, Presenter().Desktop());

  bool full = device_.full_screen == 1 && exclusive;
  device_.device->SetCooperativeLevel(full ? platform::CooperativeLevel::kExclusiveFullScreen
                                           : platform::CooperativeLevel::kNormal);
  Presenter().SetFullScreen(full);
  device_.blit_flip_mode = runtime_.settings.blit_flip_mode;
  device_.blit_flip_mode_in_use = device_.blit_flip_mode;
  device_.created = true;
  return true;
}

void Display::WriteErrorLog(std::string_view text) {
  vm_.errors.last_engine_error = Limit(text);
  if (!vm_.settings.debug_mode && !runtime_.settings.debug_mode) return;
  std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char key[64];
  std::snprintf(key, sizeof key, "ENGINEERROR ON %d/%d/%d AT %d:%d", utc.tm_mday, utc.tm_mon + 1,
                utc.tm_year + 1900, utc.tm_hour, utc.tm_min);
  platform::WriteProfileString(LogFilePath(vm_.settings), "ERRORLOG", key,
                               vm_.errors.last_engine_error);
}

void Display::ApplyWindowStyle(bool full, bool invalidate_desktop) {
  (void)invalidate_desktop;  // every frame repaints the whole window
  platform::Window* window = platform_.window;
  runtime_.window.put_away =
      layout_.show_state == show_state::kHide || layout_.show_state == show_state::kMinimised;
  if (!full) {
    if (window) ApplyShowState(*window, layout_.show_state);
    return;
  }
  if (window) {
    window->SetTitle(layout_.title);
    window->SetFrame(FrameOf(layout_));
    // Full screen is the presenter's desktop-sized window; only a window
    // is placed.
    if (layout_.windowed && layout_.width > 0 && layout_.height > 0)
      window->SetPlacement(platform::WindowRect{layout_.x, layout_.y, layout_.width, layout_.height});
    ApplyShowState(*window, layout_.show_state);
  }
  bool& cursor_shown = runtime_.window.cursor_shown;
  if (layout_.windowed) {
    if (!cursor_shown) {
      cursor_shown = true;
      if (window) window->ShowCursor(true);
      clients_->ParkCursorSprites();
      if (window) window->CaptureMouse(false);
    }
  } else if (cursor_shown) {
    cursor_shown = false;
    if (window) window->ShowCursor(false);
    clients_->RebuildCursorSprites();
  }
}

void Display::ResetWindowToFullScreen() {
  if (!layout_.windowed) return;
  layout_.windowed = false;
  layout_.clear_borders = true;
  layout_.x = layout_.y = 0;
  layout_.title = "Zentrovex";
  layout_.show_state = show_state::kDefault;
  platform::DisplayMode desktop = Presenter().Desktop();
  layout_.width = desktop.width;
  layout_.height = desktop.height;
  layout_.style = window_style::kFullScreen;
  layout_.frame_width = layout_.caption_height = 0;
  layout_.program_icon = true;
  ApplyWindowStyle(true, true);
}

void Display::ReleaseProgramLock() {
  if (lock_.Held() && surfaces_.back_buffer) surfaces_.back_buffer->Unlock();
  lock_ = PixelLock{};
}

void Display::ReleaseSurfaces() {
  ReleaseProgramLock();
  surfaces_.gamma_available = false;
  surfaces_.palette.reset();
  surfaces_.primary.reset();
  surfaces_.back_buffer.reset();
  surfaces_.zbuffer.reset();
}

void Display::ReleaseDisplayObjects(bool keep_device) {
  if (!device_.device) return;
  clients_->ReleaseTextureSurfaces();
  clients_->ReleaseBitmapSurfaces();
  render_device_->Release();
  ReleaseSurfaces();
  if (!keep_device) device_.device.reset();
}

void Display::SuspendAfterFailedRestore() {
  if (!AlwaysActive()) vm_.app_active = false;
}

}  // namespace zv
