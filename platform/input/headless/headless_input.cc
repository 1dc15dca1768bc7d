#include "platform/input/headless/headless_input.h"

#include <algorithm>
#include <utility>

namespace zv::platform {

// ---- Virtual joysticks ------------------------------------------------------------

VirtualJoystick::VirtualJoystick(VirtualJoystickSpec spec, int64_t id) : spec_(std::move(spec)), id_(id) {
  for (Axis axis : spec_.axes) positions_.has_axis[static_cast<int>(axis)] = true;
}

void VirtualJoystick::SetAxis(Axis axis, double position) {
  positions_.has_axis[static_cast<int>(axis)] = true;
  positions_.axes[static_cast<int>(axis)] = position;
}

void VirtualJoystick::SetButton(int button, bool down) {
  if (button >= 0 && button < static_cast<int>(positions_.buttons.size()))
    positions_.buttons[button] = down ? kKeyHeld : 0;
}

void VirtualJoystick::SetHat(int hat, uint32_t pov) {
  if (hat >= 0 && hat < static_cast<int>(positions_.pov.size())) positions_.pov[hat] = pov;
}

std::optional<EffectParams> VirtualJoystick::EffectNow(int effect) const {
  std::optional<EffectParams> now;
  for (const EffectCall& call : calls_) {
    if (call.effect != effect) continue;
    if (call.kind == EffectCall::Kind::kCreate || call.kind == EffectCall::Kind::kUpdate) now = call.params;
    if (call.kind == EffectCall::Kind::kRelease) now.reset();
  }
  return now;
}

class HeadlessEffect final : public ForceEffect {
 public:
  HeadlessEffect(std::shared_ptr<VirtualJoystick> joystick, int number)
      : joystick_(std::move(joystick)), number_(number) {
    ++joystick_->live_effects_;
  }
  ~HeadlessEffect() override {
    Record({EffectCall::Kind::kRelease, number_, {}});
    --joystick_->live_effects_;
  }

  EffectResult SetParameters(const EffectParams& params, uint32_t changes) override {
    Record({EffectCall::Kind::kUpdate, number_, params, changes});
    return joystick_->spec_.updates_not_downloaded ? EffectResult::kNotDownloaded : EffectResult::kOk;
  }
  EffectResult Start(uint32_t iterations) override {
    Record({EffectCall::Kind::kStart, number_, {}, 0, iterations});
    return EffectResult::kOk;
  }
  EffectResult Stop() override {
    Record({EffectCall::Kind::kStop, number_, {}});
    return EffectResult::kOk;
  }

 private:
  void Record(EffectCall call) { joystick_->calls_.push_back(std::move(call)); }

  std::shared_ptr<VirtualJoystick> joystick_;
  int number_;
};

class HeadlessJoystickDevice final : public Joystick {
 public:
  explicit HeadlessJoystickDevice(std::shared_ptr<VirtualJoystick> joystick) : joystick_(std::move(joystick)) {
    ++joystick_->open_devices_;
  }
  ~HeadlessJoystickDevice() override { --joystick_->open_devices_; }

  bool Acquire() override { return acquired_ = true; }
  void Unacquire() override { acquired_ = false; }
  void Poll() override {}
  bool ReadState(JoystickState* state) override {
    if (!acquired_) return false;
    *state = scale_.Apply(joystick_->Positions());
    return true;
  }
  void SetAxisRange(Axis axis, int32_t min, int32_t max) override { scale_.SetRange(axis, min, max); }
  void SetDeadZone(uint32_t ten_thousandths) override { scale_.SetDeadZone(ten_thousandths); }
  bool SetAutoCenter(bool on) override {
    if (!joystick_->spec_.force_feedback) return false;
    joystick_->auto_center_ = on;
    return true;
  }

  bool ListPeriodicKinds(std::vector<EffectKind>* kinds) override {
    kinds->clear();
    if (!joystick_->spec_.force_feedback) return true;
    *kinds = joystick_->spec_.periodic_kinds;
    return true;
  }
  EffectResult CreateEffect(const EffectParams& params, std::unique_ptr<ForceEffect>* effect) override {
    if (!joystick_->spec_.force_feedback) return EffectResult::kFailed;
    const int number = ++joystick_->effects_made_;
    joystick_->calls_.push_back({EffectCall::Kind::kCreate, number, params});
    *effect = std::make_unique<HeadlessEffect>(joystick_, number);
    return EffectResult::kOk;
  }

 private:
  std::shared_ptr<VirtualJoystick> joystick_;
  AxisScale scale_;
  bool acquired_ = false;
};

// ---- Keyboard and mouse ------------------------------------------------------------

// The keyboard and the mouse hold their acquisition for one spell of the
// focus: a loss of the focus ends it.
class FocusedDevice {
 protected:
  explicit FocusedDevice(HeadlessInput& input) : input_(input) {}
  bool Take(uint32_t epoch, bool focused) {
    if (!focused) return false;
    acquired_ = true;
    epoch_ = epoch;
    return true;
  }
  bool Held(uint32_t epoch) const { return acquired_ && epoch_ == epoch; }

