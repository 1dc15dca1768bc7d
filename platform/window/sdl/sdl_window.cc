#include "platform/window/sdl/sdl_window.h"

#include <SDL_syswm.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <deque>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/signals/ending_work.h"
#include "platform/text/code_page.h"
#include "platform/window/sdl/sdl_library.h"
#include "platform/window/sdl/sdl_message_box.h"
#include "platform/window/sdl/sdl_title.h"
#include "platform/window/sdl/x11_library.h"

namespace zv::platform {
namespace {

struct KeyPair {
  SDL_Scancode scancode;
  int key_number;
};

// Keys by position on the keyboard, so a key's number does not change with
// the layout, as the keyboard state that programs read does not.
constexpr KeyPair kKeys[] = {
    {SDL_SCANCODE_BACKSPACE, key::kBackspace}, {SDL_SCANCODE_TAB, key::kTab},
    {SDL_SCANCODE_RETURN, key::kEnter},        {SDL_SCANCODE_KP_ENTER, key::kEnter},
    {SDL_SCANCODE_LSHIFT, key::kShift},        {SDL_SCANCODE_RSHIFT, key::kShift},
    {SDL_SCANCODE_LCTRL, key::kControl},       {SDL_SCANCODE_RCTRL, key::kControl},
    {SDL_SCANCODE_LALT, key::kAlt},            {SDL_SCANCODE_RALT, key::kAlt},
    {SDL_SCANCODE_PAUSE, 19},                  {SDL_SCANCODE_CAPSLOCK, 20},
    {SDL_SCANCODE_ESCAPE, key::kEscape},       {SDL_SCANCODE_SPACE, key::kSpace},
    {SDL_SCANCODE_PAGEUP, 33},                 {SDL_SCANCODE_PAGEDOWN, 34},
    {SDL_SCANCODE_END, 35},                    {SDL_SCANCODE_HOME, 36},
    {SDL_SCANCODE_LEFT, key::kLeft},           {SDL_SCANCODE_UP, key::kUp},
    {SDL_SCANCODE_RIGHT, key::kRight},         {SDL_SCANCODE_DOWN, key::kDown},
    {SDL_SCANCODE_INSERT, 45},                 {SDL_SCANCODE_DELETE, key::kDelete},
    {SDL_SCANCODE_KP_0, 96},                   {SDL_SCANCODE_KP_MULTIPLY, 106},
    {SDL_SCANCODE_KP_PLUS, 107},               {SDL_SCANCODE_KP_MINUS, 109},
    {SDL_SCANCODE_KP_PERIOD, 110},             {SDL_SCANCODE_KP_DIVIDE, 111},
    {SDL_SCANCODE_KP_EQUALS, 146},             {SDL_SCANCODE_KP_COMMA, 108},
    // The keys of punctuation, by their place on a US keyboard.
    {SDL_SCANCODE_SEMICOLON, 186},             {SDL_SCANCODE_EQUALS, 187},
    {SDL_SCANCODE_COMMA, 188},                 {SDL_SCANCODE_MINUS, 189},
    {SDL_SCANCODE_PERIOD, 190},                {SDL_SCANCODE_SLASH, 191},
    {SDL_SCANCODE_GRAVE, 192},                 {SDL_SCANCODE_LEFTBRACKET, 219},
    {SDL_SCANCODE_BACKSLASH, 220},             {SDL_SCANCODE_NONUSHASH, 220},
    {SDL_SCANCODE_RIGHTBRACKET, 221},          {SDL_SCANCODE_APOSTROPHE, 222},
    {SDL_SCANCODE_NONUSBACKSLASH, 226},        {SDL_SCANCODE_INTERNATIONAL1, 226},
    {SDL_SCANCODE_INTERNATIONAL3, 220},
};

int FindKeyNumber(SDL_Scancode scancode) {
  if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z) return 'A' + (scancode - SDL_SCANCODE_A);
  if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9) return '1' + (scancode - SDL_SCANCODE_1);
  if (scancode == SDL_SCANCODE_0) return '0';
  if (scancode >= SDL_SCANCODE_F1 && scancode <= SDL_SCANCODE_F12) return key::kF1 + (scancode - SDL_SCANCODE_F1);
  if (scancode >= SDL_SCANCODE_KP_1 && scancode <= SDL_SCANCODE_KP_9) return 97 + (scancode - SDL_SCANCODE_KP_1);
  for (const KeyPair& k : kKeys)
    if (k.scancode == scancode) return k.key_number;
  return 0;
}

