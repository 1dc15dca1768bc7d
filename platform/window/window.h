#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace zv::platform {

// Key numbers follow the virtual-key numbering that programs and the runtime
// were written against (Escape 27, Enter 13, F1 112 ...), whatever the backend.
namespace key {
constexpr int kBackspace = 8;
constexpr int kTab = 9;
constexpr int kEnter = 13;
constexpr int kShift = 16;
constexpr int kControl = 17;
constexpr int kAlt = 18;
constexpr int kEscape = 27;
constexpr int kSpace = 32;
constexpr int kLeft = 37;
constexpr int kUp = 38;
constexpr int kRight = 39;
constexpr int kDown = 40;
constexpr int kDelete = 46;
constexpr int kF1 = 112;
constexpr int kF11 = 122;
constexpr int kF12 = 123;
constexpr int kCount = 256;
}  // namespace key

// The control character a key types without a text event of its own
// (Backspace, Tab, Enter, Escape type their own number), 0 for other keys.
constexpr int32_t ControlCharacterOfKey(int key_number) {
  switch (key_number) {
    case key::kBackspace:
    case key::kTab:
    case key::kEnter:
    case key::kEscape:
      return key_number;
  }
  return 0;
}

// The modifier keys held with an event, as bits.
namespace modifier {
constexpr int kShift = 1;
constexpr int kControl = 2;
constexpr int kAlt = 4;
}  // namespace modifier

// Mouse buttons as bits, the first button in bit 0.
namespace mouse_button {
constexpr int kLeft = 1;
constexpr int kRight = 2;
constexpr int kMiddle = 4;
}  // namespace mouse_button

enum class WindowEventKind {
  kClose,         // the user or the system asks the window to go
  kMove,          // a = left, b = top of the client area on the desktop
  kResize,        // a = width, b = height of the client area
  kActivate,      // the window got the input focus
  kDeactivate,    // the window lost it
  kPaint,         // the window's contents must be drawn again
  kKeyDown,       // a = key number, b = 1 when a held key repeats
  kKeyUp,         // a = key number
  kCharacter,     // a = character code 1..255 (Enter 13, Backspace 8, Escape 27)
  kMouseMove,     // a, b = position in the client area
  kMouseDown,     // a = mouse_button bit, with the position in x, y
  kMouseUp,       // a = mouse_button bit
  kMouseWheel,    // a = wheel steps, positive away from the user
  kSystemCommand  // a = command (kCloseCommand for the close command)
};

struct WindowEvent {
  WindowEventKind kind = WindowEventKind::kPaint;
  int32_t a = 0;
  int32_t b = 0;
  int32_t x = 0;
  int32_t y = 0;
  // The modifier keys held when the event happened (modifier bits): a
  // shortcut is decided by these, not by what is held when it is handled.
  int32_t modifiers = 0;
};

// The system command that closes a window; every other one is swallowed
// while a full-screen program is active.
constexpr int32_t kCloseCommand = 0xF060;

struct WindowRect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

enum class MessageBoxIcon { kNone, kError };

// How the desktop frames a window that does not cover the screen.
struct WindowFrame {
  bool border = false;     // a frame with a title bar
  bool resizable = false;  // a frame the user can drag to resize the window
  bool icon = false;       // the program's icon on the title bar
  friend bool operator==(const WindowFrame&, const WindowFrame&) = default;
};

// The program's one top-level window with its events, its mouse pointer and
// the message boxes shown over it. The SDL backend opens a real window; the
// headless one has none and plays a script of events instead.
class Window {
 public:
  virtual ~Window() = default;

  // Takes the next waiting event without blocking; false when none waits.
  virtual bool PollEvent(WindowEvent* event) = 0;
  // True while the key is held down now, whether or not its events have been
  // taken off the queue yet.
  virtual bool KeyHeld(int key_number) = 0;

  virtual void SetTitle(std::string_view title) = 0;
  virtual void SetFrame(const WindowFrame& frame) = 0;

  // Shows the window as it was (normal, minimised or maximised) and raises it.
  virtual void Show() = 0;
  virtual void Hide() = 0;
  // Each of these shows a hidden window as well.
  virtual void Minimise() = 0;
  virtual void Maximise() = 0;
  // Back to the normal size and place from minimised or maximised.
  virtual void Restore() = 0;
  // Places the client area on the desktop.
  virtual void SetPlacement(const WindowRect& rect) = 0;
  virtual WindowRect Placement() const = 0;
  // Size of the whole desktop, for windows that cover the screen.
  virtual WindowRect Desktop() const = 0;

  // The system arrow pointer over the window.
  virtual void ShowCursor(bool shown) = 0;
  // Keeps the mouse to the window while captured.
  virtual void CaptureMouse(bool captured) = 0;
  // Moves the pointer to a position in the client area.
  virtual void WarpMouse(int32_t x, int32_t y) = 0;
  // While grabbed, every key comes to the window, the desktop's own
  // shortcuts too (task switching and the like), rather than to the window
  // manager. The grab holds only while the window has the input focus and
  // ends with the window.
  virtual void GrabKeyboard(bool grabbed) = 0;

  // A modal box; returns when the user closes it. Works without a window.
  virtual void ShowMessageBox(std::string_view title, std::string_view text, MessageBoxIcon icon) = 0;

  // True when the window is real (something is shown to a user).
  virtual bool HasDisplay() const = 0;
  // True while events may still come: a real window's user may act at any
  // time; a headless window's script may run out.
  virtual bool EventsMayCome() const { return HasDisplay(); }
  // The backend's own window object for the display backend (SDL_Window*);
  // null for the headless window.
  virtual void* NativeHandle() = 0;
};

}  // namespace zv::platform
