#include "editor/editor_images.h"

#include <cmath>

#include "editor/editor_colours.h"

namespace zv::editor {
namespace {

// Behind the file list: light, under the dark labels of colour set 2.
constexpr uint32_t kListPaper = 0xE8ECF4;

uint32_t Mix(uint32_t a, uint32_t b, int32_t num, int32_t den) {
  if (den <= 0) return a;
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const int32_t ca = static_cast<int32_t>((a >> shift) & 255), cb = static_cast<int32_t>((b >> shift) & 255);
    out |= static_cast<uint32_t>(ca + (cb - ca) * num / den) << shift;
  }
  return out;
}

// Top to bottom from `top` to `bottom`.
void Gradient(Surface& s, Rect r, uint32_t top, uint32_t bottom) {
  for (int32_t y = r.top; y < r.bottom; ++y)
    FillSurfaceRect(s, {r.left, y, r.right, y + 1}, Mix(top, bottom, y - r.top, std::max(1, r.Height() - 1)));
}

void Disc(Surface& s, int32_t cx, int32_t cy, int32_t radius, uint32_t colour) {
  for (int32_t dy = -radius; dy <= radius; ++dy) {
    const auto half = static_cast<int32_t>(std::sqrt(static_cast<double>(radius * radius - dy * dy)));
    FillSurfaceRect(s, {cx - half, cy + dy, cx + half + 1, cy + dy + 1}, colour);
  }
}

// A bevelled panel with a title band.
void Panel(Surface& s, int32_t width, int32_t height) {
  Gradient(s, {0, 0, width, height}, 0xC4C8D0, 0xA0A4AC);
  Gradient(s, {2, 2, width - 2, 24}, 0xB8CCEC, 0x8CA4D0);
  DrawEdges(s, {0, 0, width, height}, colour::kMenuLight, colour::kPanelDark);
  DrawEdges(s, {1, 1, width - 1, height - 1}, 0xE0E2E6, 0x80848C);
}

// A sunken frame for lists and fields.
void Sunken(Surface& s, Rect r, uint32_t inside) {
  FillSurfaceRect(s, r, inside);
  DrawEdges(s, r, colour::kPanelDark, colour::kMenuLight);
}

SurfacePtr RequesterLarge() {
  SurfacePtr s = MakeEditorSurface(419, 321);
  if (!s) return s;
  Panel(*s, 419, 321);
  Sunken(*s, {14, 26, 389, 159}, kListPaper);  // folder line and list
  Sunken(*s, {389, 26, 407, 172}, 0x808890);  // list scroll bar
  FillSurfaceRect(*s, {15, 44, 388, 45}, 0x40506C);
  return s;
}

SurfacePtr MessageBox() {
  SurfacePtr s = MakeEditorSurface(404, 50);
  if (!s) return s;
  Gradient(*s, {0, 0, 404, 50}, 0xFFF4C0, 0xE8D890);
  DrawEdges(*s, {0, 0, 404, 50}, 0x806020, 0x806020);
  DrawEdges(*s, {1, 1, 403, 49}, 0xFFFFF0, 0xB09040);
  return s;
}

SurfacePtr Requester(int32_t width, int32_t height) {
  SurfacePtr s = MakeEditorSurface(width, height);
  if (s) Panel(*s, width, height);
  return s;
}

SurfacePtr FieldCaret() {
  SurfacePtr s = MakeEditorSurface(2, 15);
  if (s) FillSurfaceRect(*s, s->Bounds(), 0x202028);
  return s;
}

// Icons of the file list: folder, other file, source file, executable, drive.
SurfacePtr ListIcon(int32_t type) {
  SurfacePtr s = MakeEditorSurface(16, 16);
  if (!s) return s;
  Surface& i = *s;
  FillSurfaceRect(i, i.Bounds(), kListPaper);
  auto page = [&](uint32_t paper) {
    FillSurfaceRect(i, {3, 1, 13, 15}, paper);
    DrawEdges(i, {3, 1, 13, 15}, 0xFFFFFF, 0x707070);
    FillSurfaceRect(i, {10, 1, 13, 4}, kListPaper);
    FillSurfaceRect(i, {10, 3, 12, 4}, 0x707070);
  };
  switch (type) {
    case 0:  // folder
      FillSurfaceRect(i, {1, 3, 7, 5}, 0xD8A830);
      FillSurfaceRect(i, {1, 5, 15, 14}, 0xF0C848);
      DrawEdges(i, {1, 5, 15, 14}, 0xFFE898, 0xA07818);
      break;
    case 1:  // other file
      page(0xE8E8E8);
      break;
    case 2:  // source file: a page with coloured lines
      page(0xF4F4F4);
      for (int32_t y = 5, k = 0; y < 14; y += 2, ++k)
        FillSurfaceRect(i, {5, y, 5 + 3 + (k * 3) % 6, y + 1}, k % 2 ? 0x30A040 : 0x3050C0);
      break;
    case 3:  // executable: a small window
      FillSurfaceRect(i, {1, 3, 15, 14}, 0xE0E4F0);
      FillSurfaceRect(i, {1, 3, 15, 6}, 0x2850B0);
      DrawEdges(i, {1, 3, 15, 14}, 0xFFFFFF, 0x404860);
      break;
    default:  // drive
      FillSurfaceRect(i, {1, 5, 15, 12}, 0xA8ACB4);
      DrawEdges(i, {1, 5, 15, 12}, 0xE8E8EC, 0x505460);
      FillSurfaceRect(i, {11, 9, 13, 10}, 0x30E040);
      break;
  }
  return s;
}

// A page turning under a circling dot, one 66 x 66 frame per step.
SurfacePtr PreviewSheet() {
  SurfacePtr s = MakeEditorSurface(9 * kPreviewFrameSize, 4 * kPreviewFrameSize);
  if (!s) return s;
  FillSurfaceRect(*s, s->Bounds(), 0x0C1426);
  for (int32_t n = 0; n < kPreviewFrames; ++n) {
    const int32_t x = (n % 9) * kPreviewFrameSize, y = (n / 9) * kPreviewFrameSize;
    FillSurfaceRect(*s, {x + 17, y + 10, x + 49, y + 56}, 0xF0F0E8);
    for (int32_t row = 0; row < 8; ++row)
      FillSurfaceRect(*s, {x + 21, y + 15 + row * 5, x + 21 + 8 + (row * 7 + n) % 17, y + 17 + row * 5},
                      row % 3 ? 0x3050C0 : 0x30A040);
    const double a = 2.0 * M_PI * n / kPreviewFrames;
    Disc(*s, x + 33 + static_cast<int32_t>(24 * std::cos(a)), y + 33 + static_cast<int32_t>(24 * std::sin(a)), 4,
         0xFFC020);
  }
  return s;
}

SurfacePtr Button(bool down) {
  SurfacePtr s = MakeEditorSurface(240, 23);
  if (!s) return s;
  Gradient(*s, {0, 0, 240, 23}, down ? 0x9098A8 : 0xE4E8F0, down ? 0xB8C0CC : 0xA4ACB8);
  DrawEdges(*s, {0, 0, 240, 23}, down ? 0x404854 : 0xFFFFFF, down ? 0xFFFFFF : 0x404854);
  return s;
}

SurfacePtr ProgressMarker() {
  SurfacePtr s = MakeEditorSurface(21, 35);
  if (!s) return s;
  FillSurfaceRect(*s, s->Bounds(), colour::kGlyphKey);
  s->SetColorKey(platform::ColorKey{colour::kGlyphKey, colour::kGlyphKey});
  for (int32_t y = 0; y < 35; ++y) {
    const int32_t half = 10 - std::abs(17 - y) * 10 / 17;
    FillSurfaceRect(*s, {20 - half, y, 21, y + 1}, Mix(0xFFE070, 0xF08020, y, 34));
  }
  return s;
}

// The progress box: a frame with the full bar from x 13 to 393, y 18 to 53.
SurfacePtr ProgressBox() {
  SurfacePtr s = MakeEditorSurface(406, 72);
  if (!s) return s;
  Panel(*s, 406, 72);
  Gradient(*s, {13, 18, 393, 53}, 0x3C8CE0, 0x1C4C90);
  DrawEdges(*s, {12, 17, 394, 54}, colour::kPanelDark, colour::kMenuLight);
  return s;
}

SurfacePtr ProjectFrame() {
  SurfacePtr s = MakeEditorSurface(419, 146);
  if (!s) return s;
  Gradient(*s, {0, 0, 419, 146}, 0xB8BCC4, 0xA0A4AC);
  Sunken(*s, {12, 30, 407, 132}, 0xD8DCE4);
  return s;
}

SurfacePtr NamePanel() {
  SurfacePtr s = MakeEditorSurface(300, 62);
  if (s) Sunken(*s, s->Bounds(), 0xD8DCE4);
  return s;
}

SurfacePtr ScrollTrack() {
  SurfacePtr s = MakeEditorSurface(15, 402);
  if (!s) return s;
  FillSurfaceRect(*s, s->Bounds(), 0x283450);
  DrawEdges(*s, s->Bounds(), 0x141A28, 0x3C4C70);
  return s;
}

SurfacePtr ScrollThumb() {
  SurfacePtr s = MakeEditorSurface(15, 402);
  if (!s) return s;
  for (int32_t x = 0; x < 15; ++x)
    FillSurfaceRect(*s, {x, 0, x + 1, 402}, Mix(0xA8B8D8, 0x5C6C90, x, 14));
  return s;
}

SurfacePtr Arrow(bool up, bool pressed) {
  SurfacePtr s = MakeEditorSurface(12, 13);
  if (!s) return s;
  FillSurfaceRect(*s, s->Bounds(), pressed ? 0x8C94A4 : colour::kMenuBackground);
  DrawEdges(*s, s->Bounds(), pressed ? colour::kMenuDark : colour::kMenuLight,
            pressed ? colour::kMenuLight : colour::kMenuDark);
  for (int32_t k = 0; k < 4; ++k) {
    const int32_t y = up ? 4 + k : 8 - k;
    FillSurfaceRect(*s, {5 - k, y, 7 + k, y + 1}, 0x202028);
  }
  return s;
}

SurfacePtr TabButton(bool selected) {
  SurfacePtr s = MakeEditorSurface(16, 24);
  if (!s) return s;
  Gradient(*s, s->Bounds(), selected ? 0xFFE080 : 0xD0D4DC, selected ? 0xD8A830 : 0x989CA8);
  DrawEdges(*s, s->Bounds(), selected ? colour::kMenuDark : colour::kMenuLight,
            selected ? colour::kMenuLight : colour::kMenuDark);
  return s;
}

SurfacePtr ToolButton(bool hover) {
  SurfacePtr s = MakeEditorSurface(62, 19);
  if (!s) return s;
  Gradient(*s, s->Bounds(), hover ? 0xFFF0B0 : 0xE0E4EC, hover ? 0xE0B850 : 0xA8B0BC);
  DrawEdges(*s, s->Bounds(), colour::kMenuLight, colour::kMenuDark);
  return s;
}

// The editor page: toolbar band, text area, scroll-bar column and status line.
SurfacePtr Page() {
  SurfacePtr s = MakeEditorSurface(640, 480);
  if (!s) return s;
  Gradient(*s, {0, 0, 640, 42}, 0xDCE0E8, 0xA8B0BC);
  FillSurfaceRect(*s, {0, 41, 640, 42}, colour::kMenuDark);
  FillSurfaceRect(*s, {0, 42, 618, 460}, colour::kTextBackground);
  Gradient(*s, {618, 42, 640, 480}, 0xB4BAC6, 0x9CA2AE);
  FillSurfaceRect(*s, {0, 460, 618, 480}, 0x0C1426);
  FillSurfaceRect(*s, {0, 460, 618, 461}, colour::kMenuDark);
  return s;
}

}  // namespace