int32_t ModifiersOf(uint16_t sdl_mod) {
  return ((sdl_mod & KMOD_SHIFT) ? modifier::kShift : 0) | ((sdl_mod & KMOD_CTRL) ? modifier::kControl : 0) |
         ((sdl_mod & KMOD_ALT) ? modifier::kAlt : 0);
}

int ButtonBit(uint8_t sdl_button) {
  switch (sdl_button) {
    case SDL_BUTTON_LEFT: return mouse_button::kLeft;
    case SDL_BUTTON_RIGHT: return mouse_button::kRight;
    case SDL_BUTTON_MIDDLE: return mouse_button::kMiddle;
  }
  return 0;
}

// The program's icon: a white Z on blue, drawn here since no icon file
// ships with the program.
constexpr int kIconSize = 32;

SDL_Surface* MakeProgramIcon() {
  SDL_Surface* icon = Sdl().SDL_CreateRGBSurfaceWithFormat(0, kIconSize, kIconSize, 32, SDL_PIXELFORMAT_ARGB8888);
  if (!icon) return nullptr;
  const int stroke = 5, inset = 6;
  for (int y = 0; y < kIconSize; ++y) {
    auto* row = reinterpret_cast<Uint32*>(static_cast<Uint8*>(icon->pixels) + y * icon->pitch);
    for (int x = 0; x < kIconSize; ++x) {
      bool inside = x >= inset && x < kIconSize - inset && y >= inset && y < kIconSize - inset;
      bool bar = y < inset + stroke || y >= kIconSize - inset - stroke;
      // the diagonal from the top right to the bottom left
      int diagonal = (kIconSize - 1 - x) - y;
      bool slash = diagonal > -stroke / 2 - 2 && diagonal < stroke / 2 + 2;
      row[x] = inside && (bar || slash) ? 0xFFFFFFFFu : 0xFF2050A0u;
    }
  }
  return icon;
}

// Brings SDL's view of the window up to the X server's: the events the
// server has sent so far are taken into SDL's queue, and SDL's state of the
// window (shown, minimised, maximised) follows them.
void CatchUpWithServer(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (Sdl().SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11)
    X11().XSync(info.info.x11.display, False);
  Sdl().SDL_PumpEvents();
}

// SDL holds the pointer for its relative mode (the full-screen picture's
// own pointer) whenever it takes the window for focused, and asks the X
// server again and again for 5 s when the window cannot be seen: a window
// that the program minimises while full screen, still focused as SDL sees
// it, would hold the program up. The mode is let go first; the full-screen
// picture takes it back once the window is in front again (SdlPresenter).
void LetGoOfPointer() { Sdl().SDL_SetRelativeMouseMode(SDL_FALSE); }

// A button held when the window lost the focus (minimised with the button
// down, say) and let go meanwhile sent its release elsewhere: SDL still
// holds it down, for the events and its mouse state alike, and would drop
// the next press of it as no change. While another window has the focus,
// and once it is back, the server's own buttons say which were let go, and
// SDL is given each release it missed, as the server would have given it;
// the sync has them read by the next look at the events.
void ReleaseButtonsLetGo(SDL_Window* window) {
  const Uint32 held_by_sdl = Sdl().SDL_GetMouseState(nullptr, nullptr);
  if (held_by_sdl == 0) return;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!Sdl().SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
  Display* display = info.info.x11.display;
  XEvent event{};
  XButtonEvent& release = event.xbutton;
  int window_x = 0, window_y = 0;
  unsigned int held = 0;
  if (!X11().XQueryPointer(display, info.info.x11.window, &release.root, &release.subwindow, &release.x_root,
                           &release.y_root, &window_x, &window_y, &held))
    return;
  // X and SDL number the first three buttons alike: 1 left, 2 middle, 3 right.
  constexpr unsigned int kMasks[] = {Button1Mask, Button2Mask, Button3Mask};
  bool sent = false;
  for (unsigned int button = 1; button <= 3; ++button) {
    if ((held_by_sdl & SDL_BUTTON(button)) == 0 || (held & kMasks[button - 1]) != 0) continue;
    release.type = ButtonRelease;
    release.display = display;
    release.window = info.info.x11.window;
    release.subwindow = None;
    release.time = CurrentTime;
    release.x = window_x;
    release.y = window_y;
    release.state = held | kMasks[button - 1];
    release.button = button;
    release.same_screen = True;
    sent = X11().XSendEvent(display, release.window, False, ButtonReleaseMask, &event) != 0 || sent;
  }
  if (sent) X11().XSync(display, False);
}

