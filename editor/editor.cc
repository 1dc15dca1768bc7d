#include "editor/editor.h"

#include <algorithm>
#include <filesystem>

#include "editor/editor_colours.h"
#include "editor/language_texts.h"
#include "platform/text/system_text.h"

namespace zv::editor {
namespace {

MenuItem Item(Text text, std::string shortcut, Command command) {
  return MenuItem{Label(text), std::move(shortcut), true, command, 0};
}
MenuItem Separator() { return MenuItem{"-", {}, true, Command::kNone, 0}; }

}  // namespace

Editor::Editor(EditorDisplay& display, platform::Window& window, platform::Clipboard& clipboard,
               platform::TextService& text, EditorOptions options)
    : display_(display), window_(window), clipboard_(clipboard), options_(std::move(options)) {
  font_ = GlyphFont::Create(text);
  if (font_) font_->SetRightToLeft(kLanguageCharset == kHebrewCharset);
  images_ = std::make_unique<EditorImages>();
  requester_ = std::make_unique<EditorScreen>(*font_, *images_);
  help_ = std::make_unique<HelpViewer>();
  if (!font_) return;
  view_ = std::make_unique<EditorView>(*font_, *images_);
  progress_ = std::make_unique<ProgressBox>(display_, view_->Screen(), *images_, *font_);
  // The help is drawn on the page surface, which the view owns.
  if (view_->Ready()) help_->SetTarget(std::shared_ptr<Surface>(&view_->Page(), [](Surface*) {}));
  for (SourceDocument& d : documents_) d.folder = options_.app_folder;
  view_->SetBuffer(Live().buffer);
  BuildMenus();
  ShowFileStatus();
  RestoreView();
}

Editor::~Editor() = default;

bool Editor::Ready() const { return font_ && view_ && view_->Ready() && display_.Ready() && temp_.Valid(); }

// ---- Menus ---------------------------------------------------------------------------------

void Editor::BuildMenus() {
  std::vector<Menu>& menus = view_->Menus().Menus();
  menus.clear();
  menus.push_back({Label(Text::kMenuFile), {}, true});
  menus.push_back({Label(Text::kMenuEdit),
                   {Item(Text::kItemUndo, "Ctrl+Z", Command::kUndo), Item(Text::kItemRedo, "Ctrl+Y", Command::kRedo), Separator(),
                    Item(Text::kItemCut, "Ctrl+X", Command::kCut), Item(Text::kItemCopy, "Ctrl+C", Command::kCopy),
                    Item(Text::kItemPaste, "Ctrl+V", Command::kPaste), Separator(),
                    Item(Text::kItemSelectAll, "Ctrl+A", Command::kSelectAll)},
                   true});
  menus.push_back({Label(Text::kMenuSearch),
                   {Item(Text::kItemFind, "Ctrl+F", Command::kFind), Item(Text::kItemFindNext, "F3", Command::kFindNext),
                    Item(Text::kItemReplace, "Ctrl+R", Command::kReplace)},
                   true});
  menus.push_back({Label(Text::kMenuRun),
                   {Item(Text::kItemRun, "F5", Command::kRun),
                    Item(Text::kItemBuildExecutable, "", Command::kBuild), Separator(),
                    Item(Text::kItemTools, "", Command::kTools)},
                   true});
  menus.push_back({Label(Text::kMenuSource),
                   {Item(Text::kItemSource1, "Ctrl+1", Command::kSource1),
                    Item(Text::kItemSource2, "Ctrl+2", Command::kSource2)},
                   true});
  menus.push_back({Label(Text::kMenuHelp), {Item(Text::kItemHelpIndex, "F1", Command::kHelpIndex)}, true});
  RebuildRecentItems();

  std::vector<Menu>& help = help_menus_.Menus();
  help.clear();
  help.push_back({Label(Text::kMenuHelpPages),
                  {Item(Text::kItemHelpIndex, "F1", Command::kHelpIndex),
                   Item(Text::kItemHelpClose, "Esc", Command::kHelpClose)},
                  true});
  help.push_back({Label(Text::kMenuBack), {}, help_->CanGoBack(), Command::kHelpBack});
  help.push_back({Label(Text::kMenuForward), {}, help_->CanGoForward(), Command::kHelpForward});
}

void Editor::RebuildRecentItems() {
  Menu& file = view_->Menus().Menus().front();
  file.items = {Item(Text::kItemNew, "Ctrl+N", Command::kNew),
                Item(Text::kItemOpen, "Ctrl+O", Command::kOpen),
                Item(Text::kItemSave, "Ctrl+S", Command::kSave),
                Item(Text::kItemSaveAs, "", Command::kSaveAs),
                Separator(),
                Item(Text::kItemProject, "", Command::kProject),
                Item(Text::kItemBuild, "", Command::kBuild),
                Item(Text::kItemBuildMedia, "", Command::kBuildWithMedia),
                Separator()};
  const auto& entries = recent_.Entries();
  for (size_t i = 0; i < entries.size(); ++i) {
    std::string label = platform::ProgramTextOf(RecentFileLabel(entries[i], example_folder_));
    while (!label.empty() && font_->TextWidth(label) >= 256) label.erase(0, 1);
    if (label.size() > 32) label = label.substr(label.size() - 32);
    file.items.push_back(MenuItem{label, {}, true, Command::kRecentFile, static_cast<int32_t>(i)});
  }
  if (!entries.empty()) file.items.push_back(Separator());
  file.items.push_back(Item(Text::kItemExit, "", Command::kExit));
  view_->Menus().MarkChanged();
}

// ---- Status and view ------------------------------------------------------------------------

void Editor::SetStatus(std::string text) { view_->SetStatus(std::move(text), 0); }

void Editor::ShowFileStatus() {
  const SourceDocument& d = Live();
  if (d.file_name.empty()) {
    view_->SetStatus(Label(Text::kUnnamed), 256);
    return;
  }
  std::string project = d.folder;
  const std::string area = ProjectArea() + "/";
  // Only a project's own folder, directly in the project area, goes by the
  // project's name.
  if (project.size() > area.size() && project.compare(0, area.size(), area) == 0 &&
      project.find('/', area.size()) == std::string::npos) {
    project = project.substr(area.size());
    if (project[0] >= 'a' && project[0] <= 'z') project[0] = static_cast<char>(project[0] - 32);
  }
  // The names are the file system's; the status line shows the editor's text.
  view_->SetStatus(Label(Text::kProjectWord) + ": " + platform::ProgramTextOf(project) + "  " +
                       Label(Text::kFileWord) + ": " + platform::ProgramTextOf(d.file_name),
                   256);
}

void Editor::RestoreView() {
  SourceBuffer& b = Live().buffer;
  b.ClampCursor();
  view_->SetBuffer(b);
  view_->SetLiveTab(live_tab_);
  view_->CursorPixelXY();
  view_->DrawAllRows();
  view_->caret_hidden = false;
  UpdateCaret();
}

void Editor::UpdateCaret() {
  SourceBuffer& b = Live().buffer;
  const bool visible = !view_->caret_hidden && !help_view_ && mode_ == mode::kEditing &&
                       b.cursor_line >= b.top_line && b.cursor_line <= b.top_line + view_->LastRow();
  if (!visible) {
    display_.SelectCursorImage(5);
    return;
  }
  display_.Caret().x = b.cursor_x;
  display_.Caret().y = b.cursor_y;
  display_.SelectCursorImage(4);
}

void Editor::RefreshAfterEdit(TextChange change) {
  if (change == TextChange::kAllLines) {
    view_->MarkRowsDirty();
    view_->MarkScrollBarChanged();
  } else if (change == TextChange::kCursorLine) {
    view_->MarkCursorRowDirty();
  }
  view_->KeepCursorVisible();
  UpdateCaret();
}

void Editor::Edit(EditKind kind, const EditHistory::Edit& edit) {
  SourceDocument& d = Live();
  const TextChange change = d.history.RecordAtCursor(d.buffer, kind, edit);
  if (change != TextChange::kNone) RefreshAfterEdit(change);
}

void Editor::SwitchSourceTab(int32_t tab) {
  if (tab != 1 && tab != 2) return;
  live_tab_ = tab;
  Live().buffer.ClearSelection();
  ShowFileStatus();
  RestoreView();
}

// ---- Frames -------------------------------------------------------------------------------

void Editor::DrawHelpView() {
  Surface& screen = view_->Screen();
  if (view_->Hovered() >= control::kFirstMenuTitle && view_->Hovered() < control::kFirstMenuTitle + 3)
    help_menus_.SetActiveTitle(view_->Hovered() - control::kFirstMenuTitle + 1);
  else
    help_menus_.SetActiveTitle(0);
  // The menu bar, toolbar, scroll bar and status line go straight to the
  // screen; the page is drawn only when it changed.
  Surface* page_image = images_->Get(image::kPage);
  if (page_image) BltFastRect(screen, 0, 0, *page_image, 0, 0, 640, 42, 0);
  if (page_image) BltFastRect(screen, 618, 42, *page_image, 618, 42, 22, 438, 0);
  if (page_image) BltFastRect(screen, 0, 459, *page_image, 0, 459, 618, 21, 0);
  view_->DrawToolbarStates(screen, true);
  help_menus_.Menus()[1].enabled = help_->CanGoBack();
  help_menus_.Menus()[2].enabled = help_->CanGoForward();
  help_menus_.MarkChanged();
  help_menus_.DrawMenuBar(screen, *font_);
  view_->MarkScrollBarChanged();
  view_->DrawScrollBar(screen, HelpRowCount(), help_->ScrollPosition() / HelpViewer::kRowUnit, kHelpShownRows);
  view_->DrawStatusLine(screen);
  if (help_changed_) {
    help_changed_ = false;
    help_->Draw();
    // A link to an entry shows its page from the row the entry begins on.
    if (const std::optional<int32_t> place = help_->TakePlacePosition()) {
      ScrollHelp(*place / HelpViewer::kRowUnit * HelpViewer::kRowUnit - help_->ScrollPosition());
      if (help_changed_) {
        help_changed_ = false;
        help_->Draw();
      }
    }
  }
  BltFastSized(screen, 0, 42, view_->Page(), 616, 417, 0);
  help_menus_.DrawOpenMenu(screen, *font_);
}

int32_t Editor::HelpRowCount() const { return std::max(help_->PageHeight() / HelpViewer::kRowUnit, 1); }

void Editor::ComposeScreen() {
  Surface& screen = view_->Screen();
  if (help_view_) {
    DrawHelpView();
  } else {
    Surface& page = view_->Page();
    view_->DrawDirtyRows();
    view_->DrawToolbarStates(page, false);
    view_->Menus().DrawMenuBar(page, *font_);
    view_->DrawScrollBar();
    view_->DrawStatusLine(page);
    BltFastWhole(screen, page);
    view_->DrawStatusPanel(screen);
    view_->Menus().DrawOpenMenu(screen, *font_);
  }
  view_->DrawToolbarLabels(screen);
}

void Editor::DrawEditorScreen() {
  Surface& screen = view_->Screen();
  if (requester_->IsOpen()) {
    requester_->UpdateListDrag(mouse_y_, mouse_down_);
    requester_->UpdateDialog(screen);
  } else {
    ComposeScreen();
  }
  BltFastWhole(display_.BackBuffer(), screen);
  display_.Caret().dialog_mode = mode_ == mode::kEditing ? 0 : 3;
  display_.UpdateCursorSprites();
  display_.DrawSprites();
  display_.PresentFrame();
}

void Editor::Frame() {
  if (!Ready()) return;
  // Before the frame's calls to the X server, which may never return.
  NoteChanges();
  kept_.KeepDue(NowMs());
  ShowKeepNews();
  // Kept programs are offered while nothing else is asked, and no one types.
  const bool typing = last_typed_ms_ && NowMs() - *last_typed_ms_ < kTypingPauseMs;
  if (mode_ == mode::kEditing && !requester_->IsOpen() && !help_view_ && !offers_.empty() && !typing)
    OfferNextAutosave();
  if (view_->Dragging()) {
    if (help_view_) {
      const int32_t top = view_->DragThumb(mouse_y_, HelpRowCount(), kHelpShownRows);
      ScrollHelp(top * HelpViewer::kRowUnit - help_->ScrollPosition());
    } else {
      const int32_t top = view_->DragThumb(mouse_y_, Live().buffer.LineCount(), layout::kRows);
      if (top != Live().buffer.top_line) view_->SetTopLine(top);
    }
    if (!mouse_down_) view_->EndThumbDrag();
    UpdateCaret();
  }
  DrawEditorScreen();
}

bool Editor::OpenFile(const std::string& given) {
  std::error_code ec;
  const std::string path = std::filesystem::absolute(given, ec).lexically_normal().string();
  SourceDocument& d = Live();
  // A program that does not exist yet starts empty under its name, so that
  // saving creates it; what an end kept under that name is offered (an
  // unnamed program's, untitled.kqa's, is found so).
  if (!std::filesystem::exists(path, ec)) {
    d.buffer.Clear();
    d.header = {};
    d.form = kNewSourceForm;
    d.history.Clear(true);
    const std::filesystem::path p(path);
    d.file_name = p.filename().string();
    d.folder = p.parent_path().string();
    ShowFileStatus();
    RestoreView();
    OfferAutosave();
    return true;
  }
  std::string error;
  if (!LoadPath(path, &error)) {
    SetStatus(Label(Text::kLoadFailed) + " " + error);
    return false;
  }
  ShowFileStatus();
  OfferAutosave();
  return true;
}

}  // namespace zv::editor
