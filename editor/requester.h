#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "editor/editor_images.h"
#include "editor/file_browser.h"
#include "editor/glyph_font.h"

namespace zv::editor {

struct RequesterButton {
  bool active = false;
  int32_t x = 0, y = 0, width = 0, height = 23;
  std::string label;
  bool pressed = false;
};

struct RequesterField {
  bool active = false;
  int32_t x = 0, y = 0, width = 0, height = 21;
  bool editable = false;
  std::string text;
};

// Text set in at most `most_lines` lines no wider than `width`, broken
// between words: a word wider than a line, and what the last line cannot
// hold, are shortened in the middle ("..." for what is left out), so that
// a name keeps its beginning and its end.
std::vector<std::string> FitText(const GlyphFont& font, std::string_view text, int32_t width, size_t most_lines);

// What a click in a requester hit.
struct RequesterHit {
  int32_t button = 0;        // the button slot, 0 for none
  bool open_list_file = false;  // a second click on a listed file: confirm
};

// The panel of every question the editor asks: push buttons, one-line text
// fields, an optional file list and a message box, laid out by kind and
// centred on the screen. One object serves every requester.
class EditorScreen {
 public:
  static constexpr int32_t kSlots = 32;
  static constexpr size_t kFieldLimit = 255;

  EditorScreen(const GlyphFont& font, const EditorImages& images) : font_(font), images_(images) {}

  // Lays out a requester of `kind` centred on (cx, cy), its list starting in
  // `folder` (empty: the list of places).
  void BuildDialog(int32_t kind, int32_t cx, int32_t cy, const std::string& folder);
  // Closes it: every button and field goes, a field being edited is kept.
  void CloseDialog();
  bool IsOpen() const { return open_; }
  int32_t Kind() const { return kind_; }
  const Rect& Origin() const { return origin_; }

  // Draws the requester when it changed, then the edited field's caret and
  // the preview.
  void UpdateDialog(Surface& screen);
  void MarkForRedraw() { needs_redraw_ = true; }

  void AddButton(int32_t slot, std::string label, int32_t centre_x, int32_t y, int32_t min_width);
  void AddField(int32_t slot, bool editable, std::string text, int32_t x, int32_t y, int32_t width);
  void ActivateField(int32_t slot);
  // Ends editing, keeping the edited text in the field.
  void CommitField();
  // Keeps the edited text in the field, editing on.
  void StoreField();
  void InsertCharacter(char c);
  void DeleteCharacter();
  void ClearField();
  void ReleaseButtons();

  // The mouse wheel turned by `steps` (away from the user: positive)
  // scrolls the file list.
  void Wheel(int32_t steps);
  // Keys and characters typed while the requester is open. KeyDown returns
  // true for Escape, which closes the requester.
  bool KeyDown(int32_t key);
  void Character(int32_t c);
  // A left click at a point of the screen.
  RequesterHit HitTest(int32_t x, int32_t y);
  // Each frame while the mouse button may be held: a list drag follows it.
  void UpdateListDrag(int32_t mouse_y, bool button_down);

  std::string& FieldText(int32_t slot);
  RequesterButton& Button(int32_t slot);
  int32_t ActiveField() const { return active_field_; }
  bool EditingFresh() const { return fresh_; }
  const std::string& EditText() const { return edit_text_; }

  FileBrowser& List() { return list_; }
  bool ListVisible() const { return list_visible_; }

  // Shows a message in the box over the requester; empty hides it.
  void SetMessage(std::string text);
  const std::string& Message() const { return message_; }
  // The question of a yes/no requester.
  void SetQuestion(std::string text) { question_ = std::move(text); }
  // Lines of text of the build and project requesters.
  void SetInfoLines(std::vector<std::string> lines) { info_lines_ = std::move(lines); }

  // The folder the requester started in.
  const std::string& StartFolder() const { return start_folder_; }

  // The programs of the tool list, by slot 0..4: a path is kept only while
  // it names a file that exists; empty for none.
  static constexpr int32_t kToolSlots = 5;
  const std::string& ToolPath(int32_t slot) const;
  void SetToolPath(int32_t slot, std::string path);

 private:
  void DrawButton(Surface& screen, int32_t slot, bool pressed);
  void DrawFieldBox(Surface& screen, const RequesterField& field);
  void DrawField(Surface& screen, int32_t slot);
  void DrawEditedField(Surface& screen);
  void DrawPreview(Surface& screen);
  void DrawToolsPage(Surface& screen);
  void CommitToolPath(int32_t field);
  void UpdateSelectLabel();

  const GlyphFont& font_;
  const EditorImages& images_;
  bool open_ = false;
  bool needs_redraw_ = false;
  int32_t kind_ = 0;
  int32_t background_ = 0;
  Rect origin_;
  int32_t preview_frame_ = 0;
  std::array<RequesterButton, kSlots> buttons_{};
  std::array<RequesterField, kSlots> fields_{};
  std::string start_folder_;
  FileBrowser list_;
  bool list_visible_ = false;
  int32_t active_field_ = 0;
  std::string edit_text_;
  size_t caret_ = 0;
  bool fresh_ = false;
  bool caret_visible_ = false;
  int32_t blink_counter_ = 0;
  std::string message_;
  std::string question_;
  std::vector<std::string> info_lines_;
  std::array<std::string, kToolSlots> tool_paths_;
};

}  // namespace zv::editor