// SDL cannot take an icon away once set; on X11 the property goes.
void RemoveIcon(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!Sdl().SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
  Display* display = info.info.x11.display;
  X11().XDeleteProperty(display, info.info.x11.window, X11().XInternAtom(display, "_NET_WM_ICON", False));
  X11().XFlush(display);
}

// Which presses of a key are repeats of a key held down. SDL takes a press
// that follows a release of the same key within 2 ms for a repeat and
// drops the release, so two quick presses (a paste tool, automation) would
// count as one held key. With the server's detectable auto-repeat a held
// key sends no releases between its repeats, so a release that SDL dropped
// is proof of two presses; the X server's own events (SDL_SYSWMEVENT)
// show it.
class KeyReleases {
 public:
  explicit KeyReleases(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!Sdl().SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
    Bool detectable = False;
    X11().XkbSetDetectableAutoRepeat(info.info.x11.display, True, &detectable);
    if (!detectable) return;
    watching_ = true;
    Sdl().SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
  }

  // The X server's event, in order before what SDL makes of it.
  void Saw(const SDL_SysWMmsg& message) {
    if (!watching_ || message.subsystem != SDL_SYSWM_X11) return;
    const XEvent& x = message.msg.x11.event;
    // SDL's key down follows its press at once: after any other event none
    // is to come.
    fresh_press_ = false;
    if (x.type != KeyPress && x.type != KeyRelease) return;
    const size_t code = x.xkey.keycode % released_.size();
    if (x.type == KeyRelease) {
      released_[code] = true;
    } else {
      fresh_press_ = released_[code];
      released_[code] = false;
    }
  }

  // Whether SDL's key down, which came right after the server's press, is
  // a repeat of a key that stayed down.
  bool Repeats(const SDL_KeyboardEvent& key) {
    const bool fresh = std::exchange(fresh_press_, false);
    return key.repeat != 0 && !fresh;
  }

 private:
  bool watching_ = false;
  std::array<bool, 256> released_{};  // by X key code: let go since its last press
  bool fresh_press_ = false;          // the last press followed a release
};

class SdlWindow final : public Window {
 public:
  explicit SdlWindow(SDL_Window* window) : window_(window), releases_(window) {}
  ~SdlWindow() override {
    Sdl().SDL_DestroyWindow(window_);
    Sdl().SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }

  bool PollEvent(WindowEvent* out) override {
    while (pending_.empty()) {
      SDL_Event e;
      if (Sdl().SDL_PollEvent(&e)) {
        Translate(e);
        continue;
      }
      // A program in a window runs on behind another: a button let go
      // there reads up at once, not when the focus comes back.
      if (Sdl().SDL_GetKeyboardFocus() != window_) ReleaseButtonsLetGo(window_);
      return false;
    }
    *out = pending_.front();
    pending_.pop_front();
    return true;
  }

  bool KeyHeld(int key_number) override {
    Sdl().SDL_PumpEvents();
    int count = 0;
    const Uint8* state = Sdl().SDL_GetKeyboardState(&count);
    for (int scancode = 0; scancode < count; ++scancode)
      if (state[scancode] && FindKeyNumber(static_cast<SDL_Scancode>(scancode)) == key_number) return true;
    return false;
  }

