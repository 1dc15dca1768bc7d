#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "editor/surface_drawing.h"
#include "platform/present/presenter.h"
#include "runtime/vm/services/editor_services.h"

namespace zv::editor {

// Where the editor's frames go: the 640 x 480 back buffer it composes each
// frame on, the presenter that shows it, and the blinking text caret drawn
// over it.
class EditorDisplay {
 public:
  static constexpr int32_t kWidth = 640;
  static constexpr int32_t kHeight = 480;

  explicit EditorDisplay(std::unique_ptr<platform::Presenter> presenter);

  bool Ready() const { return back_buffer_ != nullptr; }
  Surface& BackBuffer() { return *back_buffer_; }
  platform::Presenter& Presenter() { return *presenter_; }

  // Shows the back buffer; counts the frames shown.
  bool PresentFrame();
  uint32_t FramesPresented() const { return frames_presented_; }
  // Writes the last presented frame as a PNG; false when there is none.
  bool WriteScreenshot(const std::string& path) const { return presenter_->WriteScreenshot(path); }

  // ---- The caret --------------------------------------------------------------------
  // 4: show the caret at the caret position and restart its blink; 5: park it.
  void SelectCursorImage(int32_t n);
  // The caret position and the dialog mode kept by the editor.
  EditorCaret& Caret() { return caret_; }
  // Once per frame: advances the blink.
  void UpdateCursorSprites();
  // Draws the caret on the back buffer while it is shown and lit.
  void DrawSprites();
  bool CaretLit() const { return caret_shown_ && !blink_off_; }

 private:
  std::unique_ptr<platform::Presenter> presenter_;
  SurfacePtr back_buffer_;
  uint32_t frames_presented_ = 0;
  EditorCaret caret_;
  bool caret_shown_ = false;
  bool blink_off_ = false;
  int32_t blink_counter_ = 0;
};

}  // namespace zv::editor
