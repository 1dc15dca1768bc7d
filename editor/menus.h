#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "editor/glyph_font.h"

namespace zv::editor {

// What a menu item does.
enum class Command {
  kNone, kNew, kOpen, kSave, kSaveAs, kProject, kBuild, kBuildWithMedia, kExit, kRecentFile,
  kUndo, kRedo, kCut, kCopy, kPaste, kSelectAll, kFind, kFindNext, kReplace, kRun, kSource1, kSource2,
  kHelpIndex, kHelpClose, kHelpBack, kHelpForward, kTools
};

struct MenuItem {
  std::string text;  // "-" begins a separator
  std::string shortcut;
  bool enabled = true;
  Command command = Command::kNone;
  int32_t argument = 0;  // the recent file's index
  bool Separator() const { return !text.empty() && text[0] == '-'; }
};

struct Menu {
  std::string title;
  std::vector<MenuItem> items;  // at most 16
  bool enabled = true;
  Command command = Command::kNone;  // what a title without items does when clicked
};

// A bar of menu titles along the top of the editor from x 8, each title on a
// bevel of its width + 8, with one drop-down open at a time at y 40.
class MenuBar {
 public:
  static constexpr int32_t kTitleY = 21;
  static constexpr int32_t kMenuTop = 40;
  static constexpr size_t kMaxItems = 16;

  std::vector<Menu>& Menus() { return menus_; }
  const std::vector<Menu>& Menus() const { return menus_; }

  // Draws the titles when the bar has changed: pressed for the open menu,
  // raised for the one under the mouse.
  void DrawMenuBar(Surface& target, const GlyphFont& font);
  // Draws the open drop-down with the hovered item highlighted.
  void DrawOpenMenu(Surface& target, const GlyphFont& font);

  // The menu (1-based) whose title is at the point, or 0.
  int32_t TitleAt(const GlyphFont& font, int32_t x, int32_t y) const;
  // The item of the open menu at the point, or -1 (also for separators and
  // points outside it).
  int32_t ItemAt(const GlyphFont& font, int32_t x, int32_t y) const;
  // The box of the open drop-down (empty when none is open).
  Rect OpenMenuRect(const GlyphFont& font) const;

  int32_t OpenMenu() const { return open_; }
  void SetOpenMenu(int32_t menu);
  void SetActiveTitle(int32_t menu);  // 0: none
  void SetHoveredItem(int32_t item) { hovered_item_ = item; }
  void MarkChanged() { changed_ = true; }

 private:
  int32_t TitleLeft(const GlyphFont& font, int32_t menu) const;

  std::vector<Menu> menus_;
  int32_t open_ = 0;
  int32_t active_ = 0;
  int32_t hovered_item_ = -1;
  bool changed_ = true;
};

}  // namespace zv::editor
