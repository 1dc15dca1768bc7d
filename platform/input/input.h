#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zv::platform {

// ---- State blocks, in the layouts programs were written against --------------------

// One byte per keyboard scan code (platform/input/key_codes.h); bit 7 is set
// while the key is held.
using KeyboardState = std::array<uint8_t, 256>;
constexpr uint8_t kKeyHeld = 0x80;

// The mouse since its last read: relative moves (z is the wheel, 120 per
// notch) and one byte per button, non-zero while held. Button 0 is the left
// button, 1 the right, 2 the middle one, 3 the first side button.
struct MouseState {
  int32_t x = 0;
  int32_t y = 0;
  int32_t z = 0;
  std::array<uint8_t, 4> buttons{};
};

// A point-of-view hat at rest: no direction.
constexpr uint32_t kPovCentred = 0xFFFFFFFF;

// A game controller as its last read left it: axes within each axis's range,
// point-of-view hats in hundredths of a degree clockwise from north (or
// kPovCentred), button bytes non-zero while held. Axes and hats the device
// lacks read 0 and centred, as does the state of a joystick never read (none
// attached): a hat at 0 would be held forward.
struct JoystickState {
  int32_t x = 0;
  int32_t y = 0;
  int32_t z = 0;
  int32_t rx = 0;
  int32_t ry = 0;
  int32_t rz = 0;
  std::array<int32_t, 2> sliders{};
  std::array<uint32_t, 4> pov{kPovCentred, kPovCentred, kPovCentred, kPovCentred};
  std::array<uint8_t, 32> buttons{};
};

enum class Axis { kX, kY, kZ, kRx, kRy, kRz, kSlider0, kSlider1 };
constexpr int kAxisCount = 8;

// The range an axis reports until told otherwise.
constexpr int32_t kDefaultAxisMin = 0;
constexpr int32_t kDefaultAxisMax = 65535;

// ---- Devices ---------------------------------------------------------------------------

// Every device reads only while acquired. The keyboard and the mouse belong
// to the window in the foreground: they cannot be acquired while it lacks the
// focus and lose their acquisition when it goes. Joysticks read in the
// background too.
class InputDevice {
 public:
  virtual ~InputDevice() = default;
  // False when the device cannot be acquired now.
  virtual bool Acquire() = 0;
  virtual void Unacquire() = 0;
};

class Keyboard : public InputDevice {
 public:
  // False, leaving `state` as it was, when the device is not acquired or
  // has lost its acquisition.
  virtual bool ReadState(KeyboardState* state) = 0;
  // While the window lacks the focus nothing new is read (the keys belong
  // to the window in front), but each key of `state` that the desktop no
  // longer holds down is let go. A backend that cannot tell lets go of all.
  virtual void ReadReleases(KeyboardState* state) { state->fill(0); }
};

class Mouse : public InputDevice {
 public:
  // The moves since the last read; false as for the keyboard. Moves made
  // while the mouse was not acquired are not reported.
  virtual bool ReadState(MouseState* state) = 0;
  // The keyboard's ReadReleases for the buttons of `state`; the moves stay.
  virtual void ReadReleases(MouseState* state) { state->buttons.fill(0); }
};

// ---- Force feedback ----------------------------------------------------------------------

enum class EffectKind {
  kConstant,
  kSine,
  kSquare,
  kTriangle,
  kSawtoothUp,
  kSawtoothDown,
  kDamper,
};

// An effect that never ends by itself.
constexpr uint32_t kInfiniteDuration = 0xFFFFFFFF;

enum class DirectionKind {
  kPolar,      // direction[0]: hundredths of a degree clockwise from north
  kCartesian,  // direction: x, y
};

struct ConstantForce {
  int32_t magnitude = 0;  // -10000..10000
};

struct PeriodicForce {
  uint32_t magnitude = 0;  // 0..10000
  int32_t offset = 0;
  uint32_t phase = 0;      // hundredths of a degree
  uint32_t period_us = 0;
};

struct ConditionForce {
  int32_t offset = 0;
  int32_t positive_coefficient = 0;  // -10000..10000
  int32_t negative_coefficient = 0;
  uint32_t positive_saturation = 0;  // 0..10000
  uint32_t negative_saturation = 0;
  int32_t dead_band = 0;
};

