#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>

#include "platform/input/axis_scale.h"
#include "platform/input/sdl/sdl_devices.h"
#include "platform/window/sdl/sdl_library.h"

namespace zv::platform::sdl_input {
namespace {

using HapticHandle = std::shared_ptr<SDL_Haptic>;

// ---- Control positions -------------------------------------------------------------

double AxisPosition(Sint16 value) { return std::max(-1.0, value / 32767.0); }

uint32_t PovOfHat(Uint8 hat) {
  switch (hat) {
    case SDL_HAT_UP: return 0;
    case SDL_HAT_RIGHTUP: return 4500;
    case SDL_HAT_RIGHT: return 9000;
    case SDL_HAT_RIGHTDOWN: return 13500;
    case SDL_HAT_DOWN: return 18000;
    case SDL_HAT_LEFTDOWN: return 22500;
    case SDL_HAT_LEFT: return 27000;
    case SDL_HAT_LEFTUP: return 31500;
  }
  return kPovCentred;
}

void SetAxis(ControlPositions& p, Axis axis, double position) {
  p.has_axis[static_cast<int>(axis)] = true;
  p.axes[static_cast<int>(axis)] = position;
}

// A game controller laid out as such pads report themselves to games: the
// left stick on x and y, the triggers together on z, the right stick on the
// rotations, the d-pad as the first hat.
ControlPositions ControllerPositions(SDL_GameController* pad) {
  ControlPositions p;
  auto axis = [pad](SDL_GameControllerAxis a) { return Sdl().SDL_GameControllerGetAxis(pad, a); };
  SetAxis(p, Axis::kX, AxisPosition(axis(SDL_CONTROLLER_AXIS_LEFTX)));
  SetAxis(p, Axis::kY, AxisPosition(axis(SDL_CONTROLLER_AXIS_LEFTY)));
  const double triggers =
      (axis(SDL_CONTROLLER_AXIS_TRIGGERLEFT) - axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT)) / 32767.0;
  SetAxis(p, Axis::kZ, std::clamp(triggers, -1.0, 1.0));
  SetAxis(p, Axis::kRx, AxisPosition(axis(SDL_CONTROLLER_AXIS_RIGHTX)));
  SetAxis(p, Axis::kRy, AxisPosition(axis(SDL_CONTROLLER_AXIS_RIGHTY)));

  constexpr SDL_GameControllerButton kButtons[] = {
      SDL_CONTROLLER_BUTTON_A,         SDL_CONTROLLER_BUTTON_B,          SDL_CONTROLLER_BUTTON_X,
      SDL_CONTROLLER_BUTTON_Y,         SDL_CONTROLLER_BUTTON_LEFTSHOULDER, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
      SDL_CONTROLLER_BUTTON_BACK,      SDL_CONTROLLER_BUTTON_START,      SDL_CONTROLLER_BUTTON_LEFTSTICK,
      SDL_CONTROLLER_BUTTON_RIGHTSTICK, SDL_CONTROLLER_BUTTON_GUIDE};
  int index = 0;
  for (SDL_GameControllerButton b : kButtons)
    p.buttons[index++] = Sdl().SDL_GameControllerGetButton(pad, b) ? kKeyHeld : 0;

  Uint8 hat = SDL_HAT_CENTERED;
  if (Sdl().SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_UP)) hat |= SDL_HAT_UP;
  if (Sdl().SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_DOWN)) hat |= SDL_HAT_DOWN;
  if (Sdl().SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_LEFT)) hat |= SDL_HAT_LEFT;
  if (Sdl().SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_RIGHT)) hat |= SDL_HAT_RIGHT;
  p.pov[0] = PovOfHat(hat);
  return p;
}

// Any other joystick: its axes in order (x, y, z, the rotations, then the
// sliders), its hats and buttons.
ControlPositions JoystickPositions(SDL_Joystick* joystick) {
  ControlPositions p;
  const int axes = std::min(Sdl().SDL_JoystickNumAxes(joystick), kAxisCount);
  for (int a = 0; a < axes; ++a) SetAxis(p, static_cast<Axis>(a), AxisPosition(Sdl().SDL_JoystickGetAxis(joystick, a)));
  const int hats = std::min<int>(Sdl().SDL_JoystickNumHats(joystick), static_cast<int>(p.pov.size()));
  for (int h = 0; h < hats; ++h) p.pov[h] = PovOfHat(Sdl().SDL_JoystickGetHat(joystick, h));
  const int buttons = std::min<int>(Sdl().SDL_JoystickNumButtons(joystick), static_cast<int>(p.buttons.size()));
  for (int b = 0; b < buttons; ++b) p.buttons[b] = Sdl().SDL_JoystickGetButton(joystick, b) ? kKeyHeld : 0;
  return p;
}

// ---- Effects -----------------------------------------------------------------------

