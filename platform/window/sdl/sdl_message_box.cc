#include "platform/window/sdl/sdl_message_box.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/signals/stop_signals.h"
#include "platform/surface/surface.h"
#include "platform/text/mono_glyph.h"
#include "platform/text/text_service.h"
#include "platform/window/sdl/sdl_library.h"
#include "platform/window/sdl/sdl_title.h"

namespace zv::platform {
namespace {

constexpr int32_t kMargin = 16;
constexpr int32_t kMaxTextWidth = 640;
constexpr int32_t kMinWidth = 240;
constexpr int32_t kButtonWidth = 88, kButtonHeight = 26;
constexpr int32_t kIconSize = 32;
constexpr uint32_t kWaitMs = 100;

// The text in lines no wider than the limit, broken at blanks where a line
// is too wide (a word wider than the limit keeps a line of its own).
std::vector<std::string> WrapText(Font& font, std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view paragraph = text.substr(start, end - start);
    if (!paragraph.empty() && paragraph.back() == '\r') paragraph.remove_suffix(1);
    std::string line;
    size_t word_start = 0;
    while (word_start <= paragraph.size()) {
      size_t word_end = paragraph.find(' ', word_start);
      if (word_end == std::string_view::npos) word_end = paragraph.size();
      std::string_view word = paragraph.substr(word_start, word_end - word_start);
      std::string longer = line.empty() ? std::string(word) : line + " " + std::string(word);
      if (!line.empty() && font.Measure(longer).width > kMaxTextWidth) {
        lines.push_back(line);
        line = std::string(word);
      } else {
        line = std::move(longer);
      }
      word_start = word_end + 1;
    }
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

struct BoxLayout {
  int32_t width = 0, height = 0;
  int32_t text_left = 0;
  Rect button;
};

BoxLayout LayOut(Font& font, const std::vector<std::string>& lines, bool with_icon) {
  int32_t text_width = 0;
  for (const std::string& line : lines) text_width = std::max(text_width, font.Measure(line).width);
  const int32_t line_height = font.Metrics().height;
  BoxLayout box;
  box.text_left = kMargin + (with_icon ? kIconSize + kMargin : 0);
  box.width = std::max(kMinWidth, box.text_left + text_width + kMargin);
  const int32_t text_height = std::max<int32_t>(line_height * static_cast<int32_t>(lines.size()),
                                                with_icon ? kIconSize : 0);
  const int32_t button_top = kMargin + text_height + kMargin;
  box.height = button_top + kButtonHeight + kMargin;
  const int32_t button_left = (box.width - kButtonWidth) / 2;
  box.button = Rect{button_left, button_top, button_left + kButtonWidth, button_top + kButtonHeight};
  return box;
}

// A red disc with a white bar across it: the mark of an error.
void DrawErrorMark(Surface& surface, int32_t left, int32_t top) {
  const PixelFormat& f = surface.Format();
  const uint32_t red = PackRgb(f, 0xC4, 0x2B, 0x1C), white = PackRgb(f, 0xFF, 0xFF, 0xFF);
  const int32_t r = kIconSize / 2;
  for (int32_t y = 0; y < kIconSize; ++y)
    for (int32_t x = 0; x < kIconSize; ++x) {
      const int32_t dx = x - r, dy = y - r;
      if (dx * dx + dy * dy > r * r) continue;
      const bool bar = std::abs(dy) <= 2 && std::abs(dx) <= r / 2;
      FillClipped(surface, Rect{left + x, top + y, left + x + 1, top + y + 1}, bar ? white : red);
    }
}

SurfacePtr DrawBox(Font& font, const std::vector<std::string>& lines, const BoxLayout& box, bool error) {
  SurfaceDesc desc;
  desc.width = box.width;
  desc.height = box.height;
  desc.format = PixelFormat::Xrgb8888();
  SurfacePtr surface = Surface::Create(desc);
  if (!surface) return nullptr;
  const PixelFormat& f = surface->Format();
  const uint32_t paper = PackRgb(f, 0xF0, 0xF0, 0xF0), ink = PackRgb(f, 0, 0, 0);
  FillClipped(*surface, RectOfSize(box.width, box.height), paper);
  if (error) DrawErrorMark(*surface, kMargin, kMargin);
  int32_t y = kMargin;
  for (const std::string& line : lines) {
    font.Draw(*surface, box.text_left, y, line, TextColours{ink, paper, false});
    y += font.Metrics().height;
  }
  const Rect& b = box.button;
  FillClipped(*surface, b, PackRgb(f, 0x70, 0x70, 0x70));
  FillClipped(*surface, Rect{b.left + 1, b.top + 1, b.right - 1, b.bottom - 1}, PackRgb(f, 0xE1, 0xE1, 0xE1));
  const Size ok = font.Measure("OK");
  font.Draw(*surface, b.left + (b.Width() - ok.width) / 2, b.top + (b.Height() - ok.height) / 2, "OK",
            TextColours{ink, paper, false});
  return surface;
}

void Present(SDL_Renderer* renderer, SDL_Texture* texture) {
  Sdl().SDL_RenderClear(renderer);
  Sdl().SDL_RenderCopy(renderer, texture, nullptr, nullptr);
  Sdl().SDL_RenderPresent(renderer);
}

bool Inside(const Rect& r, int32_t x, int32_t y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

// True when the event asks the program to go: the quit event, or the owner
// window closed.
bool EndsTheProgram(const SDL_Event& e, Uint32 owner_id) {
  return e.type == SDL_QUIT || (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_CLOSE &&
                                owner_id != 0 && e.window.windowID == owner_id);
}

// True when the user closes the box with the event.
bool Closes(const SDL_Event& e, Uint32 box_id, const Rect& button) {
  switch (e.type) {
    case SDL_WINDOWEVENT:
      return e.window.event == SDL_WINDOWEVENT_CLOSE && e.window.windowID == box_id;
    case SDL_KEYDOWN:
      if (e.key.windowID != box_id) return false;
      switch (e.key.keysym.scancode) {
        case SDL_SCANCODE_RETURN:
        case SDL_SCANCODE_KP_ENTER:
        case SDL_SCANCODE_ESCAPE:
        case SDL_SCANCODE_SPACE:
          return true;
        default:
          return false;
      }
    case SDL_MOUSEBUTTONUP:
      return e.button.windowID == box_id && e.button.button == SDL_BUTTON_LEFT &&
             Inside(button, e.button.x, e.button.y);
  }
  return false;
}

struct BoxWindow {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  ~BoxWindow() {
    if (texture) Sdl().SDL_DestroyTexture(texture);
    if (renderer) Sdl().SDL_DestroyRenderer(renderer);
    if (window) Sdl().SDL_DestroyWindow(window);
  }
};

}  // namespace

bool RunSdlMessageBox(SDL_Window* owner, std::string_view title, std::string_view text, MessageBoxIcon icon) {
  if (StopSignal() != 0) return true;
  std::unique_ptr<TextService> text_service = CreateTextService();
  FontPtr font = text_service->CreateFont(FontRequest{"DejaVu Sans", -13});
  const std::vector<std::string> lines = WrapText(*font, text);
  const bool error = icon == MessageBoxIcon::kError;
  const BoxLayout layout = LayOut(*font, lines, error);
  SurfacePtr picture = DrawBox(*font, lines, layout, error);
  if (!picture) return false;

  BoxWindow box;
  box.window = Sdl().SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, layout.width, layout.height,
                                      SDL_WINDOW_ALWAYS_ON_TOP | SDL_WINDOW_HIDDEN);
  if (!box.window) return false;
  if (owner) Sdl().SDL_SetWindowModalFor(box.window, owner);
  box.renderer = Sdl().SDL_CreateRenderer(box.window, -1, SDL_RENDERER_SOFTWARE);
  if (!box.renderer) return false;
  box.texture = Sdl().SDL_CreateTexture(box.renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STATIC, layout.width,
                                        layout.height);
  if (!box.texture || Sdl().SDL_UpdateTexture(box.texture, nullptr, picture->Row(0), picture->Pitch()) != 0)
    return false;
  // Named once the window is made (making its renderer names it again in
  // SDL's way) and before it shows, so the desktop never sees another name.
  SetSdlWindowTitle(box.window, title);
  Sdl().SDL_ShowWindow(box.window);
  Sdl().SDL_RaiseWindow(box.window);
  Present(box.renderer, box.texture);

  const Uint32 box_id = Sdl().SDL_GetWindowID(box.window), owner_id = owner ? Sdl().SDL_GetWindowID(owner) : 0;
  while (StopSignal() == 0) {
    SDL_Event e;
    if (!Sdl().SDL_WaitEventTimeout(&e, kWaitMs)) continue;
    if (EndsTheProgram(e, owner_id)) return true;
    if (Closes(e, box_id, layout.button)) return false;
    if (e.type == SDL_WINDOWEVENT && e.window.windowID == box_id && e.window.event == SDL_WINDOWEVENT_EXPOSED)
      Present(box.renderer, box.texture);
  }
  return true;
}

}  // namespace zv::platform
