#include "services/input/input_devices.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "platform/ini/ini_file.h"
#include "runtime/display_seam.h"
#include "runtime/runtime_state.h"
#include "runtime/vm/vm.h"

namespace zv {
namespace {

using platform::Axis;

constexpr int32_t kAxisLimit = 1000;
constexpr uint32_t kDeadZone = 1000;  // 10 % of the travel
constexpr int32_t kWheelMax = 99;
constexpr int32_t kKeyboardOnlyPointerMode = 1;  // above this, only the keyboard is read

std::string Cut(std::string_view name) { return std::string(name.substr(0, kDeviceNameLimit)); }

int32_t WrapAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

int32_t ClampedAdd(int32_t value, int32_t move, int32_t low, int32_t high) {
  return static_cast<int32_t>(std::clamp<int64_t>(int64_t{value} + move, low, std::max(low, high)));
}

void SetAxisRanges(platform::Joystick& device, std::initializer_list<Axis> axes) {
  for (Axis axis : axes) device.SetAxisRange(axis, -kAxisLimit, kAxisLimit);
}

// The held buttons as the mouse values have them, the first in bit 0.
uint16_t ButtonBits(const platform::MouseState& m) {
  uint16_t buttons = 0;
  for (size_t b = 0; b < m.buttons.size(); ++b)
    if (m.buttons[b]) buttons |= static_cast<uint16_t>(1u << b);
  return buttons;
}

}  // namespace

InputDevices& DevicesOf(Vm& vm) {
  if (!vm.input_devices) throw OperandFault("no input devices are attached");
  return *vm.input_devices;
}

InputDevices::InputDevices(platform::InputSystem& system) : system_(system) {}

InputDevices::~InputDevices() { ShutdownInput(); }

void InputDevices::Attach(Vm& vm) {
  vm_ = &vm;
  vm.input_devices = this;
}

void InputDevices::WriteErrorLog(std::string_view text) {
  if (!vm_) return;
  vm_->errors.last_engine_error = Cut(text);
  if (!vm_->settings.debug_mode) return;
  std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char key[64];
  std::snprintf(key, sizeof key, "ENGINEERROR ON %d/%d/%d AT %d:%d", utc.tm_mday, utc.tm_mon + 1, utc.tm_year + 1900,
                utc.tm_hour, utc.tm_min);
  platform::WriteProfileString(LogFilePath(vm_->settings), "ERRORLOG", key, vm_->errors.last_engine_error);
}

// ---- Life of the devices -------------------------------------------------------------

bool InputDevices::InitInput() {
  if (!system_.Open()) {
    WriteErrorLog("Failed to create DirectInput Interface");
    return false;
  }
  if (!CreateKeyboardDevice() || !CreateMouseDevice()) return false;
  FindDefaultJoystick();
  ReleaseControlDevice();
  effects_.ReleaseAll();
  wanted_name_.clear();
  current_name_.clear();
  force_feedback_ = false;
  return true;
}

bool InputDevices::CreateKeyboardDevice() {
  keyboard_ = system_.OpenKeyboard();
  if (keyboard_) return true;
  ShutdownInput();
  WriteErrorLog("Failed to create DirectInput Keyboard Device");
  return false;
}

bool InputDevices::CreateMouseDevice() {
  mouse_ = system_.OpenMouse();
  if (mouse_) return true;
  ShutdownInput();
  WriteErrorLog("Failed to create DirectInput Mouse Device");
  return false;
}

bool InputDevices::FindDefaultJoystick() {
  std::vector<platform::ControllerInfo> joysticks;
  system_.ListControllers(platform::ControllerClass::kJoystick, false, &joysticks);
  for (const platform::ControllerInfo& info : joysticks) {
    std::unique_ptr<platform::Joystick> device = system_.OpenJoystick(info);
    if (!device) continue;
    SetAxisRanges(*device, {Axis::kX, Axis::kY, Axis::kZ, Axis::kRx, Axis::kRy, Axis::kRz});
    device->SetDeadZone(kDeadZone);
    default_joystick_ = std::move(device);
    default_joystick_name_ = Cut(info.product_name);
    return true;
  }
  return false;
}

void InputDevices::ReleaseControlDevice() {
  if (!control_) return;
  control_->Unacquire();
  control_.reset();
}

void InputDevices::ReleaseForceEffects() {
  effects_.ReleaseAll();
  if (control_) {
    ReleaseControlDevice();
    force_feedback_ = false;
  }
}

void InputDevices::ShutdownInput() {
  ReleaseForceEffects();
  if (default_joystick_) default_joystick_->Unacquire();
  default_joystick_.reset();
  if (mouse_) mouse_->Unacquire();
  mouse_.reset();
  if (keyboard_) keyboard_->Unacquire();
  keyboard_.reset();
  system_.Close();
}

void InputDevices::AcquireInputDevices() {
  if (keyboard_) keyboard_->Acquire();
  if (mouse_) mouse_->Acquire();
  if (default_joystick_) default_joystick_->Acquire();
  if (control_) control_->Acquire();
}

void InputDevices::UnacquireInputDevices() {
  if (keyboard_) keyboard_->Unacquire();
  if (mouse_) mouse_->Unacquire();
  if (default_joystick_) default_joystick_->Unacquire();
  if (control_) control_->Unacquire();
}

// ---- The control device -----------------------------------------------------------------

void InputDevices::SetWantedControlDeviceName(std::string_view name) { wanted_name_ = Cut(name); }

std::unique_ptr<platform::Joystick> InputDevices::OpenNamedJoystick(bool force_feedback_only) {
  std::vector<platform::ControllerInfo> joysticks;
  system_.ListControllers(platform::ControllerClass::kJoystick, force_feedback_only, &joysticks);
  for (const platform::ControllerInfo& info : joysticks) {
    if (Cut(info.product_name) != wanted_name_) continue;
    std::unique_ptr<platform::Joystick> device = system_.OpenJoystick(info);
    if (!device) continue;
    SetAxisRanges(*device, {Axis::kX, Axis::kY, Axis::kZ});
    device->SetAutoCenter(false);
    device->Acquire();
    return device;
  }
  return nullptr;
}

bool InputDevices::SelectControlDevice() {
  // The earlier device's effects were made on it and go with it; the new
  // device gets effects of its own. The force-feedback flag keeps its value
  // until this selection decides it.
  effects_.ReleaseAll();
  ReleaseControlDevice();

  control_ = OpenNamedJoystick(true);
  if (control_) {
    if (wanted_name_ == default_joystick_name_ && default_joystick_) {
      // The default joystick holds the same device: let go of it and open
      // the device afresh.
      default_joystick_->Unacquire();
      ReleaseControlDevice();
      control_ = OpenNamedJoystick(true);
      if (!control_) {
        force_feedback_ = false;
        return false;
      }
    }
    current_name_ = wanted_name_;
    effects_.CreateAll(*control_);
    force_feedback_ = true;
    return true;
  }

  control_ = OpenNamedJoystick(false);
  if (!control_) return false;
  current_name_ = wanted_name_;
  force_feedback_ = false;
  return true;
}

// ---- The poll ------------------------------------------------------------------------------

void InputDevices::PollInputDevices() {
  if (!vm_ || !vm_->runtime) return;
  RuntimeState& runtime = *vm_->runtime;
  if (!vm_->app_active) return;
  // A program that runs on behind another window reads nothing new, but
  // what the desktop let go of meanwhile reads up at once.
  if (!runtime.window.input_focus) return ReadReleases(runtime.input);

  ReadKeyboard(runtime.input);
  if (pointer_mode_ && pointer_mode_() > kKeyboardOnlyPointerMode) return;

  if (ReadMouse()) UpdateMouseTracking(runtime.input);

  if (default_joystick_) {
    const bool same_device = control_ && wanted_name_ == default_joystick_name_;
    ReadJoystick(same_device ? *control_ : *default_joystick_, &joystick_state_);
  }
  if (control_) ReadJoystick(*control_, &control_state_);
}

void InputDevices::ReadKeyboard(InputState& input) {
  if (!keyboard_) return;
  if (keyboard_->ReadState(&input.keyboard)) return;
  keyboard_->Acquire();
  keyboard_->ReadState(&input.keyboard);
}

// A mouse that cannot be read adds no moves: its last moves would otherwise
// be added again on every poll until it comes back.
bool InputDevices::ReadMouse() {
  if (!mouse_) return false;
  if (mouse_->ReadState(&mouse_state_)) return true;
  mouse_->Acquire();
  return mouse_->ReadState(&mouse_state_);
}

void InputDevices::ReadReleases(InputState& input) {
  if (keyboard_) keyboard_->ReadReleases(&input.keyboard);
  if (!mouse_) return;
  mouse_->ReadReleases(&mouse_state_);
  // In a window the buttons let go arrive as the window's own messages.
  if (OwnsPointer()) input.mouse_buttons = ButtonBits(mouse_state_);
}

// In a window the window's own mouse messages place the pointer and give
// the buttons, unless the cursor sprites draw it.
bool InputDevices::OwnsPointer() {
  DisplayServices* display = vm_->display;
  return !(display && display->Windowed()) || vm_->runtime->window.cursor_sprite_mode;
}

void InputDevices::UpdateMouseTracking(InputState& input) {
  DisplayServices* display = vm_->display;
  const bool owns_pointer = OwnsPointer();
  const PictureArea picture = display ? display->Picture() : PictureArea{};

  const platform::MouseState& m = mouse_state_;
  if (owns_pointer) input.mouse_x = ClampedAdd(input.mouse_x, m.x, 0, picture.screen_width - 1);
  input.mouse_move_x = WrapAdd(input.mouse_move_x, m.x);
  if (owns_pointer) input.mouse_y = ClampedAdd(input.mouse_y, m.y, 0, picture.screen_height - 1);
  input.mouse_move_y = WrapAdd(input.mouse_move_y, m.y);
  input.mouse_z = ClampedAdd(input.mouse_z, m.z, 0, kWheelMax);
  input.mouse_move_z = WrapAdd(input.mouse_move_z, m.z);
  if (owns_pointer) input.mouse_buttons = ButtonBits(m);
}

void InputDevices::ReadJoystick(platform::Joystick& device, platform::JoystickState* state) {
  device.Poll();
  if (device.ReadState(state)) return;
  device.Acquire();
  device.Poll();
  device.ReadState(state);
}

}  // namespace zv
