#include "editor/requester.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "editor/editor_colours.h"
#include "editor/language_texts.h"
#include "editor/source_buffer.h"
#include "editor/source_file.h"
#include "platform/text/system_text.h"
#include "platform/window/window.h"

namespace zv::editor {
namespace {

constexpr int32_t kPreviewX = 14;
constexpr int32_t kPreviewY = 209;
constexpr int32_t kCaretBlinkFrames = 10;

uint32_t RequesterColour(int32_t slot) { return RgbOf565(kRequesterColours565[static_cast<size_t>(slot)]); }

bool ShowsList(int32_t k) {
  return k == kind::kLoad || k == kind::kSave || k == kind::kBuild || k == kind::kBuildWithMedia ||
         k == kind::kProject || k == kind::kChooseTool;
}

// The requesters that write into the folder they show can make a new one.
bool MakesFolders(int32_t k) { return k == kind::kSave || k == kind::kBuild || k == kind::kBuildWithMedia; }

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// Rows the wheel scrolls the file list by, a step.
constexpr int32_t kWheelRows = 3;
// Widths and rows of the question's text and of the message box's.
constexpr int32_t kQuestionWidth = 385;
constexpr int32_t kMessageWidth = 388;
constexpr size_t kTextLines = 2;
// From one line of a question or message to the next.
constexpr int32_t kLineStep = 20;

std::string ShortenInMiddle(const GlyphFont& font, std::string_view text, int32_t width) {
  if (font.TextWidth(text) <= width) return std::string(text);
  constexpr std::string_view kLeftOut = "...";
  for (size_t keep = text.size(); keep-- > 0;) {
    // A character the page lacks, marked, is kept whole or left out whole.
    const auto head = static_cast<size_t>(OutsideMarkedCharacter(text, static_cast<int32_t>((keep + 1) / 2), false));
    const auto tail = static_cast<size_t>(
        OutsideMarkedCharacter(text, static_cast<int32_t>(text.size() - keep / 2), true));
    std::string shown = std::string(text.substr(0, head)) + std::string(kLeftOut) + std::string(text.substr(tail));
    if (font.TextWidth(shown) <= width) return shown;
  }
  return std::string(kLeftOut);
}

// Draws the lines of a fitted text centred on the screen, the first at `top`.
void DrawCentredLines(Surface& screen, const GlyphFont& font, const std::vector<std::string>& lines, int32_t top) {
  for (size_t i = 0; i < lines.size(); ++i)
    font.DrawText(screen, lines[i], 2, 320 - font.TextWidth(lines[i]) / 2, top + static_cast<int32_t>(i) * kLineStep);
}

}  // namespace

std::vector<std::string> FitText(const GlyphFont& font, std::string_view text, int32_t width, size_t most_lines) {
  std::vector<std::string> lines;
  std::string line;
  for (size_t at = 0; at < text.size();) {
    const size_t end = std::min(text.find(' ', at), text.size());
    if (end > at) {
      const std::string word = ShortenInMiddle(font, text.substr(at, end - at), width);
      const std::string joined = line.empty() ? word : line + " " + word;
      if (!line.empty() && font.TextWidth(joined) > width) {
        lines.push_back(line);
        line = word;
      } else {
        line = joined;
      }
    }
    at = end + 1;
  }
  if (!line.empty() || lines.empty()) lines.push_back(line);
  if (most_lines > 0 && lines.size() > most_lines) {
    std::string rest;
    for (size_t i = most_lines - 1; i < lines.size(); ++i) rest += (rest.empty() ? "" : " ") + lines[i];
    lines.resize(most_lines - 1);
    lines.push_back(ShortenInMiddle(font, rest, width));
  }
  return lines;
}

std::string& EditorScreen::FieldText(int32_t slot) {
  return fields_[static_cast<size_t>(std::clamp(slot, 0, kSlots - 1))].text;
}

RequesterButton& EditorScreen::Button(int32_t slot) { return buttons_[static_cast<size_t>(std::clamp(slot, 0, kSlots - 1))]; }

void EditorScreen::AddButton(int32_t slot, std::string label, int32_t centre_x, int32_t y, int32_t min_width) {
  RequesterButton& b = Button(slot);
  b.width = std::max(font_.TextWidth(label) + 16, min_width);
  b.x = centre_x - b.width / 2;
  b.y = y;
  b.height = 23;
  b.label = std::move(label);
  b.pressed = false;
  b.active = true;
}

void EditorScreen::AddField(int32_t slot, bool editable, std::string text, int32_t x, int32_t y, int32_t width) {
  RequesterField& f = fields_[static_cast<size_t>(slot)];
  f = RequesterField{true, x, y, width, 21, editable, std::move(text)};
  if (f.text.size() > kFieldLimit) f.text.resize(kFieldLimit);
}

void EditorScreen::BuildDialog(int32_t kind, int32_t cx, int32_t cy, const std::string& folder) {
  CloseDialog();
  kind_ = kind;
  message_.clear();
  preview_frame_ = 0;
  if (kind != kind::kQuestion) start_folder_ = folder;
  list_.SetFolder(folder);
  list_.SetKind(kind);
  const std::string cancel(LanguageText(Text::kCancel));
  int32_t width = 419, height = 321;
  background_ = image::kRequesterLarge;
  auto file_buttons = [&](Text confirm) {
    AddButton(1, cancel, 362, 203, 87);
    AddButton(2, std::string(LanguageText(confirm)), 362, 176, 87);
  };
  switch (kind) {
    case kind::kLoad:
    case kind::kSave:
      file_buttons(kind == kind::kLoad ? Text::kLoad : Text::kSave);
      AddField(1, true, {}, 89, 175, 222);
      for (int32_t i = 0; i < 3; ++i) AddField(2 + i, kind == kind::kSave, {}, 149, 207 + 24 * i, 162);
      break;
    case kind::kBuild:
    case kind::kBuildWithMedia:
      file_buttons(Text::kBuild);
      AddField(1, true, {}, 89, 175, 222);
      break;
    case kind::kProject:
      file_buttons(Text::kCreate);
      AddField(1, true, {}, 89, 175, 222);
      break;
    case kind::kChooseTool:
      file_buttons(Text::kSelect);
      AddField(1, true, {}, 89, 175, 222);
      break;
    case kind::kTools:
      height = 194;
      background_ = image::kRequesterTools;
      AddButton(1, std::string(LanguageText(Text::kOk)), 365, 151, 70);
      for (int32_t i = 1; i <= kToolSlots; ++i) {
        AddButton(i + 1, std::string(LanguageText(Text::kBrowse)), 365, 30 + 24 * (i - 1), 70);
        AddField(i, true, platform::ProgramTextOf(tool_paths_[static_cast<size_t>(i - 1)]), 58, 24 * i + 6, 259);
      }
      break;
    case kind::kQuestion:
      width = 405;
      height = 99;
      background_ = image::kRequesterQuestion;
      AddButton(1, std::string(LanguageText(Text::kNo)), width / 2 + 43, 56, 70);
      AddButton(2, std::string(LanguageText(Text::kYes)), width / 2 - 43, 56, 70);
      break;
    case kind::kReplace:
    case kind::kFind:
      width = 222;
      height = 140;
      background_ = image::kRequesterFind;
      AddButton(1, cancel, width / 2 + 42, 97, 70);
      AddButton(2, std::string(LanguageText(kind == kind::kReplace ? Text::kReplace : Text::kFind)), width / 2 - 43,
                97, 70);
      AddField(1, true, {}, 30, 34, 162);
      AddField(2, kind == kind::kReplace, {}, 30, 66, 162);
      break;
  }
  if (MakesFolders(kind)) AddButton(3, std::string(LanguageText(Text::kNewFolder)), 362, 230, 87);
  if (ShowsList(kind)) {
    list_.RefreshFileList();
    list_.ResetList();
    list_visible_ = true;
    if (!list_.Message().empty()) message_ = list_.Message();
  }
  origin_ = Rect{cx - width / 2, cy - height / 2, cx - width / 2 + width, cy - height / 2 + height};
  needs_redraw_ = true;
  open_ = true;
  if (fields_[1].active && fields_[1].editable && kind != kind::kTools) ActivateField(1);
}

void EditorScreen::CloseDialog() {
  if (active_field_ != 0) CommitField();
  for (RequesterButton& b : buttons_) b.active = false;
  for (RequesterField& f : fields_) f.active = false;
  list_visible_ = false;
  open_ = false;
}

void EditorScreen::ReleaseButtons() {
  for (RequesterButton& b : buttons_) b.pressed = false;
}

void EditorScreen::SetMessage(std::string text) {
  message_ = std::move(text);
  needs_redraw_ = true;
}

// ---- Field editing -----------------------------------------------------------------------

void EditorScreen::ActivateField(int32_t slot) {
  edit_text_ = fields_[static_cast<size_t>(slot)].text;
  active_field_ = slot;
  caret_ = edit_text_.size();
  fresh_ = true;
  caret_visible_ = true;
  blink_counter_ = 0;
  needs_redraw_ = true;
}

const std::string& EditorScreen::ToolPath(int32_t slot) const {
  return tool_paths_[static_cast<size_t>(std::clamp(slot, 0, kToolSlots - 1))];
}

void EditorScreen::SetToolPath(int32_t slot, std::string path) {
  if (slot >= 0 && slot < kToolSlots) tool_paths_[static_cast<size_t>(slot)] = std::move(path);
}

// A path typed into the tool list is kept only when the file exists; a
// relative one is read from the folder the list opened in.
void EditorScreen::CommitToolPath(int32_t field) {
  std::string path = platform::SystemTextOf(fields_[static_cast<size_t>(field)].text);
  if (!path.empty() && path[0] != '/' && !start_folder_.empty())
    path = (std::filesystem::path(start_folder_) / path).lexically_normal().string();
  if (FileExists(path)) {
    SetToolPath(field - 1, path);
    return;
  }
  SetToolPath(field - 1, {});
  if (!path.empty()) message_ = std::string(LanguageText(Text::kFileMissing));
}

void EditorScreen::StoreField() {
  if (active_field_ != 0) fields_[static_cast<size_t>(active_field_)].text = edit_text_;
}

void EditorScreen::CommitField() {
  if (active_field_ == 0) return;
  fields_[static_cast<size_t>(active_field_)].text = edit_text_;
  if (kind_ == kind::kTools) CommitToolPath(active_field_);
  active_field_ = 0;
  if (kind_ == kind::kProject) UpdateSelectLabel();
  needs_redraw_ = true;
}

void EditorScreen::InsertCharacter(char c) {
  if (caret_ >= kFieldLimit) return;
  edit_text_.insert(caret_, 1, c);
  if (edit_text_.size() > kFieldLimit) edit_text_.resize(kFieldLimit);
  ++caret_;
}

void EditorScreen::DeleteCharacter() {
  if (caret_ == 0) return;
  edit_text_.erase(--caret_, 1);
}

void EditorScreen::ClearField() {
  edit_text_.clear();
  caret_ = 0;
  fresh_ = false;
}

void EditorScreen::UpdateSelectLabel() {
  const std::string& typed = active_field_ == 1 ? edit_text_ : fields_[1].text;
  Button(2).label = std::string(LanguageText(list_.Lists(typed) ? Text::kSelect : Text::kNew));
  needs_redraw_ = true;
}

bool EditorScreen::KeyDown(int32_t key) {
  namespace k = platform::key;
  if (key == k::kEscape) return true;
  if (active_field_ != 0) {
    if (key == k::kLeft || key == k::kRight) {
      if (fresh_) {
        fresh_ = false;
      } else if (key == k::kLeft && caret_ > 0) {
        --caret_;
      } else if (key == k::kRight && caret_ < edit_text_.size()) {
        ++caret_;
      }
    } else if (key == k::kDelete) {
      if (fresh_) {
        ClearField();
      } else if (caret_ < edit_text_.size()) {
        edit_text_.erase(caret_, 1);
      }
    }
    caret_visible_ = true;
    blink_counter_ = 0;
  }
  if (kind_ == kind::kProject) UpdateSelectLabel();
  return false;
}

void EditorScreen::Character(int32_t c) {
  if (active_field_ == 0) return;
  if (c >= 32 && c < 256) {
    if (fresh_) ClearField();
    InsertCharacter(static_cast<char>(c));
  } else if (c == platform::key::kBackspace) {
    if (fresh_) ClearField();
    DeleteCharacter();
  } else if (c == platform::key::kEnter && kind_ != kind::kQuestion) {
    CommitField();
  }
  caret_visible_ = true;
  blink_counter_ = 0;
  if (kind_ == kind::kProject) UpdateSelectLabel();
}

// ---- Clicks -------------------------------------------------------------------------------

RequesterHit EditorScreen::HitTest(int32_t x, int32_t y) {
  x -= origin_.left;
  y -= origin_.top;
  RequesterHit hit;
  for (int32_t slot = 1; slot < kSlots; ++slot) {
    const RequesterButton& b = buttons_[static_cast<size_t>(slot)];
    if (b.active && x > b.x && x < b.x + b.width && y > b.y && y < b.y + b.height) hit.button = slot;
  }
  if (hit.button != 0) {
    Button(hit.button).pressed = true;
    needs_redraw_ = true;
    return hit;
  }
  for (int32_t slot = 1; slot < kSlots; ++slot) {
    const RequesterField& f = fields_[static_cast<size_t>(slot)];
    if (!f.active || x <= f.x || x >= f.x + f.width || y <= f.y || y >= f.y + f.height) continue;
    if (slot == active_field_) {
      fresh_ = false;
    } else {
      if (active_field_ != 0) CommitField();
      if (f.editable) ActivateField(slot);
    }
    needs_redraw_ = true;
    return hit;
  }
  // Typing goes on into the field being edited; the tool list checks a path
  // as soon as its field is left.
  if (active_field_ != 0 && kind_ == kind::kTools) CommitField();
  if (list_visible_) {
    StoreField();
    const ListClick click = list_.Click(font_, x, y);
    const FileListEntry* entry = list_.SelectedEntry();
    if (click == ListClick::kOpenFile) hit.open_list_file = true;
    if (click == ListClick::kSelectedFile && entry) {
      FieldText(1) = entry->name;
      // The fields show the file's header; the program's own header changes
      // only when a save is confirmed.
      if (kind_ == kind::kLoad || kind_ == kind::kSave) {
        if (const std::optional<SourceHeader> header = ReadSourceHeader(list_.PathOf(*entry))) {
          FieldText(2) = header->title;
          FieldText(3) = header->author;
          FieldText(4) = header->date;
        }
      }
      if (kind_ == kind::kProject) Button(2).label = std::string(LanguageText(Text::kSelect));
    }
    if (click == ListClick::kMoved) {
      preview_frame_ = 0;
      if (!list_.Message().empty()) message_ = list_.Message();
      if (kind_ == kind::kProject) UpdateSelectLabel();
    }
    // What is typed next goes into the name; its first key replaces it.
    const bool stays = click == ListClick::kSelectedFile || click == ListClick::kSelectedFolder || click == ListClick::kMoved;
    if (stays && fields_[1].active && fields_[1].editable) ActivateField(1);
    needs_redraw_ = true;
  }
  return hit;
}

void EditorScreen::Wheel(int32_t steps) {
  if (list_visible_ && list_.ScrollBy(-steps * kWheelRows)) needs_redraw_ = true;
}

void EditorScreen::UpdateListDrag(int32_t mouse_y, bool button_down) {
  if (!list_.Dragging()) return;
  list_.UpdateListDrag(mouse_y, origin_.top, button_down);
  needs_redraw_ = true;
}

// ---- Drawing -------------------------------------------------------------------------------

void EditorScreen::DrawButton(Surface& screen, int32_t slot, bool pressed) {
  const RequesterButton& b = buttons_[static_cast<size_t>(slot)];
  const int32_t x = origin_.left + b.x, y = origin_.top + b.y;
  if (Surface* image = images_.Get(pressed ? image::kButtonDown : image::kButtonUp)) {
    BltFastRect(screen, x, y, *image, 0, 0, b.width - 1, b.height, 0);
    BltFastRect(screen, x + b.width - 1, y, *image, image->Width() - 1, 0, 1, b.height, 0);
  }
  const int32_t shift = pressed ? 1 : 0;
  font_.DrawText(screen, b.label, 2, x + b.width / 2 - font_.TextWidth(b.label) / 2 + shift, y + 3 + shift);
}

void EditorScreen::DrawFieldBox(Surface& screen, const RequesterField& f) {
  const int32_t l = origin_.left + f.x, t = origin_.top + f.y, r = l + f.width, b = t + f.height;
  const bool e = f.editable;
  FillSurfaceRect(screen, Rect{l, t, r, b}, RequesterColour(3));
  FillSurfaceRect(screen, Rect{l + 1, t + 1, r, b}, RequesterColour(e ? 1 : 3));
  FillSurfaceRect(screen, Rect{l + 1, t + 1, r - 1, b - 1}, RequesterColour(e ? 1 : 0));
  FillSurfaceRect(screen, Rect{l + 1, t + 1, r - 2, b - 2}, RequesterColour(0));
  FillSurfaceRect(screen, Rect{l + 2, t + 2, r - 2, b - 2}, RequesterColour(e ? 5 : 2));
}

void EditorScreen::DrawField(Surface& screen, int32_t slot) {
  const RequesterField& f = fields_[static_cast<size_t>(slot)];
  DrawFieldBox(screen, f);
  DrawTextClipped(screen, font_, f.text, false, origin_.left + f.x + 4, origin_.top + f.y + 3, f.width - 8);
}

void EditorScreen::DrawEditedField(Surface& screen) {
  const RequesterField& f = fields_[static_cast<size_t>(active_field_)];
  DrawFieldBox(screen, f);
  const int32_t x = origin_.left + f.x + 4, y = origin_.top + f.y;
  const int32_t clip = DrawTextClipped(screen, font_, edit_text_, fresh_, x, y + 3, f.width - 8);
  if (++blink_counter_ > kCaretBlinkFrames) {
    blink_counter_ = 0;
    caret_visible_ = !caret_visible_;
  }
  const int32_t caret_offset = font_.TextWidth(std::string_view(edit_text_).substr(0, caret_));
  if (caret_visible_ && caret_offset >= clip)
    if (Surface* caret = images_.Get(image::kFieldCaret)) BltFastAt(screen, x + caret_offset - clip, y + 2, *caret, 0);
}

void EditorScreen::DrawPreview(Surface& screen) {
  Surface* sheet = images_.Get(image::kPreviewSheet);
  if (!sheet) return;
  const FileListEntry* entry = list_.SelectedEntry();
  const bool animate = entry && entry->type == EntryType::kSource;
  if (!animate) {
    if (preview_frame_ < 0) return;
    preview_frame_ = -1;
  } else {
    preview_frame_ = preview_frame_ < 0 || preview_frame_ >= kPreviewFrames - 1 ? 0 : preview_frame_ + 1;
  }
  const int32_t n = std::max(preview_frame_, 0);
  BltFastRect(screen, origin_.left + kPreviewX, origin_.top + kPreviewY, *sheet, (n % 9) * kPreviewFrameSize,
              (n / 9) * kPreviewFrameSize, kPreviewFrameSize, kPreviewFrameSize, 0);
}

void EditorScreen::DrawToolsPage(Surface& screen) {
  const std::string_view title = LanguageText(Text::kToolsTitle);
  font_.DrawText(screen, title, 2, origin_.left + 210 - font_.TextWidth(title) / 2, origin_.top + 5);
  // The slot numbers beside the fields.
  for (int32_t i = 1; i <= kToolSlots; ++i) {
    const std::string number = std::to_string(i);
    const RequesterField& f = fields_[static_cast<size_t>(i)];
    font_.DrawText(screen, number, 2, origin_.left + 40 - font_.TextWidth(number) / 2, origin_.top + f.y + 3);
  }
}

void EditorScreen::UpdateDialog(Surface& screen) {
  if (!open_) return;
  if (needs_redraw_) {
    needs_redraw_ = false;
    if (kind_ == kind::kLoad || kind_ == kind::kSave) preview_frame_ = 0;
    if (Surface* background = images_.Get(background_)) BltFastAt(screen, origin_.left, origin_.top, *background, 0);
    if (list_visible_) list_.DrawPage(screen, font_, images_, origin_.left, origin_.top, info_lines_);
    if (kind_ == kind::kQuestion) {
      const std::vector<std::string> lines = FitText(font_, question_, kQuestionWidth, kTextLines);
      // Two lines begin in the title band, where the other requesters' titles stand.
      DrawCentredLines(screen, font_, lines, origin_.top + (lines.size() > 1 ? 25 - kLineStep : 25));
    }
    if (kind_ == kind::kFind || kind_ == kind::kReplace) {
      const std::string_view title = LanguageText(kind_ == kind::kFind ? Text::kFindTitle : Text::kReplaceTitle);
      font_.DrawText(screen, title, 2, origin_.left + origin_.Width() / 2 - font_.TextWidth(title) / 2,
                     origin_.top + 5);
    }
    if (kind_ == kind::kTools) DrawToolsPage(screen);
    for (int32_t slot = 1; slot < kSlots; ++slot)
      if (buttons_[static_cast<size_t>(slot)].active) DrawButton(screen, slot, buttons_[static_cast<size_t>(slot)].pressed);
    for (int32_t slot = 1; slot < kSlots; ++slot)
      if (fields_[static_cast<size_t>(slot)].active && slot != active_field_) DrawField(screen, slot);
    if (list_visible_ && !list_.Dragging()) list_.DrawListScrollBar(screen, origin_.left, origin_.top);
  }
  if (list_visible_ && list_.Dragging()) list_.DrawListScrollBar(screen, origin_.left, origin_.top);
  if (active_field_ != 0) DrawEditedField(screen);
  if (kind_ == kind::kLoad || kind_ == kind::kSave) DrawPreview(screen);
  if (!message_.empty()) {
    // The box grows by a line's height for each line past its two, about
    // its middle, so that a message is shown whole.
    const std::vector<std::string> lines = FitText(font_, message_, kMessageWidth, 0);
    const int32_t extra = std::max(static_cast<int32_t>(lines.size()) - static_cast<int32_t>(kTextLines), 0) * kLineStep;
    const int32_t top = 205 - extra / 2;
    if (Surface* box = images_.Get(image::kMessageBox)) {
      const int32_t half = box->Height() / 2;
      BltFastRect(screen, 118, top, *box, 0, 0, box->Width(), half, 0);
      for (int32_t y = 0; y < extra; ++y) BltFastRect(screen, 118, top + half + y, *box, 0, half, box->Width(), 1, 0);
      BltFastRect(screen, 118, top + half + extra, *box, 0, half, box->Width(), box->Height() - half, 0);
    }
    DrawCentredLines(screen, font_, lines, lines.size() > 1 ? 224 - kLineStep / 2 - extra / 2 : 224);
  }
}

}  // namespace zv::editor