Sint16 Level(int64_t value) { return static_cast<Sint16>(std::clamp<int64_t>(value, -10000, 10000) * 32767 / 10000); }
Uint16 Saturation(int64_t value) { return static_cast<Uint16>(std::clamp<int64_t>(value, 0, 10000) * 65535 / 10000); }

Uint32 LengthMs(uint32_t microseconds) {
  if (microseconds == kInfiniteDuration) return SDL_HAPTIC_INFINITY;
  return static_cast<Uint32>((uint64_t{microseconds} + 999) / 1000);
}

uint16_t SdlKind(EffectKind kind) {
  switch (kind) {
    case EffectKind::kConstant: return SDL_HAPTIC_CONSTANT;
    case EffectKind::kSine: return SDL_HAPTIC_SINE;
    case EffectKind::kTriangle: return SDL_HAPTIC_TRIANGLE;
    case EffectKind::kSawtoothUp: return SDL_HAPTIC_SAWTOOTHUP;
    case EffectKind::kSawtoothDown: return SDL_HAPTIC_SAWTOOTHDOWN;
    case EffectKind::kDamper: return SDL_HAPTIC_DAMPER;
    case EffectKind::kSquare: return 0;  // SDL plays no square wave
  }
  return 0;
}

SDL_HapticDirection Direction(const EffectParams& params) {
  SDL_HapticDirection d{};
  d.type = params.direction_kind == DirectionKind::kPolar ? SDL_HAPTIC_POLAR : SDL_HAPTIC_CARTESIAN;
  d.dir[0] = params.direction[0];
  if (params.direction_kind == DirectionKind::kCartesian) d.dir[1] = params.direction[1];
  return d;
}

// The SDL description of an effect; type 0 when SDL cannot play it.
SDL_HapticEffect Describe(const EffectParams& params) {
  SDL_HapticEffect e{};
  const uint16_t type = SdlKind(params.kind);
  if (type == 0) return e;
  if (params.kind == EffectKind::kConstant) {
    e.constant.type = type;
    e.constant.direction = Direction(params);
    e.constant.length = LengthMs(params.duration_us);
    e.constant.level = Level(params.constant.magnitude);
  } else if (params.kind == EffectKind::kDamper) {
    const ConditionForce& c = params.condition;
    e.condition.type = type;
    e.condition.direction = Direction(params);
    e.condition.length = LengthMs(params.duration_us);
    for (int axis = 0; axis < 2; ++axis) {
      e.condition.right_sat[axis] = Saturation(c.positive_saturation);
      e.condition.left_sat[axis] = Saturation(c.negative_saturation);
      e.condition.right_coeff[axis] = Level(c.positive_coefficient);
      e.condition.left_coeff[axis] = Level(c.negative_coefficient);
      e.condition.deadband[axis] = Saturation(c.dead_band);
      e.condition.center[axis] = Level(c.offset);
    }
  } else {
    const PeriodicForce& f = params.periodic;
    e.periodic.type = type;
    e.periodic.direction = Direction(params);
    e.periodic.length = LengthMs(params.duration_us);
    e.periodic.period = static_cast<Uint16>(std::min<Uint32>(LengthMs(f.period_us), 65535));
    e.periodic.magnitude = Level(f.magnitude);
    e.periodic.offset = Level(f.offset);
    e.periodic.phase = static_cast<Uint16>(f.phase % 36000);
  }
  return e;
}

class SdlEffect final : public ForceEffect {
 public:
  SdlEffect(HapticHandle haptic, int id) : haptic_(std::move(haptic)), id_(id) {}
  ~SdlEffect() override { Sdl().SDL_HapticDestroyEffect(haptic_.get(), id_); }

  EffectResult SetParameters(const EffectParams& params, uint32_t changes) override {
    SDL_HapticEffect e = Describe(params);
    if (e.type == 0 || Sdl().SDL_HapticUpdateEffect(haptic_.get(), id_, &e) != 0) return EffectResult::kFailed;
    if (changes & effect_change::kStart) return Start(1);
    return EffectResult::kOk;
  }
  EffectResult Start(uint32_t iterations) override {
    return Sdl().SDL_HapticRunEffect(haptic_.get(), id_, iterations) == 0 ? EffectResult::kOk : EffectResult::kFailed;
  }
  EffectResult Stop() override {
    return Sdl().SDL_HapticStopEffect(haptic_.get(), id_) == 0 ? EffectResult::kOk : EffectResult::kFailed;
  }

 private:
  HapticHandle haptic_;  // the device stays open while one of its effects lives
  int id_;
};

// ---- The joystick ----------------------------------------------------------------

