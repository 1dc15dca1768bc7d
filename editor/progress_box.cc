#include "editor/progress_box.h"

#include <algorithm>
#include <string>

#include "editor/language_texts.h"

namespace zv::editor {
namespace {

constexpr int32_t kBarLeft = ProgressBox::kBoxX + 13;  // 130
constexpr int32_t kBarRight = 510;
constexpr int32_t kBarTop = 238;
constexpr int32_t kBarBottom = 273;
constexpr int32_t kTextCentre = 310;
constexpr int32_t kTextY = 249;

}  // namespace

bool ProgressBox::DrawProgressFrame() {
  Surface* box = images_.Get(image::kProgressBox);
  if (!box || !display_.Ready()) return false;
  BltFastWhole(display_.BackBuffer(), screen_);
  BltFastAt(display_.BackBuffer(), kBoxX, kBoxY, *box, 0);
  return true;
}

void ProgressBox::DrawProgressBox(int percent) {
  if (!DrawProgressFrame()) return;
  percent = std::clamp(percent, 0, 100);
  Surface& back = display_.BackBuffer();
  const int32_t empty_left = kBarLeft + static_cast<int32_t>(percent * 3.8);
  FillSurfaceRect(back, Rect{empty_left, kBarTop, kBarRight, kBarBottom}, 0);
  if (Surface* marker = images_.Get(image::kProgressMarker)) BltFastAt(back, empty_left - 21, 239, *marker, kSourceKey);
  const std::string text = std::to_string(percent) + " " + std::string(LanguageText(Text::kPercent));
  font_.DrawText(back, text, 0, kTextCentre - font_.TextWidth(text) / 2, kTextY);
  display_.PresentFrame();
}

void ProgressBox::ShowProgressText(std::string_view text) {
  if (!DrawProgressFrame()) return;
  Surface& back = display_.BackBuffer();
  if (Surface* marker = images_.Get(image::kProgressMarker)) BltFastAt(back, 489, 239, *marker, kSourceKey);
  font_.DrawText(back, text, 0, kTextCentre - font_.TextWidth(text) / 2, kTextY);
  display_.PresentFrame();
}

}  // namespace zv::editor
