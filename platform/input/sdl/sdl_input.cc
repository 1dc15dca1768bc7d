#include "platform/input/sdl/sdl_input.h"

#include <array>
#include <atomic>

#include "platform/input/sdl/sdl_devices.h"
#include "platform/window/sdl/sdl_library.h"

namespace zv::platform {
namespace sdl_input {
namespace {

// A wheel notch moves the mouse's z axis by this much, as programs expect of
// a wheel mouse.
constexpr int32_t kWheelNotch = 120;

// SDL's masks of the buttons of MouseState, in its order.
constexpr std::array<Uint32, 4> kButtonMasks = {SDL_BUTTON_LMASK, SDL_BUTTON_RMASK, SDL_BUTTON_MMASK,
                                                 SDL_BUTTON_X1MASK};

// The keyboard and the mouse follow the window that has the focus; with none
// of ours in front they cannot be read.
bool WindowHasFocus() { return Sdl().SDL_GetKeyboardFocus() != nullptr; }

class SdlKeyboard final : public Keyboard {
 public:
  bool Acquire() override {
    Sdl().SDL_PumpEvents();
    acquired_ = WindowHasFocus();
    if (acquired_) window_id_ = Sdl().SDL_GetWindowID(Sdl().SDL_GetKeyboardFocus());
    return acquired_;
  }
  void Unacquire() override { acquired_ = false; }
  bool ReadState(KeyboardState* state) override {
    Sdl().SDL_PumpEvents();
    if (!acquired_ || !WindowHasFocus()) {
      acquired_ = false;
      return false;
    }
    int count = 0;
    const Uint8* keys = Sdl().SDL_GetKeyboardState(&count);
    KeyboardState read{};
    for (int sdl_scancode = 0; sdl_scancode < count; ++sdl_scancode) {
      if (!keys[sdl_scancode]) continue;
      if (uint8_t code = ScanCodeOfSdlScancode(sdl_scancode)) read[code] = kKeyHeld;
    }
    // A key held since before the focus came back is up for SDL until it is
    // pressed again: one the program read held stays held while the desktop
    // holds it. The desktop is asked only when a key went up.
    bool went_up = false;
    for (size_t k = 0; k < read.size(); ++k) went_up = went_up || ((*state)[k] && !read[k]);
    if (went_up) {
      ReadReleases(state);
      for (size_t k = 0; k < read.size(); ++k) read[k] |= (*state)[k];
    }
    *state = read;
    return true;
  }
  void ReadReleases(KeyboardState* state) override {
    const std::optional<std::bitset<256>> held = KeysHeldOnDesktop(window_id_);
    for (size_t k = 0; k < state->size(); ++k)
      if (!held || !held->test(k)) (*state)[k] = 0;
  }

 private:
  bool acquired_ = false;
  Uint32 window_id_ = 0;  // the window the keyboard was last acquired for
};

class SdlMouse final : public Mouse {
 public:
  SdlMouse() { Sdl().SDL_AddEventWatch(WatchWheel, this); }
  ~SdlMouse() override { Sdl().SDL_DelEventWatch(WatchWheel, this); }

  bool Acquire() override {
    Sdl().SDL_PumpEvents();
    acquired_ = WindowHasFocus();
    if (acquired_) {
      // Moves made before the mouse was ours are not reported.
      Sdl().SDL_GetRelativeMouseState(nullptr, nullptr);
      notches_ = 0;
    }
    return acquired_;
  }
  void Unacquire() override { acquired_ = false; }
  bool ReadState(MouseState* state) override {
    Sdl().SDL_PumpEvents();
    if (!acquired_ || !WindowHasFocus()) {
      acquired_ = false;
      return false;
    }
    int dx = 0, dy = 0;
    const Uint32 buttons = Sdl().SDL_GetRelativeMouseState(&dx, &dy);
    state->x = dx;
    state->y = dy;
    state->z = notches_.exchange(0) * kWheelNotch;
    for (size_t b = 0; b < kButtonMasks.size(); ++b) state->buttons[b] = (buttons & kButtonMasks[b]) ? kKeyHeld : 0;
    return true;
  }
  // The window lets SDL know of each button the desktop let go of while
  // another window had the focus (SdlWindow).
  void ReadReleases(MouseState* state) override {
    Sdl().SDL_PumpEvents();
    const Uint32 buttons = Sdl().SDL_GetMouseState(nullptr, nullptr);
    for (size_t b = 0; b < kButtonMasks.size(); ++b)
      if ((buttons & kButtonMasks[b]) == 0) state->buttons[b] = 0;
  }

