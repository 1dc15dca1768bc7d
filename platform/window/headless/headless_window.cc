#include "platform/window/headless/headless_window.h"

#include <algorithm>

namespace zv::platform {
namespace {

// The character a key types, 0 for keys that type none.
int32_t CharacterOfKey(int key_number) {
  if (int32_t c = ControlCharacterOfKey(key_number)) return c;
  if (key_number == key::kSpace || (key_number >= '0' && key_number <= '9') || (key_number >= 'A' && key_number <= 'Z'))
    return key_number;
  return 0;
}

int32_t ModifierOfKey(int key_number) {
  switch (key_number) {
    case key::kShift: return modifier::kShift;
    case key::kControl: return modifier::kControl;
    case key::kAlt: return modifier::kAlt;
  }
  return 0;
}

}  // namespace

void HeadlessWindow::Post(WindowEvent event, uint32_t at_ms) {
  // Keep the script in order of due time; events due together keep the order
  // they were posted in.
  auto later = std::upper_bound(script_.begin(), script_.end(), at_ms,
                                [](uint32_t due, const Scripted& s) { return due < s.due; });
  script_.insert(later, Scripted{at_ms, event});
}

void HeadlessWindow::PressKey(int key_number, uint32_t at_ms, uint32_t held_ms) {
  Post({WindowEventKind::kKeyDown, key_number}, at_ms);
  if (int32_t c = CharacterOfKey(key_number)) Post({WindowEventKind::kCharacter, c}, at_ms);
  Post({WindowEventKind::kKeyUp, key_number}, at_ms + held_ms);
}

void HeadlessWindow::Type(std::string_view text, uint32_t at_ms) {
  for (char c : text) Post({WindowEventKind::kCharacter, static_cast<uint8_t>(c)}, at_ms);
}

void HeadlessWindow::Click(int button, int32_t x, int32_t y, uint32_t at_ms, uint32_t held_ms) {
  Post({WindowEventKind::kMouseMove, x, y, x, y}, at_ms);
  Post({WindowEventKind::kMouseDown, button, 0, x, y}, at_ms);
  Post({WindowEventKind::kMouseUp, button, 0, x, y}, at_ms + held_ms);
}

bool HeadlessWindow::Due(const Scripted& item) const {
  return static_cast<int32_t>(clock_.NowMs() - item.due) >= 0;
}

void HeadlessWindow::CatchUp() {
  if (!paced_ || script_.empty()) return;
  const int32_t late = static_cast<int32_t>(clock_.NowMs() - script_.front().due);
  if (late <= 0) return;
  for (Scripted& item : script_) item.due += static_cast<uint32_t>(late);
}

void HeadlessWindow::ApplyKeys(Scripted& item) {
  if (item.keys_applied) return;
  item.keys_applied = true;
  const WindowEvent& e = item.event;
  if ((e.kind == WindowEventKind::kKeyDown || e.kind == WindowEventKind::kKeyUp) && e.a >= 0 &&
      e.a < key::kCount)
    held_[e.a] = e.kind == WindowEventKind::kKeyDown;
}

void HeadlessWindow::UpdateKeys() {
  CatchUp();
  for (Scripted& item : script_) {
    if (!Due(item)) break;
    ApplyKeys(item);
  }
}

bool HeadlessWindow::PollEvent(WindowEvent* event) {
  CatchUp();
  if (script_.empty() || !Due(script_.front())) return false;
  ApplyKeys(script_.front());
  *event = script_.front().event;
  script_.pop_front();
  // The modifiers follow the script's key events in their order, as they
  // come with a real keyboard's events.
  if (event->kind == WindowEventKind::kKeyDown) modifiers_ |= ModifierOfKey(event->a);
  if (event->kind == WindowEventKind::kKeyUp) modifiers_ &= ~ModifierOfKey(event->a);
  event->modifiers |= modifiers_;
  return true;
}

bool HeadlessWindow::KeyHeld(int key_number) {
  if (key_number < 0 || key_number >= key::kCount) return false;
  UpdateKeys();
  return held_[key_number];
}

void HeadlessWindow::ShowMessageBox(std::string_view title, std::string_view text, MessageBoxIcon icon) {
  boxes_.push_back({std::string(title), std::string(text), icon});
}

}  // namespace zv::platform