class SdlJoystick final : public Joystick {
 public:
  // Takes over the references: `pad` (may be null) holds `joystick`.
  SdlJoystick(SDL_Joystick* joystick, SDL_GameController* pad) : joystick_(joystick), pad_(pad) {}
  ~SdlJoystick() override {
    haptic_.reset();
    if (pad_)
      Sdl().SDL_GameControllerClose(pad_);
    else
      Sdl().SDL_JoystickClose(joystick_);
  }

  bool Acquire() override {
    acquired_ = Sdl().SDL_JoystickGetAttached(joystick_) == SDL_TRUE;
    return acquired_;
  }
  void Unacquire() override { acquired_ = false; }
  void Poll() override { Sdl().SDL_JoystickUpdate(); }
  bool ReadState(JoystickState* state) override {
    if (!acquired_ || Sdl().SDL_JoystickGetAttached(joystick_) != SDL_TRUE) {
      acquired_ = false;
      return false;
    }
    *state = scale_.Apply(pad_ ? ControllerPositions(pad_) : JoystickPositions(joystick_));
    return true;
  }
  void SetAxisRange(Axis axis, int32_t min, int32_t max) override { scale_.SetRange(axis, min, max); }
  void SetDeadZone(uint32_t ten_thousandths) override { scale_.SetDeadZone(ten_thousandths); }

  bool SetAutoCenter(bool on) override {
    SDL_Haptic* haptic = Haptic();
    if (!haptic || !(Sdl().SDL_HapticQuery(haptic) & SDL_HAPTIC_AUTOCENTER)) return false;
    return Sdl().SDL_HapticSetAutocenter(haptic, on ? 100 : 0) == 0;
  }

  bool ListPeriodicKinds(std::vector<EffectKind>* kinds) override {
    kinds->clear();
    SDL_Haptic* haptic = Haptic();
    if (!haptic) return true;
    const unsigned int offered = Sdl().SDL_HapticQuery(haptic);
    for (EffectKind kind : {EffectKind::kSine, EffectKind::kTriangle, EffectKind::kSawtoothUp,
                            EffectKind::kSawtoothDown})
      if (offered & SdlKind(kind)) kinds->push_back(kind);
    return true;
  }

  EffectResult CreateEffect(const EffectParams& params, std::unique_ptr<ForceEffect>* effect) override {
    SDL_Haptic* haptic = Haptic();
    if (!haptic) return EffectResult::kFailed;
    SDL_HapticEffect e = Describe(params);
    if (e.type == 0 || !(Sdl().SDL_HapticQuery(haptic) & e.type)) return EffectResult::kFailed;
    const int id = Sdl().SDL_HapticNewEffect(haptic, &e);
    if (id < 0) return EffectResult::kFailed;
    *effect = std::make_unique<SdlEffect>(haptic_, id);
    return EffectResult::kOk;
  }

 private:
  // The haptic side of the joystick, opened when first needed.
  SDL_Haptic* Haptic() {
    if (!haptic_ && !haptic_tried_) {
      haptic_tried_ = true;
      if (Sdl().SDL_WasInit(SDL_INIT_HAPTIC) && Sdl().SDL_JoystickIsHaptic(joystick_) == 1)
        if (SDL_Haptic* h = Sdl().SDL_HapticOpenFromJoystick(joystick_))
          haptic_ = HapticHandle(h, Sdl().SDL_HapticClose);
    }
    return haptic_.get();
  }

  SDL_Joystick* joystick_;
  SDL_GameController* pad_;
  HapticHandle haptic_;
  bool haptic_tried_ = false;
  AxisScale scale_;
  bool acquired_ = false;
};

int DeviceIndexOf(SDL_JoystickID id) {
  const int count = Sdl().SDL_NumJoysticks();
  for (int i = 0; i < count; ++i)
    if (Sdl().SDL_JoystickGetDeviceInstanceID(i) == id) return i;
  return -1;
}

}  // namespace

std::unique_ptr<Joystick> OpenJoystick(SDL_JoystickID id) {
  const int index = DeviceIndexOf(id);
  if (index < 0) return nullptr;
  if (Sdl().SDL_IsGameController(index)) {
    SDL_GameController* pad = Sdl().SDL_GameControllerOpen(index);
    if (!pad) return nullptr;
    return std::make_unique<SdlJoystick>(Sdl().SDL_GameControllerGetJoystick(pad), pad);
  }
  SDL_Joystick* joystick = Sdl().SDL_JoystickOpen(index);
  if (!joystick) return nullptr;
  return std::make_unique<SdlJoystick>(joystick, nullptr);
}

bool HasForceFeedback(int device_index) {
  SDL_Joystick* joystick = Sdl().SDL_JoystickOpen(device_index);
  if (!joystick) return false;
  const bool haptic = Sdl().SDL_JoystickIsHaptic(joystick) == 1;
  Sdl().SDL_JoystickClose(joystick);
  return haptic;
}

}  // namespace zv::platform::sdl_input