 private:
  // SDL keeps no wheel position, so the wheel's events are counted as SDL
  // queues them.
  static int SDLCALL WatchWheel(void* self, SDL_Event* event) {
    if (event->type != SDL_MOUSEWHEEL) return 1;
    int notches = event->wheel.y;
    if (event->wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
    static_cast<SdlMouse*>(self)->notches_ += notches;
    return 1;
  }

  bool acquired_ = false;
  std::atomic<int32_t> notches_{0};
};

}  // namespace

std::unique_ptr<Keyboard> MakeKeyboard() { return std::make_unique<SdlKeyboard>(); }
std::unique_ptr<Mouse> MakeMouse() { return std::make_unique<SdlMouse>(); }

}  // namespace sdl_input

namespace {

class SdlInput final : public InputSystem {
 public:
  ~SdlInput() override { Close(); }

  bool Open() override {
    if (open_) return true;
    // Joysticks are read whichever window has the focus.
    Sdl().SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (Sdl().SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) != 0) return false;
    // Without haptics the controllers still work, without force feedback.
    haptic_ = Sdl().SDL_InitSubSystem(SDL_INIT_HAPTIC) == 0;
    open_ = true;
    return true;
  }

  void Close() override {
    if (!open_) return;
    if (haptic_) Sdl().SDL_QuitSubSystem(SDL_INIT_HAPTIC);
    Sdl().SDL_QuitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
    open_ = haptic_ = false;
  }

  std::unique_ptr<Keyboard> OpenKeyboard() override {
    if (!open_ || !Sdl().SDL_WasInit(SDL_INIT_VIDEO)) return nullptr;
    return sdl_input::MakeKeyboard();
  }
  std::unique_ptr<Mouse> OpenMouse() override {
    if (!open_ || !Sdl().SDL_WasInit(SDL_INIT_VIDEO)) return nullptr;
    return sdl_input::MakeMouse();
  }

  bool ListControllers(ControllerClass controller_class, bool force_feedback_only,
                       std::vector<ControllerInfo>* controllers) override {
    controllers->clear();
    if (!open_) return false;
    // SDL offers game controllers and joysticks only.
    if (controller_class != ControllerClass::kJoystick) return true;
    const int count = Sdl().SDL_NumJoysticks();
    if (count < 0) return false;
    for (int i = 0; i < count; ++i) {
      const bool force_feedback = haptic_ && sdl_input::HasForceFeedback(i);
      if (force_feedback_only && !force_feedback) continue;
      const char* name =
          Sdl().SDL_IsGameController(i) ? Sdl().SDL_GameControllerNameForIndex(i) : Sdl().SDL_JoystickNameForIndex(i);
      controllers->push_back(
          {name ? name : "", ControllerClass::kJoystick, force_feedback, Sdl().SDL_JoystickGetDeviceInstanceID(i)});
    }
    return true;
  }

  std::unique_ptr<Joystick> OpenJoystick(const ControllerInfo& controller) override {
    if (!open_) return nullptr;
    return sdl_input::OpenJoystick(static_cast<SDL_JoystickID>(controller.id));
  }

 private:
  bool open_ = false;
  bool haptic_ = false;
};

}  // namespace

std::unique_ptr<InputSystem> MakeSdlInput() { return std::make_unique<SdlInput>(); }

}  // namespace zv::platform