  void SetTitle(std::string_view title) override { SetSdlWindowTitle(window_, title); }
  void SetFrame(const WindowFrame& frame) override {
    Sdl().SDL_SetWindowBordered(window_, frame.border ? SDL_TRUE : SDL_FALSE);
    Sdl().SDL_SetWindowResizable(window_, frame.resizable ? SDL_TRUE : SDL_FALSE);
    if (icon_shown_ == frame.icon) return;
    icon_shown_ = frame.icon;
    if (!frame.icon) {
      RemoveIcon(window_);
    } else if (SDL_Surface* icon = MakeProgramIcon()) {
      Sdl().SDL_SetWindowIcon(window_, icon);
      Sdl().SDL_FreeSurface(icon);
    }
  }
  void Show() override {
    Sdl().SDL_ShowWindow(window_);
    Sdl().SDL_RaiseWindow(window_);
  }
  void Hide() override { Sdl().SDL_HideWindow(window_); }
  void Minimise() override {
    Sdl().SDL_ShowWindow(window_);
    LetGoOfPointer();
    Sdl().SDL_MinimizeWindow(window_);
  }
  void Maximise() override {
    Sdl().SDL_ShowWindow(window_);
    Sdl().SDL_MaximizeWindow(window_);
  }
  void Restore() override {
    // SDL restores only what it knows to be minimised or maximised: what the
    // window manager has done by now must reach it first.
    CatchUpWithServer(window_);
    Sdl().SDL_ShowWindow(window_);
    Sdl().SDL_RestoreWindow(window_);
  }
  void SetPlacement(const WindowRect& r) override {
    Sdl().SDL_SetWindowPosition(window_, r.x, r.y);
    asked_position_ = SDL_Point{r.x, r.y};
    asked_at_ = Sdl().SDL_GetTicks64();
    if (r.width > 0 && r.height > 0) Sdl().SDL_SetWindowSize(window_, r.width, r.height);
  }
  WindowRect Placement() const override {
    WindowRect r;
    Sdl().SDL_GetWindowPosition(window_, &r.x, &r.y);
    Sdl().SDL_GetWindowSize(window_, &r.width, &r.height);
    return r;
  }
  WindowRect Desktop() const override {
    SDL_Rect bounds{0, 0, 640, 480};
    Sdl().SDL_GetDisplayUsableBounds(Sdl().SDL_GetWindowDisplayIndex(window_), &bounds);
    return {bounds.x, bounds.y, bounds.w, bounds.h};
  }
  void ShowCursor(bool shown) override { Sdl().SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE); }
  void CaptureMouse(bool captured) override { Sdl().SDL_CaptureMouse(captured ? SDL_TRUE : SDL_FALSE); }
  void WarpMouse(int32_t x, int32_t y) override { Sdl().SDL_WarpMouseInWindow(window_, x, y); }
  // SDL lets go of the grab while the window is not focused and takes it
  // again when the focus comes back.
  void GrabKeyboard(bool grabbed) override { Sdl().SDL_SetWindowKeyboardGrab(window_, grabbed ? SDL_TRUE : SDL_FALSE); }
  // Once the program was asked to go while a box showed, later boxes (the
  // exit prompt after an error box) do not hold it up.
  void ShowMessageBox(std::string_view title, std::string_view text, MessageBoxIcon icon) override {
    if (quit_asked_) return;
    // A box over a full-screen picture needs the desktop's pointer to be
    // clicked; the picture's own pointer takes it back afterwards.
    const SDL_bool held = Sdl().SDL_GetRelativeMouseMode();
    Sdl().SDL_SetRelativeMouseMode(SDL_FALSE);
    quit_asked_ = RunSdlMessageBox(window_, title, text, icon);
    Sdl().SDL_SetRelativeMouseMode(held);
  }
  bool HasDisplay() const override { return true; }
  void* NativeHandle() override { return window_; }

 private:
  // Each event carries the modifiers of the last key event before it: SDL's
  // own modifier state is already that of the last event it has queued.
  void Add(WindowEventKind kind, int32_t a = 0, int32_t b = 0, int32_t x = 0, int32_t y = 0) {
    pending_.push_back({kind, a, b, x, y, modifiers_});
  }

  void Translate(const SDL_Event& e) {
    if (e.type == SDL_KEYDOWN || e.type == SDL_KEYUP) modifiers_ = ModifiersOf(e.key.keysym.mod);
    switch (e.type) {
      case SDL_QUIT:
        Add(WindowEventKind::kClose);
        break;
      case SDL_WINDOWEVENT:
        TranslateWindowEvent(e.window);
        break;
      case SDL_SYSWMEVENT:
        if (e.syswm.msg) releases_.Saw(*e.syswm.msg);
        break;
      case SDL_KEYDOWN: {
        const bool repeats = releases_.Repeats(e.key);
        int k = FindKeyNumber(e.key.keysym.scancode);
        if (k == 0) break;
        Add(WindowEventKind::kKeyDown, k, repeats ? 1 : 0);
        if (int32_t c = ControlCharacterOfKey(k)) Add(WindowEventKind::kCharacter, c);
        break;
      }
      case SDL_KEYUP:
        if (int k = FindKeyNumber(e.key.keysym.scancode)) Add(WindowEventKind::kKeyUp, k);
        break;
      case SDL_TEXTINPUT:
        AddText(e.text.text);
        break;
      case SDL_MOUSEMOTION:
        Add(WindowEventKind::kMouseMove, e.motion.x, e.motion.y, e.motion.x, e.motion.y);
        break;
      case SDL_MOUSEBUTTONDOWN:
        if (int bit = ButtonBit(e.button.button))
          Add(WindowEventKind::kMouseDown, bit, 0, e.button.x, e.button.y);
        break;
      case SDL_MOUSEBUTTONUP:
        if (int bit = ButtonBit(e.button.button)) Add(WindowEventKind::kMouseUp, bit, 0, e.button.x, e.button.y);
        break;
      case SDL_MOUSEWHEEL:
        Add(WindowEventKind::kMouseWheel, e.wheel.y);
        break;
    }
  }

  void TranslateWindowEvent(const SDL_WindowEvent& w) {
    switch (w.event) {
      case SDL_WINDOWEVENT_CLOSE: Add(WindowEventKind::kClose); break;
      case SDL_WINDOWEVENT_MOVED:
        Add(WindowEventKind::kMove, w.data1, w.data2);
        PutRightOnce(w.data1, w.data2);
        break;
      case SDL_WINDOWEVENT_SIZE_CHANGED: Add(WindowEventKind::kResize, w.data1, w.data2); break;
      case SDL_WINDOWEVENT_FOCUS_GAINED:
        ReleaseButtonsLetGo(window_);
        Add(WindowEventKind::kActivate);
        break;
      case SDL_WINDOWEVENT_FOCUS_LOST: Add(WindowEventKind::kDeactivate); break;
      case SDL_WINDOWEVENT_EXPOSED: Add(WindowEventKind::kPaint); break;
    }
  }

  // A window manager that has not yet told SDL how large a frame it adds
  // (the decorations just changed) puts the frame, not the inside, where the
  // program asked; the first move it reports soon after a placement is put
  // right. Later moves are the user's.
  void PutRightOnce(int32_t x, int32_t y) {
    if (!asked_position_) return;
    const SDL_Point asked = *asked_position_;
    asked_position_.reset();
    if (Sdl().SDL_GetTicks64() - asked_at_ > 1000) return;
    if (x != asked.x || y != asked.y) Sdl().SDL_SetWindowPosition(window_, asked.x, asked.y);
  }

  // Typed text arrives as UTF-8; programs see one character per letter the
  // Windows-1252 page holds and nothing for the others.
  void AddText(const char* utf8) {
    for (const char c : TypedCp1252(utf8)) {
      const auto code = static_cast<uint8_t>(c);
      if (code >= 32 && code != 127) Add(WindowEventKind::kCharacter, code);
    }
  }

  SDL_Window* window_;
  KeyReleases releases_;
  std::deque<WindowEvent> pending_;
  int32_t modifiers_ = 0;
  std::optional<bool> icon_shown_;  // unknown until the first frame is set
  bool quit_asked_ = false;
  std::optional<SDL_Point> asked_position_;
  Uint64 asked_at_ = 0;
};

