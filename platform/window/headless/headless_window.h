#pragma once

#include <array>
#include <deque>
#include <string>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/window/window.h"

namespace zv::platform {

// A window that nobody sees. Its events come from a script: each event waits
// until the clock reaches its time and is then handed out in the order it was
// scripted. Key state follows the script's key events by their time, as a
// keyboard would, whether or not the events have been taken yet; each event
// taken carries the modifiers held as of the key events taken before it.
class HeadlessWindow final : public Window {
 public:
  explicit HeadlessWindow(Clock& clock) : clock_(clock) {}

  // ---- The script ----------------------------------------------------------
  // Adds an event due at `at_ms` on the window's clock (0: at once).
  void Post(WindowEvent event, uint32_t at_ms = 0);
  // Key held from `at_ms` for `held_ms`: key-down, its character (for keys
  // that type one) and key-up.
  void PressKey(int key_number, uint32_t at_ms = 0, uint32_t held_ms = 0);
  // One character event per byte, all due at `at_ms` ("\r" is Enter, "\b"
  // Backspace).
  void Type(std::string_view text, uint32_t at_ms = 0);
  void Click(int button, int32_t x, int32_t y, uint32_t at_ms = 0, uint32_t held_ms = 0);
  size_t PendingEvents() const { return script_.size(); }
  // Keeps the script's pace as its events are taken: an event taken late
  // (a loaded machine, a program still starting) moves every event after it
  // on by as much, so each comes its scripted time after the one before it
  // was taken. A key is then held as long as scripted, however slow the
  // program, and the lines after it come after it rather than all at once.
  void KeepPace() { paced_ = true; }

  // ---- Window ----------------------------------------------------------------
  bool PollEvent(WindowEvent* event) override;
  bool KeyHeld(int key_number) override;
  void SetTitle(std::string_view title) override { title_ = title; }
  void SetFrame(const WindowFrame& frame) override { frame_ = frame; }
  void Show() override { shown_ = true; }
  void Hide() override { shown_ = false; }
  void Minimise() override { ShowAs(SizeState::kMinimised); }
  void Maximise() override { ShowAs(SizeState::kMaximised); }
  void Restore() override { ShowAs(SizeState::kNormal); }
  void SetPlacement(const WindowRect& rect) override { placement_ = rect; }
  WindowRect Placement() const override { return placement_; }
  WindowRect Desktop() const override { return {0, 0, 640, 480}; }
  void ShowCursor(bool shown) override { cursor_shown_ = shown; }
  void CaptureMouse(bool captured) override { captured_ = captured; }
  void WarpMouse(int32_t x, int32_t y) override { warped_to_ = {x, y, 0, 0}; }
  void GrabKeyboard(bool grabbed) override { keyboard_grabbed_ = grabbed; }
  void ShowMessageBox(std::string_view title, std::string_view text, MessageBoxIcon icon) override;
  bool HasDisplay() const override { return false; }
  bool EventsMayCome() const override { return !script_.empty(); }
  void* NativeHandle() override { return nullptr; }

  // ---- What the program did to the window, for tests ------------------------
  struct MessageBoxShown {
    std::string title;
    std::string text;
    MessageBoxIcon icon;
  };
  const std::vector<MessageBoxShown>& MessageBoxes() const { return boxes_; }
  const std::string& Title() const { return title_; }
  bool Shown() const { return shown_; }
  enum class SizeState { kNormal, kMinimised, kMaximised };
  SizeState ShownAs() const { return size_state_; }
  const WindowFrame& Frame() const { return frame_; }
  bool CursorShown() const { return cursor_shown_; }
  bool Captured() const { return captured_; }
  bool KeyboardGrabbed() const { return keyboard_grabbed_; }
  WindowRect WarpedTo() const { return warped_to_; }

 private:
  struct Scripted {
    uint32_t due;
    WindowEvent event;
    bool keys_applied = false;  // counted in held_ already
  };
  bool Due(const Scripted& item) const;
  // When paced, moves the script on by as much as its first event is late.
  void CatchUp();
  void ApplyKeys(Scripted& item);
  // Applies the key events that have come due to the held-key state.
  void UpdateKeys();
  void ShowAs(SizeState state) {
    shown_ = true;
    size_state_ = state;
  }

  Clock& clock_;
  std::deque<Scripted> script_;  // in order of due time, then of posting
  std::array<bool, key::kCount> held_{};
  int32_t modifiers_ = 0;  // of the events taken so far
  bool paced_ = false;
  std::string title_;
  bool shown_ = false;
  SizeState size_state_ = SizeState::kNormal;
  WindowFrame frame_;
  bool cursor_shown_ = true;
  bool captured_ = false;
  bool keyboard_grabbed_ = false;
  WindowRect placement_{0, 0, 320, 240};
  WindowRect warped_to_{};
  std::vector<MessageBoxShown> boxes_;
};

}  // namespace zv::platform
