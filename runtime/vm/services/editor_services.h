#pragma once

#include <string_view>

namespace zv {

// What the builder and the compiler ask of the editor: progress while an
// executable is built. With no editor running these do nothing.
class EditorServices {
 public:
  virtual ~EditorServices() = default;
  virtual void ShowProgressText(std::string_view text) { (void)text; }
  virtual void DrawProgressBox(int percent) { (void)percent; }
};

class NullEditor final : public EditorServices {};

// The editor's caret and dialog mode, which the cursor sprites follow.
struct EditorCaret {
  int x = 0;
  int y = 0;
  int dialog_mode = 0;
};

}  // namespace zv
