#include "editor/editor.h"

#include <algorithm>

#include "editor/help/help_pages.h"
#include "editor/language_texts.h"

namespace zv::editor {
namespace {

namespace key = platform::key;
constexpr int32_t kPageUp = 33;
constexpr int32_t kPageDown = 34;
constexpr int32_t kEnd = 35;
constexpr int32_t kHome = 36;
constexpr int32_t kF3 = key::kF1 + 2;
constexpr int32_t kF5 = key::kF1 + 4;
constexpr int32_t kWheelLines = 3;
constexpr int32_t kHelpShownHeight = 417;
// The help scrolls by whole rows of its layout cache, so a page is exactly
// so many rows and every position is one a row begins at.
constexpr int32_t kHelpRow = HelpViewer::kRowUnit;
constexpr int32_t kHelpPage = (HelpViewer::kVisibleHeight / kHelpRow - 1) * kHelpRow;
constexpr int32_t kHelpWheelRows = 2;

bool Inside(int32_t x, int32_t y, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return x >= left && x < right && y >= top && y < bottom;
}

}  // namespace

void Editor::HandleEvent(const platform::WindowEvent& event) {
  using platform::WindowEventKind;
  if (!Ready()) {
    if (event.kind == WindowEventKind::kClose) QuitKeepingChanges();
    return;
  }
  // Before an event that may wait long (a run, a build), what it would lose.
  NoteChanges();
  if (event.kind == WindowEventKind::kKeyDown || event.kind == WindowEventKind::kMouseDown ||
      event.kind == WindowEventKind::kMouseWheel)
    view_->PutAwayStatusPanel();
  switch (event.kind) {
    case WindowEventKind::kClose:
      // Kept work asked about stays for a later start, as Escape leaves it;
      // the close goes on as ever.
      if (mode_ == mode::kOpenAutosave) AnswerAutosave(AutosaveAnswer::kLater);
      RunCommand(Command::kExit);
      break;
    case WindowEventKind::kKeyDown: KeyDown(event.a, event.modifiers); break;
    case WindowEventKind::kCharacter: Character(event.a, event.modifiers); break;
    case WindowEventKind::kMouseMove: {
      const platform::Point p = display_.Presenter().ClientToPicture({event.x, event.y});
      MouseMove(p.x, p.y);
      break;
    }
    case WindowEventKind::kMouseDown:
      if (event.a == platform::mouse_button::kLeft) {
        const platform::Point p = display_.Presenter().ClientToPicture({event.x, event.y});
        MouseMove(p.x, p.y);
        MouseDown(p.x, p.y, (event.modifiers & platform::modifier::kShift) != 0);
      }
      break;
    case WindowEventKind::kMouseUp:
      if (event.a == platform::mouse_button::kLeft) MouseUp();
      break;
    case WindowEventKind::kMouseWheel: Wheel(event.a); break;
    case WindowEventKind::kActivate:
      // Coming back to the window ends an open requester, but not a question.
      if (requester_->IsOpen() && requester_->Kind() != kind::kQuestion) {
        requester_->SetMessage({});
        CloseRequester();
      }
      [[fallthrough]];
    case WindowEventKind::kPaint:
      view_->MarkRowsDirty();
      help_changed_ = true;
      requester_->MarkForRedraw();
      break;
    default: break;
  }
}

// ---- Keys -----------------------------------------------------------------------------------

bool Editor::ShortcutKey(int32_t k, int32_t modifiers) {
  if (modifiers & platform::modifier::kControl) {
    switch (k) {
      case 'N': RunCommand(Command::kNew); return true;
      case 'O': RunCommand(Command::kOpen); return true;
      case 'S': RunCommand(Command::kSave); return true;
      case 'Z': RunCommand(modifiers & platform::modifier::kShift ? Command::kRedo : Command::kUndo); return true;
      case 'Y': RunCommand(Command::kRedo); return true;
      case 'X': RunCommand(Command::kCut); return true;
      case 'C': RunCommand(Command::kCopy); return true;
      case 'V': RunCommand(Command::kPaste); return true;
      case 'A': RunCommand(Command::kSelectAll); return true;
      case 'F': RunCommand(Command::kFind); return true;
      case 'R': RunCommand(Command::kReplace); return true;
      case '1': RunCommand(Command::kSource1); return true;
      case '2': RunCommand(Command::kSource2); return true;
    }
  }
  switch (k) {
    case key::kF1: RunCommand(Command::kHelpIndex); return true;
    case kF3: RunCommand(Command::kFindNext); return true;
    case kF5: RunCommand(Command::kRun); return true;
  }
  return false;
}

void Editor::Move(Motion motion, bool extend_selection) {
  SourceDocument& d = Live();
  MoveCursor(d.buffer, motion, extend_selection, d.anchor, layout::kRows);
  RefreshAfterEdit(TextChange::kAllLines);
}

void Editor::KeyDown(int32_t k, int32_t modifiers) {
  const bool modifier_key = k == key::kShift || k == key::kControl || k == key::kAlt;
  if (mode_ == mode::kOpenAutosave && k != key::kEscape && !modifier_key) PutOffOffer();
  if (!requester_->IsOpen() && !modifier_key) last_typed_ms_ = NowMs();
  if (requester_->IsOpen()) {
    if (!requester_->KeyDown(k)) return;
    // Escape: an autosave offered is left for a later start.
    if (mode_ == mode::kOpenAutosave) {
      AnswerAutosave(AutosaveAnswer::kLater);
    } else {
      CloseRequester();
    }
    return;
  }
  if (help_view_) {
    HelpKeyDown(k, modifiers);
    return;
  }
  if (view_->Menus().OpenMenu() != 0) {
    if (k == key::kEscape) view_->Menus().SetOpenMenu(0);
    return;
  }
  if (ShortcutKey(k, modifiers)) return;
  const bool control = (modifiers & platform::modifier::kControl) != 0;
  const bool shift = (modifiers & platform::modifier::kShift) != 0;
  switch (k) {
    case key::kLeft: Move(Motion::kLeft, shift); break;
    case key::kRight: Move(Motion::kRight, shift); break;
    case key::kUp: Move(Motion::kUp, shift); break;
    case key::kDown: Move(Motion::kDown, shift); break;
    case kHome: Move(control ? Motion::kTextStart : Motion::kLineStart, shift); break;
    case kEnd: Move(control ? Motion::kTextEnd : Motion::kLineEnd, shift); break;
    case kPageUp: Move(Motion::kPageUp, shift); break;
    case kPageDown: Move(Motion::kPageDown, shift); break;
    case key::kDelete: Edit(EditKind::kDeleting, DeleteForward); break;
  }
}

void Editor::Character(int32_t c, int32_t modifiers) {
  // A character typed with Control held belongs to its shortcut.
  if (modifiers & platform::modifier::kControl) return;
  if (mode_ == mode::kOpenAutosave) PutOffOffer();
  if (!requester_->IsOpen()) last_typed_ms_ = NowMs();
  if (requester_->IsOpen()) {
    if (c == key::kEnter) {
      RequesterReturn();
    } else {
      requester_->Character(c);
    }
    return;
  }
  if (help_view_) return;
  if (view_->Menus().OpenMenu() != 0) view_->Menus().SetOpenMenu(0);
  if (c == key::kBackspace) {
    Edit(EditKind::kDeleting, DeleteBackward);
  } else if (c == key::kEnter) {
    Edit(EditKind::kOther, [](SourceBuffer& b) { return InsertText(b, "\n"); });
  } else if (c == key::kTab || (c >= 32 && c < 256)) {
    const std::string text(1, static_cast<char>(c));
    Edit(EditKind::kTyping, [&text](SourceBuffer& b) { return InsertText(b, text); });
  }
}

// ---- Mouse ----------------------------------------------------------------------------------

int32_t Editor::ControlAt(int32_t x, int32_t y) const {
  const MenuBar& menus = help_view_ ? help_menus_ : view_->Menus();
  if (int32_t title = const_cast<MenuBar&>(menus).TitleAt(*font_, x, y)) return control::kFirstMenuTitle + title - 1;
  if (Inside(x, y, layout::kRunButtonX, layout::kToolButtonY, layout::kRunButtonX + 62, layout::kToolButtonY + 19))
    return control::kRunButton;
  if (Inside(x, y, layout::kHelpButtonX, layout::kToolButtonY, layout::kHelpButtonX + 62, layout::kToolButtonY + 19))
    return control::kHelpButton;
  if (Inside(x, y, layout::kArrowX, layout::kArrowUpY, layout::kArrowX + 12, layout::kArrowUpY + 13))
    return control::kArrowUp;
  if (Inside(x, y, layout::kArrowX, layout::kArrowDownY, layout::kArrowX + 12, layout::kArrowDownY + 13))
    return control::kArrowDown;
  if (Inside(x, y, layout::kTab1X, layout::kTabY, layout::kTab1X + 16, layout::kTabY + 24)) return control::kTab1;
  if (Inside(x, y, layout::kTab2X, layout::kTabY, layout::kTab2X + 16, layout::kTabY + 24)) return control::kTab2;
  return control::kNone;
}

void Editor::MouseMove(int32_t x, int32_t y) {
  mouse_x_ = x;
  mouse_y_ = y;
  if (requester_->IsOpen()) return;
  const int32_t hovered = ControlAt(x, y);
  if (hovered != view_->Hovered()) view_->SetHovered(hovered);
  MenuBar& menus = help_view_ ? help_menus_ : view_->Menus();
  if (menus.OpenMenu() != 0) {
    const int32_t title = hovered - control::kFirstMenuTitle + 1;
    if (title >= 1 && title <= static_cast<int32_t>(menus.Menus().size()) && title != menus.OpenMenu() &&
        !menus.Menus()[static_cast<size_t>(title - 1)].items.empty())
      menus.SetOpenMenu(title);
    menus.SetHoveredItem(menus.ItemAt(*font_, x, y));
  }
  if (selecting_by_mouse_ && !help_view_) {
    int32_t line = 0, column = 0;
    view_->PositionAt(x, std::clamp(y, layout::kTextTop - 1, layout::kTextBottom), &line, &column);
    SourceDocument& d = Live();
    if (line != d.buffer.cursor_line || column != d.buffer.cursor_column) {
      PlaceCursor(d.buffer, {line, column}, true, d.anchor);
      RefreshAfterEdit(TextChange::kAllLines);
    }
  }
}

void Editor::MouseDown(int32_t x, int32_t y, bool extend_selection) {
  mouse_down_ = true;
  if (requester_->IsOpen()) {
    RequesterClick(x, y);
    return;
  }
  MenuBar& menus = help_view_ ? help_menus_ : view_->Menus();
  if (menus.OpenMenu() != 0) {
    const Menu& open = menus.Menus()[static_cast<size_t>(menus.OpenMenu() - 1)];
    const int32_t item = menus.ItemAt(*font_, x, y);
    menus.SetOpenMenu(0);
    if (item >= 0 && open.items[static_cast<size_t>(item)].enabled) {
      const MenuItem chosen = open.items[static_cast<size_t>(item)];
      RunCommand(chosen.command, chosen.argument);
    }
    return;
  }
  if (int32_t title = menus.TitleAt(*font_, x, y)) {
    const Menu& menu = menus.Menus()[static_cast<size_t>(title - 1)];
    if (!menu.enabled) return;
    // A title without items (the help's Back and Forward) acts at once.
    if (menu.items.empty())
      RunCommand(menu.command);
    else
      menus.SetOpenMenu(title);
    return;
  }
  switch (ControlAt(x, y)) {
    case control::kRunButton: RunCommand(Command::kRun); return;
    case control::kHelpButton: RunCommand(help_view_ ? Command::kHelpClose : Command::kHelpIndex); return;
    case control::kTab1: RunCommand(Command::kSource1); return;
    case control::kTab2: RunCommand(Command::kSource2); return;
  }
  if (help_view_) {
    HelpClick(x, y);
    return;
  }
  SourceDocument& d = Live();
  SourceBuffer& b = d.buffer;
  switch (ControlAt(x, y)) {
    case control::kArrowUp:
      view_->ScrollUpOneLine();
      UpdateCaret();
      return;
    case control::kArrowDown:
      if (b.top_line + layout::kRows < b.LineCount()) view_->ScrollDownOneLine();
      UpdateCaret();
      return;
  }
  if (Inside(x, y, layout::kTrackX, layout::kTrackY, 640, layout::kTrackY + layout::kTrackHeight)) {
    const Rect& thumb = view_->ThumbRect();
    if (y >= thumb.top && y < thumb.bottom) {
      view_->StartThumbDrag(y);
    } else {
      const int32_t top = y < thumb.top ? b.top_line - layout::kRows : b.top_line + layout::kRows;
      view_->SetTopLine(std::clamp(top, 0, std::max(b.LineCount() - layout::kRows, 0)));
      UpdateCaret();
    }
    return;
  }
  if (Inside(x, y, 0, layout::kTextTop, layout::kTextRight, layout::kTextBottom)) {
    int32_t line = 0, column = 0;
    view_->PositionAt(x, y, &line, &column);
    PlaceCursor(b, {line, column}, extend_selection, d.anchor);
    if (!b.HasSelection()) d.anchor = {line, column};
    selecting_by_mouse_ = true;
    RefreshAfterEdit(TextChange::kAllLines);
  }
}

void Editor::MouseUp() {
  mouse_down_ = false;
  selecting_by_mouse_ = false;
}

void Editor::Wheel(int32_t steps) {
  if (requester_->IsOpen()) {
    requester_->Wheel(steps);
    return;
  }
  if (help_view_) {
    ScrollHelp(-steps * kHelpWheelRows * kHelpRow);
    return;
  }
  SourceBuffer& b = Live().buffer;
  const int32_t top = std::clamp(b.top_line - steps * kWheelLines, 0, std::max(b.LineCount() - layout::kRows, 0));
  if (top != b.top_line) view_->SetTopLine(top);
  UpdateCaret();
}

void Editor::RequesterClick(int32_t x, int32_t y) {
  if (!requester_->Message().empty()) {
    requester_->SetMessage({});
    requester_->ReleaseButtons();
    if (mode_ == mode::kMessage) CloseRequester();
    return;
  }
  const RequesterHit hit = requester_->HitTest(x, y);
  const int32_t result = hit.open_list_file ? ResultOf(2) : ResultOf(hit.button);
  if (result == mode::kTools) pending_tool_ = hit.button - 2;
  if (result >= 1) {
    requester_->MarkForRedraw();
    DrawEditorScreen();
    RunResult(result);
  }
}

// Return does what the requester's default button does: it confirms a
// name, a search or the tool list; in the replace requester's search field
// it goes on to the replacement. A message shown is put away as a click
// would put it away. A question waits for a click on its answer.
void Editor::RequesterReturn() {
  if (!requester_->Message().empty()) {
    requester_->SetMessage({});
    if (mode_ == mode::kMessage) CloseRequester();
    return;
  }
  const int32_t k = requester_->Kind();
  if (k == kind::kQuestion) return;
  if (k == kind::kReplace && requester_->ActiveField() == 1) {
    requester_->CommitField();
    requester_->ActivateField(2);
    return;
  }
  const int32_t result = ResultOf(k == kind::kTools ? 1 : 2);
  requester_->MarkForRedraw();
  RunResult(result);
}

// ---- The help view ----------------------------------------------------------------------------

void Editor::ScrollHelp(int32_t pixels) {
  // The screen shows 417 rows of the page below the menu bar; the last
  // position is the first whole row that shows the page's end.
  const int32_t beyond = std::max(help_->PageHeight() - kHelpShownHeight, 0);
  const int32_t limit = (beyond + kHelpRow - 1) / kHelpRow * kHelpRow;
  const int32_t scroll = std::clamp(help_->ScrollPosition() + pixels, 0, limit);
  if (scroll != help_->ScrollPosition()) {
    help_->SetScrollPosition(scroll);
    help_changed_ = true;
  }
}

void Editor::HelpKeyDown(int32_t k, int32_t modifiers) {
  if (help_menus_.OpenMenu() != 0 && k == key::kEscape) {
    help_menus_.SetOpenMenu(0);
    return;
  }
  // Back and Forward on the keys a browser has for them.
  const bool alt = (modifiers & platform::modifier::kAlt) != 0;
  if (k == key::kBackspace || (alt && k == key::kLeft)) return RunCommand(Command::kHelpBack);
  if (alt && k == key::kRight) return RunCommand(Command::kHelpForward);
  switch (k) {
    case key::kEscape: LeaveHelpView(); break;
    case key::kF1: RunCommand(Command::kHelpIndex); break;
    case key::kUp: ScrollHelp(-kHelpRow); break;
    case key::kDown: ScrollHelp(kHelpRow); break;
    case kPageUp: ScrollHelp(-kHelpPage); break;
    case kPageDown: ScrollHelp(kHelpPage); break;
    case kHome: ScrollHelp(-help_->ScrollPosition()); break;
    case kEnd: ScrollHelp(help_->PageHeight()); break;
  }
}

void Editor::HelpClick(int32_t x, int32_t y) {
  switch (ControlAt(x, y)) {
    case control::kArrowUp: ScrollHelp(-kHelpRow); return;
    case control::kArrowDown: ScrollHelp(kHelpRow); return;
  }
  if (Inside(x, y, layout::kTrackX, layout::kTrackY, 640, layout::kTrackY + layout::kTrackHeight)) {
    const Rect& thumb = view_->ThumbRect();
    if (y < thumb.top) ScrollHelp(-kHelpPage);
    if (y >= thumb.bottom) ScrollHelp(kHelpPage);
    if (y >= thumb.top && y < thumb.bottom) view_->StartThumbDrag(y);
    return;
  }
  if (!Inside(x, y, 0, 42, 616, 459)) return;
  const HelpLink* link = help_->LinkAt(x, y - 42);
  if (!link || link->target.empty()) return;
  const std::string target = link->target;
  if (help_->OpenPage(target)) {
    help_changed_ = true;
    SetStatus(help_->PageName());
    return;
  }
  if (IsHelpProgramLink(target)) {
    pending_link_ = target;
    OpenQuestion(mode::kOpenExample, std::string(LanguageText(Text::kAskOpenExample)));
    return;
  }
  SetStatus(std::string(LanguageText(Text::kHelpMissing)) + " " + target);
}

}  // namespace zv::editor
