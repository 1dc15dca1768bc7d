#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/input/axis_scale.h"
#include "platform/input/input.h"

namespace zv::platform {

// What a virtual joystick is: its name, its controls and what it can do.
struct VirtualJoystickSpec {
  std::string name = "Virtual Joystick";
  ControllerClass controller_class = ControllerClass::kJoystick;
  std::vector<Axis> axes = {Axis::kX, Axis::kY};
  bool force_feedback = false;
  std::vector<EffectKind> periodic_kinds = {EffectKind::kSine, EffectKind::kSquare};
  // Updates of its effects answer "not downloaded", as a device whose
  // memory is full would.
  bool updates_not_downloaded = false;
};

// One thing a device did with a force-feedback effect.
struct EffectCall {
  enum class Kind { kCreate, kUpdate, kStart, kStop, kRelease };
  Kind kind = Kind::kCreate;
  int effect = 0;  // which effect of the joystick: 1 for the first made
  EffectParams params;  // what it was made or updated with
  uint32_t changes = 0;     // an update's effect_change bits
  uint32_t iterations = 0;  // a start's count
};

// A joystick that a test or a headless run moves by hand. Every device
// opened on it reads what is set here and records its effects here.
class VirtualJoystick {
 public:
  VirtualJoystick(VirtualJoystickSpec spec, int64_t id);

  const VirtualJoystickSpec& Spec() const { return spec_; }
  int64_t Id() const { return id_; }

  // ---- The controls --------------------------------------------------------
  // Position from -1 to 1; an axis the joystick lacked is added.
  void SetAxis(Axis axis, double position);
  void SetButton(int button, bool down);
  // Hundredths of a degree clockwise from north, or kPovCentred.
  void SetHat(int hat, uint32_t pov);
  const ControlPositions& Positions() const { return positions_; }

  // ---- What devices did with it ------------------------------------------
  const std::vector<EffectCall>& EffectCalls() const { return calls_; }
  void ClearEffectCalls() { calls_.clear(); }
  // The parameters an effect holds now (after its creation and updates).
  std::optional<EffectParams> EffectNow(int effect) const;
  int LiveEffects() const { return live_effects_; }
  // The last auto-centre setting, none before the first.
  std::optional<bool> AutoCenter() const { return auto_center_; }
  int OpenDevices() const { return open_devices_; }

 private:
  friend class HeadlessJoystickDevice;
  friend class HeadlessEffect;

  VirtualJoystickSpec spec_;
  int64_t id_;
  ControlPositions positions_;
  std::vector<EffectCall> calls_;
  int effects_made_ = 0;
  int live_effects_ = 0;
  int open_devices_ = 0;
  std::optional<bool> auto_center_;
};

// Failures a test can ask the headless backend for.
struct HeadlessInputFaults {
  bool open_fails = false;
  bool no_keyboard = false;
  bool no_mouse = false;
  bool listing_fails = false;
};

// Input devices nobody touches. Keys, mouse moves and buttons follow a script
// on the clock: each scripted change takes effect once the clock reaches its
// time. Joysticks are virtual ones the script attaches. The backend must
// outlive the devices it opens.
class HeadlessInput final : public InputSystem {
 public:
  explicit HeadlessInput(Clock& clock) : clock_(clock) {}
  ~HeadlessInput() override;

  // ---- The script ------------------------------------------------------------
  // Key down at `at_ms`, up again `held_ms` later (0: never).
  void PressKey(uint8_t scan_code, uint32_t at_ms = 0, uint32_t held_ms = 0);
  void ReleaseKey(uint8_t scan_code, uint32_t at_ms = 0);
  // A move of the mouse (z: the wheel, 120 per notch).
  void MoveMouse(int32_t dx, int32_t dy, int32_t dz = 0, uint32_t at_ms = 0);
  // Button 0 to 3 down at `at_ms`, up `held_ms` later (0: never).
  void PressMouseButton(int button, uint32_t at_ms = 0, uint32_t held_ms = 0);
  // The window loses or regains the focus: the keyboard and the mouse lose
  // their acquisition and cannot get it back until the focus returns; what
  // the script lets go of meanwhile they read as let go (ReadReleases).
  void LoseFocus();
  void RegainFocus() { focused_ = true; }

  VirtualJoystick& AttachJoystick(VirtualJoystickSpec spec = {});
  HeadlessInputFaults& Faults() { return faults_; }
  bool IsOpen() const { return open_; }

  // ---- InputSystem -------------------------------------------------------------
  bool Open() override;
  void Close() override { open_ = false; }
  std::unique_ptr<Keyboard> OpenKeyboard() override;
  std::unique_ptr<Mouse> OpenMouse() override;
  bool ListControllers(ControllerClass controller_class, bool force_feedback_only,
                       std::vector<ControllerInfo>* controllers) override;
  std::unique_ptr<Joystick> OpenJoystick(const ControllerInfo& controller) override;

 private:
  friend class HeadlessKeyboard;
  friend class HeadlessMouse;

  enum class ChangeKind { kKeyDown, kKeyUp, kMove, kButtonDown, kButtonUp };
  struct Change {
    uint32_t due = 0;
    ChangeKind kind = ChangeKind::kKeyDown;
    int code = 0;
    int32_t dx = 0, dy = 0, dz = 0;
  };
  void Add(Change change);
  // Applies every change whose time has come.
  void ApplyDueChanges();

  Clock& clock_;
  std::deque<Change> script_;  // by due time, then in the order added
  KeyboardState keys_{};
  MouseState mouse_;  // moves gathered since the mouse's last read
  bool focused_ = true;
  // Bumped on every loss of the focus, so devices see that they lost it.
  uint32_t focus_epoch_ = 0;
  bool open_ = false;
  HeadlessInputFaults faults_;
  std::vector<std::shared_ptr<VirtualJoystick>> joysticks_;
};

}  // namespace zv::platform
