#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/surface/draw_device.h"
#include "platform/surface/palette.h"
#include "platform/surface/pixel_format.h"
#include "platform/surface/surface.h"

namespace zv {

// Window styles as the window commands give them.
namespace window_style {
constexpr uint32_t kPopup = 0x80000000;
constexpr uint32_t kCaption = 0x00C00000;
constexpr uint32_t kThickFrame = 0x00040000;  // a border the user can drag
constexpr uint32_t kOverlapped = 0x00CF0000;  // frame, caption, system menu, size box
constexpr uint32_t kFullScreen = 0x800A0000;  // popup, system menu, minimise box
}  // namespace window_style

// Show states of the window commands.
namespace show_state {
constexpr int32_t kHide = 0;
constexpr int32_t kNormal = 1;
constexpr int32_t kMaximised = 3;
constexpr int32_t kShow = 5;
constexpr int32_t kMinimised = 6;
constexpr int32_t kDefault = 10;
}  // namespace show_state

// The display device and the card it was made on.
struct DeviceState {
  std::unique_ptr<platform::DrawDevice> device;  // null when released
  int32_t full_screen = 1;      // 1 exclusive full screen, 0 windowed (stored as given)
  std::string wanted_card;      // the card the program asked for
  std::string card_in_use;      // the card the device was made on
  std::string found_driver_name, found_card_description;
  std::optional<platform::AdapterGuid> found_card_guid;
  int32_t blit_flip_mode = 0;         // 1: present by blitting
  int32_t blit_flip_mode_in_use = 0;  // taken when a device is made
  bool created = false;
  bool use_tnl = true;
};

// The window's layout, applied by ApplyWindowStyle.
struct WindowLayout {
  std::string title = "Zentrovex";
  uint32_t style = window_style::kFullScreen;
  int32_t show_state = show_state::kDefault;
  int32_t x = 0, y = 0;          // client area's position
  int32_t width = 0, height = 0;  // client area's size
  int32_t frame_width = 0, caption_height = 0;
  bool program_icon = true;
  bool windowed = false;
  bool clear_borders = true;
};

// Width, height and bits per pixel of a bitmap; entry 0 is the back buffer.
struct BitmapSize {
  int32_t width = 0, height = 0, depth = 0;
};

// The surfaces of the display and the mode they are made for.
struct SurfaceState {
  platform::SurfacePtr primary, back_buffer, zbuffer, pointer_bitmap;
  platform::PalettePtr palette;
  int32_t screen_width = 640, screen_height = 480;
  int16_t screen_depth = 16;  // bit depth of the last display-mode command
  int32_t program_width = 640, program_height = 480, program_depth = 16;
  bool flip_chain = false;
  bool system_memory = false;
  int32_t software_renderer = 0;
  bool gamma_available = false;
  bool display_changed = false;
  BitmapSize back_buffer_size;
};

// Presentation and frame counting.
struct PresentState {
  int32_t current_buffer = 0;  // flip-chain buffer now drawn into
  // Counts the frames the pump asks to present, shown or not: the frame now
  // drawn. Never 0.
  uint32_t frame = 1;
  int32_t client_origin_x = 0, client_origin_y = 0;
  uint32_t background_colour = 0;  // pixel value of the back-buffer clear
  int32_t frames_per_second = 0;
  uint32_t frame_count = 0, frame_count_at_last = 0, time_of_last = 0, now = 0;
  platform::ChannelLayout channels;  // of the surface last analysed
  // Red, green and blue maxima of the surface last analysed.
  int32_t red_max = 0, green_max = 0, blue_max = 0;
};

// The back buffer as a program locked it; all 0 when not locked.
struct PixelLock {
  uint32_t pixels = 0;  // 32-bit address of the locked memory
  int32_t width = 0, height = 0, depth = 0, pitch = 0;
  bool Held() const { return pixels != 0; }
};

}  // namespace zv
