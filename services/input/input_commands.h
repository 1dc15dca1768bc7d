#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The control-device, force-feedback, key and joystick commands. They reach
// the devices through Vm::input_devices (InputDevices::Attach).
void RegisterInputHandlers(HandlerTable& table);

// Their opcodes.
namespace input_opcode {
constexpr int kChecklistControlDevices = 4001;
constexpr int kSetControlDevice = 4002;

constexpr int kForceUp = 4101;
constexpr int kForceDown = 4102;
constexpr int kForceLeft = 4103;
constexpr int kForceRight = 4104;
constexpr int kForceAngle = 4105;
constexpr int kForcePeriodic50Ms = 4106;
constexpr int kForceConstantTimed = 4107;
constexpr int kForcePeriodic100Ms = 4108;
constexpr int kForceStopAll = 4109;
constexpr int kForceDamper = 4110;
constexpr int kForceAutoCenterOn = 4112;
constexpr int kForceAutoCenterOff = 4113;

constexpr int kUpKey = 4501;
constexpr int kDownKey = 4502;
constexpr int kLeftKey = 4503;
constexpr int kRightKey = 4504;
constexpr int kControlKey = 4505;
constexpr int kShiftKey = 4506;
constexpr int kReturnKey = 4507;
constexpr int kSpaceKey = 4508;
constexpr int kKeyState = 4509;
constexpr int kEscapeKey = 4510;

constexpr int kJoystickLeft = 4521;
constexpr int kJoystickRight = 4522;
constexpr int kJoystickUp = 4523;
constexpr int kJoystickDown = 4524;
constexpr int kJoystickButton0 = 4525;
constexpr int kJoystickButton1 = 4526;
constexpr int kJoystickButton2 = 4527;
constexpr int kJoystickButton3 = 4528;
constexpr int kJoystickX = 4529;
constexpr int kJoystickY = 4530;
constexpr int kJoystickZ = 4531;
constexpr int kJoystickSlider0 = 4532;
constexpr int kJoystickSlider1 = 4533;
constexpr int kJoystickPov0 = 4534;
constexpr int kJoystickPov1 = 4535;
constexpr int kJoystickButtonState = 4536;
constexpr int kJoystickRotationX = 4537;
constexpr int kJoystickRotationY = 4538;
constexpr int kJoystickRotationZ = 4539;
constexpr int kJoystickHatAngle = 4540;

constexpr int kControlDeviceName = 4551;
constexpr int kControlDeviceX = 4552;
constexpr int kControlDeviceY = 4553;
constexpr int kControlDeviceZ = 4554;
}  // namespace input_opcode

}  // namespace zv