  HeadlessInput& input_;
  bool acquired_ = false;
  uint32_t epoch_ = 0;
};

class HeadlessKeyboard final : public Keyboard, FocusedDevice {
 public:
  explicit HeadlessKeyboard(HeadlessInput& input) : FocusedDevice(input) {}
  bool Acquire() override { return Take(input_.focus_epoch_, input_.focused_); }
  void Unacquire() override { acquired_ = false; }
  bool ReadState(KeyboardState* state) override {
    if (!Held(input_.focus_epoch_)) return false;
    input_.ApplyDueChanges();
    *state = input_.keys_;
    return true;
  }
  void ReadReleases(KeyboardState* state) override {
    input_.ApplyDueChanges();
    for (size_t k = 0; k < state->size(); ++k)
      if (!input_.keys_[k]) (*state)[k] = 0;
  }
};

class HeadlessMouse final : public Mouse, FocusedDevice {
 public:
  explicit HeadlessMouse(HeadlessInput& input) : FocusedDevice(input) {}
  bool Acquire() override {
    if (!Take(input_.focus_epoch_, input_.focused_)) return false;
    // Moves made before the mouse was ours are not reported.
    input_.ApplyDueChanges();
    input_.mouse_.x = input_.mouse_.y = input_.mouse_.z = 0;
    return true;
  }
  void Unacquire() override { acquired_ = false; }
  bool ReadState(MouseState* state) override {
    if (!Held(input_.focus_epoch_)) return false;
    input_.ApplyDueChanges();
    *state = input_.mouse_;
    input_.mouse_.x = input_.mouse_.y = input_.mouse_.z = 0;
    return true;
  }
  void ReadReleases(MouseState* state) override {
    input_.ApplyDueChanges();
    for (size_t b = 0; b < state->buttons.size(); ++b)
      if (!input_.mouse_.buttons[b]) state->buttons[b] = 0;
  }
};

// ---- The backend ---------------------------------------------------------------------

HeadlessInput::~HeadlessInput() = default;

void HeadlessInput::Add(Change change) {
  auto later = std::upper_bound(script_.begin(), script_.end(), change.due,
                                [](uint32_t due, const Change& c) { return due < c.due; });
  script_.insert(later, change);
}

void HeadlessInput::PressKey(uint8_t scan_code, uint32_t at_ms, uint32_t held_ms) {
  Add({at_ms, ChangeKind::kKeyDown, scan_code});
  if (held_ms != 0) ReleaseKey(scan_code, at_ms + held_ms);
}

void HeadlessInput::ReleaseKey(uint8_t scan_code, uint32_t at_ms) { Add({at_ms, ChangeKind::kKeyUp, scan_code}); }

void HeadlessInput::MoveMouse(int32_t dx, int32_t dy, int32_t dz, uint32_t at_ms) {
  Add({at_ms, ChangeKind::kMove, 0, dx, dy, dz});
}

void HeadlessInput::PressMouseButton(int button, uint32_t at_ms, uint32_t held_ms) {
  if (button < 0 || button >= static_cast<int>(mouse_.buttons.size())) return;
  Add({at_ms, ChangeKind::kButtonDown, button});
  if (held_ms != 0) Add({at_ms + held_ms, ChangeKind::kButtonUp, button});
}

void HeadlessInput::LoseFocus() {
  focused_ = false;
  ++focus_epoch_;
}

void HeadlessInput::ApplyDueChanges() {
  const uint32_t now = clock_.NowMs();
  while (!script_.empty() && static_cast<int32_t>(now - script_.front().due) >= 0) {
    const Change& c = script_.front();
    switch (c.kind) {
      case ChangeKind::kKeyDown: keys_[c.code] = kKeyHeld; break;
      case ChangeKind::kKeyUp: keys_[c.code] = 0; break;
      case ChangeKind::kButtonDown: mouse_.buttons[c.code] = kKeyHeld; break;
      case ChangeKind::kButtonUp: mouse_.buttons[c.code] = 0; break;
      case ChangeKind::kMove:
        // Wrapping sums: a script may move as far as it likes.
        mouse_.x = static_cast<int32_t>(static_cast<uint32_t>(mouse_.x) + static_cast<uint32_t>(c.dx));
        mouse_.y = static_cast<int32_t>(static_cast<uint32_t>(mouse_.y) + static_cast<uint32_t>(c.dy));
        mouse_.z = static_cast<int32_t>(static_cast<uint32_t>(mouse_.z) + static_cast<uint32_t>(c.dz));
        break;
    }
    script_.pop_front();
  }
}

VirtualJoystick& HeadlessInput::AttachJoystick(VirtualJoystickSpec spec) {
  const int64_t id = static_cast<int64_t>(joysticks_.size()) + 1;
  joysticks_.push_back(std::make_shared<VirtualJoystick>(std::move(spec), id));
  return *joysticks_.back();
}

bool HeadlessInput::Open() {
  open_ = !faults_.open_fails;
  return open_;
}

std::unique_ptr<Keyboard> HeadlessInput::OpenKeyboard() {
  if (!open_ || faults_.no_keyboard) return nullptr;
  return std::make_unique<HeadlessKeyboard>(*this);
}

std::unique_ptr<Mouse> HeadlessInput::OpenMouse() {
  if (!open_ || faults_.no_mouse) return nullptr;
  return std::make_unique<HeadlessMouse>(*this);
}

bool HeadlessInput::ListControllers(ControllerClass controller_class, bool force_feedback_only,
                                    std::vector<ControllerInfo>* controllers) {
  controllers->clear();
  if (!open_ || faults_.listing_fails) return false;
  for (const auto& j : joysticks_) {
    const VirtualJoystickSpec& spec = j->Spec();
    if (spec.controller_class != controller_class) continue;
    if (force_feedback_only && !spec.force_feedback) continue;
    controllers->push_back({spec.name, spec.controller_class, spec.force_feedback, j->Id()});
  }
  return true;
}

std::unique_ptr<Joystick> HeadlessInput::OpenJoystick(const ControllerInfo& controller) {
  if (!open_) return nullptr;
  for (const auto& j : joysticks_)
    if (j->Id() == controller.id) return std::make_unique<HeadlessJoystickDevice>(j);
  return nullptr;
}

}  // namespace zv::platform