// The displays the environment names, as a person would look them up.
std::string NamedDisplays() {
  std::string named;
  for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(variable);
    if (!value || !*value) continue;
    if (!named.empty()) named += " or ";
    named += std::string(variable) + "=" + value;
  }
  return "cannot open a window on " + named;
}

bool NoDisplayDriver(std::string_view driver) { return driver == "offscreen" || driver == "dummy"; }

struct XConnectionCloser {
  void operator()(Display* display) const { X11().XCloseDisplay(display); }
};
using XConnection = std::unique_ptr<Display, XConnectionCloser>;

// A connection of ours to the X server that DISPLAY names, or null where
// none answers or it refuses us. Whoever looks keeps it open until the
// window's own connection is up: the last client's leaving makes a server
// started without -noreset start over, dropping a connection being made.
XConnection OpenXConnection() { return XConnection(X11().XOpenDisplay(nullptr)); }

// Why no display could be opened, where SDL says only that its X11 driver
// is "not available" and falls back on its offscreen driver.
std::string WhyNoDisplay() {
  const char* x11 = std::getenv("DISPLAY");
  if (!x11 || !*x11) return "the Wayland compositor cannot be reached";
  if (!OpenXConnection()) return "no X server answers there, or it refused the connection";
  return "SDL's X11 video driver did not start";
}

