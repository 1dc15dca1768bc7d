#include "editor/editor_display.h"

namespace zv::editor {
namespace {

// Frames between two changes of the caret's blink.
constexpr int32_t kBlinkTurns = 20;
constexpr int32_t kCaretWidth = 2;
constexpr int32_t kCaretHeight = 13;
constexpr uint32_t kCaretColour = 0xFFFFFF;

}  // namespace

EditorDisplay::EditorDisplay(std::unique_ptr<platform::Presenter> presenter)
    : presenter_(std::move(presenter)), back_buffer_(MakeEditorSurface(kWidth, kHeight)) {}

bool EditorDisplay::PresentFrame() {
  if (!back_buffer_ || !presenter_->Present(*back_buffer_, nullptr)) return false;
  ++frames_presented_;
  return true;
}

void EditorDisplay::SelectCursorImage(int32_t n) {
  if (n == 4) {
    caret_shown_ = true;
    blink_off_ = false;
    blink_counter_ = 0;
  } else if (n == 5) {
    caret_shown_ = false;
  }
}

void EditorDisplay::UpdateCursorSprites() {
  if (!caret_shown_) return;
  if (++blink_counter_ > kBlinkTurns) {
    blink_counter_ = 0;
    blink_off_ = !blink_off_;
  }
}

void EditorDisplay::DrawSprites() {
  // The caret stays hidden while a requester is open.
  if (!CaretLit() || caret_.dialog_mode > 1 || !back_buffer_) return;
  FillSurfaceRect(*back_buffer_, Rect{caret_.x - 1, caret_.y, caret_.x - 1 + kCaretWidth, caret_.y + kCaretHeight},
                  kCaretColour);
}

}  // namespace zv::editor
