#include "editor/menus.h"

#include <algorithm>

#include "editor/editor_colours.h"

namespace zv::editor {
namespace {

constexpr int32_t kItemHeight = 16;

int32_t MenuWidth(const GlyphFont& font, const Menu& menu) {
  int32_t width = 96;
  for (const MenuItem& item : menu.items)
    width = std::max(width, font.TextWidth(item.text) + font.TextWidth(item.shortcut) + 32);
  return width;
}

}  // namespace

int32_t MenuBar::TitleLeft(const GlyphFont& font, int32_t menu) const {
  int32_t x = 8;
  for (int32_t m = 1; m < menu && m <= static_cast<int32_t>(menus_.size()); ++m)
    x += font.TextWidth(menus_[static_cast<size_t>(m - 1)].title) + 8;
  return x;
}

void MenuBar::SetOpenMenu(int32_t menu) {
  if (menu != open_) changed_ = true;
  open_ = menu;
  hovered_item_ = -1;
}

void MenuBar::SetActiveTitle(int32_t menu) {
  if (menu != active_) changed_ = true;
  active_ = menu;
}

void MenuBar::DrawMenuBar(Surface& target, const GlyphFont& font) {
  if (!changed_) return;
  changed_ = false;
  int32_t x = 8;
  for (size_t i = 0; i < menus_.size(); ++i) {
    const int32_t menu = static_cast<int32_t>(i) + 1;
    const int32_t width = font.TextWidth(menus_[i].title) + 8;
    const BevelKind kind = menu == open_ ? BevelKind::kPressed : menu == active_ ? BevelKind::kRaised : BevelKind::kFlat;
    DrawBevel(target, kind, x, kTitleY, width);
    font.DrawText(target, menus_[i].title, menus_[i].enabled ? 5 : 6, x + 3, kTitleY);
    x += width;
  }
}

Rect MenuBar::OpenMenuRect(const GlyphFont& font) const {
  if (open_ < 1 || open_ > static_cast<int32_t>(menus_.size())) return {};
  const Menu& menu = menus_[static_cast<size_t>(open_ - 1)];
  const int32_t x0 = TitleLeft(font, open_);
  const int32_t height = kItemHeight * static_cast<int32_t>(menu.items.size()) + 7;
  return Rect{x0, kMenuTop, x0 + MenuWidth(font, menu), kMenuTop + height};
}

void MenuBar::DrawOpenMenu(Surface& target, const GlyphFont& font) {
  const Rect box = OpenMenuRect(font);
  if (box.Empty()) return;
  const Menu& menu = menus_[static_cast<size_t>(open_ - 1)];
  FillSurfaceRect(target, box, colour::kMenuBackground);
  DrawEdges(target, box, colour::kMenuLight, colour::kMenuDark);
  for (size_t i = 0; i < menu.items.size(); ++i) {
    const MenuItem& item = menu.items[i];
    const int32_t y = 42 + kItemHeight * static_cast<int32_t>(i);
    if (item.Separator()) {
      FillSurfaceRect(target, {box.left + 5, y + 7, box.right - 5, y + 8}, colour::kMenuDark);
      FillSurfaceRect(target, {box.left + 5, y + 8, box.right - 5, y + 9}, colour::kMenuLight);
      continue;
    }
    const bool hovered = static_cast<int32_t>(i) == hovered_item_ && item.enabled;
    const int32_t set = hovered ? 2 : item.enabled ? 5 : 6;
    font.DrawText(target, item.text, set, box.left + 5, y, hovered, box.right - 5);
    const int32_t shortcut_x = box.right - 6 - font.TextWidth(item.shortcut);
    font.DrawText(target, item.shortcut, hovered ? 3 : set, shortcut_x, y);
  }
}

int32_t MenuBar::TitleAt(const GlyphFont& font, int32_t x, int32_t y) const {
  if (y < kTitleY || y >= kTitleY + 17) return 0;
  int32_t left = 8;
  for (size_t i = 0; i < menus_.size(); ++i) {
    const int32_t width = font.TextWidth(menus_[i].title) + 8;
    if (x >= left && x < left + width) return static_cast<int32_t>(i) + 1;
    left += width;
  }
  return 0;
}

int32_t MenuBar::ItemAt(const GlyphFont& font, int32_t x, int32_t y) const {
  const Rect box = OpenMenuRect(font);
  if (box.Empty() || x < box.left || x >= box.right || y < 42 || y >= box.bottom - 5) return -1;
  const auto item = static_cast<size_t>((y - 42) / kItemHeight);
  const Menu& menu = menus_[static_cast<size_t>(open_ - 1)];
  if (item >= menu.items.size() || menu.items[item].Separator()) return -1;
  return static_cast<int32_t>(item);
}

}  // namespace zv::editor