EditorImages::EditorImages() {
  auto& i = images_;
  i[image::kRequesterLarge] = RequesterLarge();
  i[image::kMessageBox] = MessageBox();
  i[image::kRequesterFind] = Requester(222, 140);
  i[image::kRequesterQuestion] = Requester(405, 99);
  i[image::kRequesterTools] = Requester(419, 194);
  i[image::kFieldCaret] = FieldCaret();
  for (int32_t type = 0; type < 5; ++type) i[static_cast<size_t>(image::kFirstListIcon + type)] = ListIcon(type);
  i[image::kPreviewSheet] = PreviewSheet();
  i[image::kButtonUp] = Button(false);
  i[image::kButtonDown] = Button(true);
  i[image::kProgressMarker] = ProgressMarker();
  i[image::kProgressBox] = ProgressBox();
  i[image::kProjectFrame] = ProjectFrame();
  i[image::kNamePanel] = NamePanel();
  i[image::kScrollTrack] = ScrollTrack();
  i[image::kScrollThumb] = ScrollThumb();
  i[image::kArrowUp] = Arrow(true, false);
  i[image::kArrowUpPressed] = Arrow(true, true);
  i[image::kArrowDown] = Arrow(false, false);
  i[image::kArrowDownPressed] = Arrow(false, true);
  i[image::kTabButton] = TabButton(false);
  i[image::kTabButtonSelected] = TabButton(true);
  i[image::kToolButton] = ToolButton(false);
  i[image::kToolButtonHover] = ToolButton(true);
  i[image::kPage] = Page();
}

Surface* EditorImages::Get(int32_t number) const {
  if (number < 0 || number >= image::kCount) return nullptr;
  return images_[static_cast<size_t>(number)].get();
}

void EditorImages::Drop(int32_t number) {
  if (number >= 0 && number < image::kCount) images_[static_cast<size_t>(number)].reset();
}

}  // namespace zv::editor