// One effect over the X and Y axes. A polar direction names where the force
// comes from: 18000 (from the south) pushes the stick forward.
struct EffectParams {
  EffectKind kind = EffectKind::kConstant;
  DirectionKind direction_kind = DirectionKind::kPolar;
  std::array<int32_t, 2> direction{};
  uint32_t duration_us = kInfiniteDuration;
  uint32_t gain = 10000;
  ConstantForce constant;    // kConstant
  PeriodicForce periodic;    // the periodic kinds
  ConditionForce condition;  // kDamper
};

// What an update of an effect changes; kStart also restarts it.
namespace effect_change {
constexpr uint32_t kDirection = 1;
constexpr uint32_t kDuration = 2;
constexpr uint32_t kTypeSpecific = 4;
constexpr uint32_t kStart = 8;
}  // namespace effect_change

enum class EffectResult {
  kOk,
  kNotDownloaded,  // accepted, but the device does not hold it yet
  kFailed,
};

// An effect made on a joystick; destroying it releases it.
class ForceEffect {
 public:
  virtual ~ForceEffect() = default;
  // Applies the parts of `params` that `changes` names (effect_change bits).
  virtual EffectResult SetParameters(const EffectParams& params, uint32_t changes) = 0;
  virtual EffectResult Start(uint32_t iterations) = 0;
  virtual EffectResult Stop() = 0;
};

// ---- Joysticks ---------------------------------------------------------------------------

class Joystick : public InputDevice {
 public:
  // Asks the device for fresh values (some report only when asked).
  virtual void Poll() = 0;
  // False, leaving `state` as it was, when the device is not acquired or
  // has gone.
  virtual bool ReadState(JoystickState* state) = 0;
  // The values an axis reports from one end to the other.
  virtual void SetAxisRange(Axis axis, int32_t min, int32_t max) = 0;
  // The part of each axis's travel around its centre, in ten-thousandths,
  // that reads as the centre; the rest is spread over the whole range.
  virtual void SetDeadZone(uint32_t ten_thousandths) = 0;
  // The spring that pulls the stick back to the centre; false when the
  // device has none to switch.
  virtual bool SetAutoCenter(bool on) = 0;

  // The periodic effect kinds the device plays, in its own order; false when
  // it cannot tell.
  virtual bool ListPeriodicKinds(std::vector<EffectKind>* kinds) = 0;
  // Makes an effect (not started). On kOk or kNotDownloaded `effect` holds it.
  virtual EffectResult CreateEffect(const EffectParams& params, std::unique_ptr<ForceEffect>* effect) = 0;
};

enum class ControllerClass {
  kJoystick,  // joysticks, game pads, wheels
  kOther,     // neither keyboard, mouse nor joystick
};

struct ControllerInfo {
  std::string product_name;
  ControllerClass controller_class = ControllerClass::kJoystick;
  bool force_feedback = false;
  int64_t id = 0;  // the backend's own number for the device while attached
};

// The keyboard, the mouse and the attached game controllers of one backend.
// The SDL backend reads the real devices; the headless one plays a script
// and offers virtual joysticks.
class InputSystem {
 public:
  virtual ~InputSystem() = default;

  // Makes the devices available; false when the backend cannot start.
  virtual bool Open() = 0;
  // Ends what Open began. Close devices and effects first.
  virtual void Close() = 0;

  // Null when there is no such device.
  virtual std::unique_ptr<Keyboard> OpenKeyboard() = 0;
  virtual std::unique_ptr<Mouse> OpenMouse() = 0;

  // The attached controllers of a class in a stable order, only those with
  // force feedback when asked; false when the devices cannot be listed.
  virtual bool ListControllers(ControllerClass controller_class, bool force_feedback_only,
                               std::vector<ControllerInfo>* controllers) = 0;
  // Null when the controller has gone or cannot be opened.
  virtual std::unique_ptr<Joystick> OpenJoystick(const ControllerInfo& controller) = 0;
};

}  // namespace zv::platform