// The X server's connection ended under the process (the server ended: a
// logout, a crashed desktop session). Xlib cannot go on and ends the
// process once this returns, so the ending work (what the user would lose,
// platform/signals/ending_work.h) is done here first; it needs no server.
extern "C" int EndOnLostDisplay(Display* display) {
  const char* name = display ? X11().XDisplayString(display) : nullptr;
  const std::string message = std::string("zentrovex: the display is lost: the X server on DISPLAY=") +
                              (name ? name : "") + " closed the connection\n";
  // A plain write: another thread may hold a lock of the C streams.
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, message.data(), message.size());
  DoEndingWork();
  ::_exit(kDisplayLostStatus);
}

// The window on the display the environment names, with SDL's video
// started for it.
std::unique_ptr<Window> OpenWindowOnDisplay(const SdlWindowOptions& options, std::string* error) {
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const bool x11_only = !wayland || !*wayland;
  XConnection looked;
  if (x11_only && !(looked = OpenXConnection())) {
    if (error) *error = NamedDisplays() + ": " + WhyNoDisplay();
    return nullptr;
  }
  if (Sdl().SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    if (error) *error = NamedDisplays() + ": " + Sdl().SDL_GetError();
    return nullptr;
  }
  // SDL falls back on its offscreen driver when the display named cannot
  // be reached.
  if (NoDisplayDriver(Sdl().SDL_GetCurrentVideoDriver() ? Sdl().SDL_GetCurrentVideoDriver() : "")) {
    Sdl().SDL_QuitSubSystem(SDL_INIT_VIDEO);
    if (error) *error = NamedDisplays() + ": " + WhyNoDisplay();
    return nullptr;
  }
  // Set before the window exists: a server lost at any moment after it
  // shows ends the run as a lost display.
  X11().XSetIOErrorHandler(EndOnLostDisplay);
  SDL_Window* window = Sdl().SDL_CreateWindow(options.title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                              options.width, options.height, SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
  if (!window) {
    if (error) *error = NamedDisplays() + ": " + Sdl().SDL_GetError();
    Sdl().SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return nullptr;
  }
  // The renderer SDL picks may make the window again with other flags.
  // Done while it is hidden, the desktop never sees a window that goes at
  // once, and the presenter's renderer finds the window as it needs it.
  if (SDL_Renderer* probe = Sdl().SDL_CreateRenderer(window, -1, 0)) Sdl().SDL_DestroyRenderer(probe);
  RenameRemadeSdlWindow(window);
  Sdl().SDL_ShowWindow(window);
  return std::make_unique<SdlWindow>(window);
}

}  // namespace

int KeyNumberOfScancode(int scancode) { return FindKeyNumber(static_cast<SDL_Scancode>(scancode)); }

bool DisplayNamed() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  // A driver without a display, asked for by name, means none.
  if (driver && NoDisplayDriver(driver)) return false;
  return (x11 && *x11) || (wayland && *wayland);
}

std::unique_ptr<Window> OpenSdlWindow(const SdlWindowOptions& options, std::string* error) {
  // Without an X server or a Wayland compositor there is nobody to show a
  // window to; SDL would still offer its offscreen driver.
  if (!DisplayNamed()) {
    if (error) *error = "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    return nullptr;
  }
  // SDL and Xlib are loaded here, once, at the start of a run that shows a
  // window; a machine without them cannot show one.
  try {
    return OpenWindowOnDisplay(options, error);
  } catch (const LibraryMissing& missing) {
    if (error) *error = NamedDisplays() + ": " + missing.what();
    return nullptr;
  }
}

}  // namespace zv::platform
