#include "services/input/input_commands.h"

#include <string>
#include <vector>

#include "platform/input/key_codes.h"
#include "runtime/runtime_state.h"
#include "runtime/vm/opcodes/opcode_support.h"
#include "services/input/force_commands.h"
#include "services/input/input_devices.h"

namespace zv {
namespace {

namespace op = input_opcode;
namespace scan = platform::scan;
using platform::JoystickState;

constexpr int32_t kNoSuchControlDevice = 4001;
constexpr int32_t kNoControlDevice = 4002;
constexpr uint32_t kPovCentredLow = 0xFFFF;

// The devices, read afresh when the machine asked for fresh input since the
// last read, so a run of input functions reads the devices once.
InputDevices& FreshDevices(Vm& vm) {
  InputDevices& devices = DevicesOf(vm);
  if (vm.input_poll_due) {
    devices.PollInputDevices();
    vm.input_poll_due = false;
  }
  return devices;
}

bool KeyDown(const Vm& vm, int32_t code) { return vm.runtime && ReadKey(*vm.runtime, code); }

// ---- Control devices ----------------------------------------------------------------

bool HasName(const std::vector<platform::ControllerInfo>& controllers, const std::string& name) {
  for (const platform::ControllerInfo& c : controllers)
    if (c.product_name.substr(0, kDeviceNameLimit) == name) return true;
  return false;
}

void AddControllers(Checklist& list, const std::vector<platform::ControllerInfo>& controllers) {
  for (const platform::ControllerInfo& c : controllers)
    list.Add(ChecklistEntry{0, 0, 0, 0, c.product_name.substr(0, kDeviceNameLimit)});
}

// Lists the attached game controllers; value a is 1 on those whose name is a
// force-feedback controller's.
void CmdChecklistControlDevices(Vm& vm) {
  platform::InputSystem& system = DevicesOf(vm).System();
  Checklist& list = vm.checklist;
  list.count = 0;
  list.values_valid = list.texts_valid = true;
  std::vector<platform::ControllerInfo> found;
  const bool listed = system.ListControllers(platform::ControllerClass::kJoystick, false, &found);
  AddControllers(list, found);
  if (!listed) {
    list.made = false;
    return;
  }
  system.ListControllers(platform::ControllerClass::kOther, false, &found);
  AddControllers(list, found);
  system.ListControllers(platform::ControllerClass::kJoystick, true, &found);
  for (int32_t i = 0; i < list.count; ++i)
    if (HasName(found, list.entries[static_cast<size_t>(i)].text)) list.entries[static_cast<size_t>(i)].a = 1;
  list.made = true;
}

void CmdSetControlDevice(Vm& vm) {
  const std::string name(vm.NextString());
  InputDevices& devices = DevicesOf(vm);
  devices.SetWantedControlDeviceName(name);
  if (!devices.SelectControlDevice()) vm.RunError(kNoSuchControlDevice);
}

void FnControlDeviceName(Vm& vm) {
  const Slot result = core::NextStringResult(vm);
  const std::string& name = DevicesOf(vm).CurrentControlDeviceName();
  if (name.empty()) {
    vm.RunError(kNoControlDevice);
    return;
  }
  vm.SetString(result, name);
}

template <int32_t JoystickState::*kAxis>
void FnControlDeviceAxis(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetInt(result, FreshDevices(vm).ControlDeviceState().*kAxis);
}

// ---- Keys ------------------------------------------------------------------------------

template <uint8_t kCode>
void FnKey(Vm& vm) {
  const Slot result = vm.NextSlot();
  FreshDevices(vm);
  vm.SetInt(result, KeyDown(vm, kCode));
}

// Either of a pair of keys, as the left and right shift keys.
template <uint8_t kCode, uint8_t kOther>
void FnEitherKey(Vm& vm) {
  const Slot result = vm.NextSlot();
  FreshDevices(vm);
  vm.SetInt(result, KeyDown(vm, kCode) || KeyDown(vm, kOther));
}

void FnKeyState(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t code = vm.NextInt();
  FreshDevices(vm);
  vm.SetInt(result, KeyDown(vm, code));
}

// ---- The joystick -------------------------------------------------------------------------

const JoystickState& Joystick(Vm& vm) { return FreshDevices(vm).JoystickState(); }

template <int32_t JoystickState::*kAxis, int kSign>
void FnJoystickDirection(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t value = Joystick(vm).*kAxis;
  vm.SetInt(result, kSign < 0 ? value < 0 : value > 0);
}

template <int32_t JoystickState::*kAxis>
void FnJoystickAxis(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetInt(result, Joystick(vm).*kAxis);
}

template <int kSlider>
void FnJoystickSlider(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetInt(result, Joystick(vm).sliders[kSlider]);
}

// The hat's value as the device stored it, centred or not.
template <int kHat>
void FnJoystickPov(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetInt(result, static_cast<int32_t>(Joystick(vm).pov[kHat]));
}

bool ButtonDown(const JoystickState& state, int32_t button) {
  if (button < 0 || button >= static_cast<int32_t>(state.buttons.size())) return false;
  return (state.buttons[static_cast<size_t>(button)] & platform::kKeyHeld) != 0;
}

template <int kButton>
void FnJoystickButton(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetInt(result, ButtonDown(Joystick(vm), kButton));
}

void FnJoystickButtonState(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t button = vm.NextInt();
  vm.SetInt(result, ButtonDown(Joystick(vm), button));
}

void FnJoystickHatAngle(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t hat = vm.NextInt();
  const JoystickState& state = Joystick(vm);
  int32_t angle = -1;
  if (hat >= 0 && hat < static_cast<int32_t>(state.pov.size())) {
    const uint32_t pov = state.pov[static_cast<size_t>(hat)];
    if ((pov & kPovCentredLow) < kPovCentredLow) angle = static_cast<int32_t>(pov);
  }
  vm.SetInt(result, angle);
}

}  // namespace

void RegisterInputHandlers(HandlerTable& t) {
  t.Set(op::kChecklistControlDevices, CmdChecklistControlDevices);
  t.Set(op::kSetControlDevice, CmdSetControlDevice);
  RegisterForceFeedbackHandlers(t);

  t.Set(op::kUpKey, FnKey<scan::kUp>);
  t.Set(op::kDownKey, FnKey<scan::kDown>);
  t.Set(op::kLeftKey, FnKey<scan::kLeft>);
  t.Set(op::kRightKey, FnKey<scan::kRight>);
  t.Set(op::kControlKey, FnEitherKey<scan::kLeftControl, scan::kRightControl>);
  t.Set(op::kShiftKey, FnEitherKey<scan::kLeftShift, scan::kRightShift>);
  t.Set(op::kReturnKey, FnKey<scan::kEnter>);
  t.Set(op::kSpaceKey, FnKey<scan::kSpace>);
  t.Set(op::kKeyState, FnKeyState);
  t.Set(op::kEscapeKey, FnKey<scan::kEscape>);

  t.Set(op::kJoystickLeft, FnJoystickDirection<&JoystickState::x, -1>);
  t.Set(op::kJoystickRight, FnJoystickDirection<&JoystickState::x, 1>);
  t.Set(op::kJoystickUp, FnJoystickDirection<&JoystickState::y, -1>);
  t.Set(op::kJoystickDown, FnJoystickDirection<&JoystickState::y, 1>);
  t.Set(op::kJoystickButton0, FnJoystickButton<0>);
  t.Set(op::kJoystickButton1, FnJoystickButton<1>);
  t.Set(op::kJoystickButton2, FnJoystickButton<2>);
  t.Set(op::kJoystickButton3, FnJoystickButton<3>);
  t.Set(op::kJoystickX, FnJoystickAxis<&JoystickState::x>);
  t.Set(op::kJoystickY, FnJoystickAxis<&JoystickState::y>);
  t.Set(op::kJoystickZ, FnJoystickAxis<&JoystickState::z>);
  t.Set(op::kJoystickSlider0, FnJoystickSlider<0>);
  t.Set(op::kJoystickSlider1, FnJoystickSlider<1>);
  t.Set(op::kJoystickPov0, FnJoystickPov<0>);
  t.Set(op::kJoystickPov1, FnJoystickPov<1>);
  t.Set(op::kJoystickButtonState, FnJoystickButtonState);
  t.Set(op::kJoystickRotationX, FnJoystickAxis<&JoystickState::rx>);
  t.Set(op::kJoystickRotationY, FnJoystickAxis<&JoystickState::ry>);
  t.Set(op::kJoystickRotationZ, FnJoystickAxis<&JoystickState::rz>);
  t.Set(op::kJoystickHatAngle, FnJoystickHatAngle);

  t.Set(op::kControlDeviceName, FnControlDeviceName);
  t.Set(op::kControlDeviceX, FnControlDeviceAxis<&JoystickState::x>);
  t.Set(op::kControlDeviceY, FnControlDeviceAxis<&JoystickState::y>);
  t.Set(op::kControlDeviceZ, FnControlDeviceAxis<&JoystickState::z>);
}

}  // namespace zv
