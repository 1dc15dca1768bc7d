// The key, joystick and control-device commands over scripted keys and
// virtual joysticks.
#include "services/input/input_commands.h"

#include <set>

#include "tests/services/input/input_fixture.h"

namespace zv {
namespace {

namespace op = input_opcode;
namespace scan = platform::scan;
using platform::Axis;

class InputCommandsTest : public test::InputTest {
 protected:
  uint32_t I(int32_t value) { return assembler.IntConst(value); }
  uint32_t V(int k) { return assembler.IntVar(k); }
  std::string String(int k) const { return std::string(vm.StringAt(Slot{slots::kStringVar + static_cast<uint32_t>(k)})); }
};

TEST_F(InputCommandsTest, KeyFunctionsReadTheirScanCodes) {
  Start();
  for (uint8_t code : {scan::kUp, scan::kLeft, scan::kRightControl, scan::kLeftShift, scan::kSpace, scan::kEscape})
    input.PressKey(code);
  const int opcodes[] = {op::kUpKey,    op::kDownKey,  op::kLeftKey,   op::kRightKey, op::kControlKey,
                         op::kShiftKey, op::kReturnKey, op::kSpaceKey, op::kEscapeKey};
  int k = 0;
  for (int opcode : opcodes) assembler.Op(static_cast<uint32_t>(opcode), {V(k++)});
  Run();
  const int32_t expected[] = {1, 0, 1, 0, 1, 1, 0, 1, 1};
  for (int i = 0; i < k; ++i) EXPECT_EQ(Int(i), expected[i]) << "opcode " << opcodes[i];
}

TEST_F(InputCommandsTest, KeyStateTakesAnyScanCodeAndAnswers0OutsideTheTable) {
  Start();
  input.PressKey(scan::kEnter);
  input.PressKey(scan::kF12);
  assembler.Op(op::kKeyState, {V(0), I(0x1C)});
  assembler.Op(op::kReturnKey, {V(1)});
  assembler.Op(op::kKeyState, {V(2), I(0x58)});
  assembler.Op(op::kKeyState, {V(3), I(300)});
  assembler.Op(op::kKeyState, {V(4), I(-1)});
  assembler.Op(op::kKeyState, {V(5), I(0x1D)});
  Run();
  EXPECT_EQ(Int(0), 1);
  EXPECT_EQ(Int(1), Int(0));
  EXPECT_EQ(Int(2), 1);
  EXPECT_EQ(Int(3), 0);
  EXPECT_EQ(Int(4), 0);
  EXPECT_EQ(Int(5), 0);
}

// A run of input functions reads the devices once per request for fresh
// input, not once per function.
TEST_F(InputCommandsTest, FunctionsPollOnlyWhenFreshInputIsDue) {
  Start();
  input.PressKey(scan::kDown, 5);
  assembler.Op(op::kDownKey, {V(0)});
  assembler.Op(op::kDownKey, {V(1)});
  ASSERT_TRUE(InstallProgram(vm, assembler.Finish()));
  ResetVmState(vm);
  const Handler down_key = handlers.Get(op::kDownKey);
  host.clock.Set(5);
  vm.input_poll_due = false;
  vm.SetPc(1);
  down_key(vm);
  EXPECT_EQ(Int(0), 0) << "no fresh input was asked for";
  vm.input_poll_due = true;
  vm.SetPc(3);
  down_key(vm);
  EXPECT_EQ(Int(1), 1);
  EXPECT_FALSE(vm.input_poll_due);
}

TEST_F(InputCommandsTest, WithoutAJoystickTheJoystickFunctionsReadZeros) {
  Start();
  int k = 0;
  for (int opcode = op::kJoystickLeft; opcode <= op::kJoystickRotationZ; ++opcode) {
    if (opcode == op::kJoystickButtonState)
      assembler.Op(static_cast<uint32_t>(opcode), {V(k++), I(0)});
    else
      assembler.Op(static_cast<uint32_t>(opcode), {V(k++)});
  }
  for (int hat = 0; hat < 4; ++hat) assembler.Op(op::kJoystickHatAngle, {V(k++), I(hat)});
  Run();
  EXPECT_EQ(vm.errors.code, 0);
  // Its hats are centred (-1), not held forward (0).
  const std::set<int> hats{op::kJoystickPov0 - op::kJoystickLeft, op::kJoystickPov1 - op::kJoystickLeft, k - 4, k - 3, k - 2, k - 1};
  for (int i = 0; i < k; ++i) EXPECT_EQ(Int(i), hats.count(i) ? -1 : 0) << "result " << i;
}

TEST_F(InputCommandsTest, JoystickFunctionsReadTheDefaultJoystick) {
  platform::VirtualJoystick& stick = input.AttachJoystick(
      {.name = "Stick", .axes = {Axis::kX, Axis::kY, Axis::kZ, Axis::kRx, Axis::kRy, Axis::kRz, Axis::kSlider0,
                                 Axis::kSlider1}});
  Start();
  stick.SetAxis(Axis::kX, -1.0);
  stick.SetAxis(Axis::kY, 1.0);
  stick.SetAxis(Axis::kZ, 0.55);
  stick.SetAxis(Axis::kRx, -0.55);
  stick.SetAxis(Axis::kSlider0, 1.0);
  stick.SetAxis(Axis::kSlider1, -1.0);
  stick.SetButton(0, true);
  stick.SetButton(3, true);
  stick.SetButton(17, true);
  stick.SetHat(0, 4500);
  // hat 1 stays centred
  assembler.Op(op::kJoystickLeft, {V(0)});
  assembler.Op(op::kJoystickRight, {V(1)});
  assembler.Op(op::kJoystickUp, {V(2)});
  assembler.Op(op::kJoystickDown, {V(3)});
  assembler.Op(op::kJoystickX, {V(4)});
  assembler.Op(op::kJoystickY, {V(5)});
  assembler.Op(op::kJoystickZ, {V(6)});
  assembler.Op(op::kJoystickRotationX, {V(7)});
  assembler.Op(op::kJoystickSlider0, {V(8)});
  assembler.Op(op::kJoystickSlider1, {V(9)});
  assembler.Op(op::kJoystickButton0, {V(10)});
  assembler.Op(op::kJoystickButton1, {V(11)});
  assembler.Op(op::kJoystickButton3, {V(12)});
  assembler.Op(op::kJoystickButtonState, {V(13), I(17)});
  assembler.Op(op::kJoystickButtonState, {V(14), I(32)});
  assembler.Op(op::kJoystickButtonState, {V(15), I(-1)});
  assembler.Op(op::kJoystickPov0, {V(16)});
  assembler.Op(op::kJoystickPov1, {V(17)});
  assembler.Op(op::kJoystickHatAngle, {V(18), I(0)});
  assembler.Op(op::kJoystickHatAngle, {V(19), I(1)});
  assembler.Op(op::kJoystickHatAngle, {V(20), I(4)});
  assembler.Op(op::kJoystickRotationY, {V(21)});
  Run();
  const int32_t expected[] = {1, 0, 0, 1, -1000, 1000, 500, -500, 65535, 0, 1,
                              0, 1, 1, 0, 0,     4500, -1,  4500, -1,   -1, 0};
  for (int i = 0; i < 22; ++i) EXPECT_EQ(Int(i), expected[i]) << "result " << i;
}

TEST_F(InputCommandsTest, SettingTheControlDeviceNamesItAndReadsItsAxes) {
  platform::VirtualJoystick& pad = input.AttachJoystick({.name = "Pad"});
  Start();
  pad.SetAxis(Axis::kX, 0.05);
  pad.SetAxis(Axis::kY, -1.0);
  assembler.Op(op::kSetControlDevice, {assembler.StringConst("Pad")});
  assembler.Op(op::kControlDeviceName, {assembler.StringVar(0)});
  Run();
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_EQ(String(0), "Pad");

  assembler = {};
  assembler.Op(op::kControlDeviceX, {V(0)});
  assembler.Op(op::kControlDeviceY, {V(1)});
  assembler.Op(op::kControlDeviceZ, {V(2)});
  Run();
  EXPECT_EQ(Int(0), 50) << "the control device has no dead zone";
  EXPECT_EQ(Int(1), -1000);
  EXPECT_EQ(Int(2), 0);
}

TEST_F(InputCommandsTest, AnUnattachedNameRaises4001AndNoSelectionYetMakesTheName4002) {
  Start();
  assembler.Op(op::kSetControlDevice, {assembler.StringConst("Nothing")});
  Run();
  EXPECT_EQ(vm.errors.code, 4001);
  EXPECT_EQ(devices.ControlDevice(), nullptr);

  assembler = {};
  assembler.Op(op::kControlDeviceName, {assembler.StringVar(0)});
  vm.errors = {};
  Run();
  EXPECT_EQ(vm.errors.code, 4002);
}

TEST_F(InputCommandsTest, AfterAFailedSelectionTheNameIsStillTheEarlierDevices) {
  input.AttachJoystick({.name = "Pad"});
  Start();
  devices.SetWantedControlDeviceName("Pad");
  ASSERT_TRUE(devices.SelectControlDevice());
  assembler.Op(op::kSetControlDevice, {assembler.StringConst("Other")});
  Run();
  EXPECT_EQ(vm.errors.code, 4001);
  assembler = {};
  assembler.Op(op::kControlDeviceName, {assembler.StringVar(0)});
  vm.errors = {};
  Run();
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_EQ(String(0), "Pad");
}

TEST_F(InputCommandsTest, TheChecklistNamesEachControllerAndMarksForceFeedback) {
  input.AttachJoystick({.name = "Pad"});
  input.AttachJoystick({.name = "Wheel", .force_feedback = true});
  input.AttachJoystick({.name = "Pedals", .controller_class = platform::ControllerClass::kOther});
  Start();
  vm.checklist.Reset();
  assembler.Op(op::kChecklistControlDevices);
  Run();
  const Checklist& list = vm.checklist;
  EXPECT_TRUE(list.made);
  EXPECT_TRUE(list.values_valid);
  EXPECT_TRUE(list.texts_valid);
  ASSERT_EQ(list.count, 3);
  EXPECT_EQ(list.entries[0].text, "Pad");
  EXPECT_EQ(list.entries[0].a, 0);
  EXPECT_EQ(list.entries[1].text, "Wheel");
  EXPECT_EQ(list.entries[1].a, 1);
  EXPECT_EQ(list.entries[1].b, 0);
  EXPECT_EQ(list.entries[1].d, 0);
  EXPECT_EQ(list.entries[2].text, "Pedals");
}

TEST_F(InputCommandsTest, ControllersOfOneNameAllCountAsForceFeedbackWhenOneIs) {
  input.AttachJoystick({.name = "Twin"});
  input.AttachJoystick({.name = "Twin", .force_feedback = true});
  Start();
  assembler.Op(op::kChecklistControlDevices);
  Run();
  ASSERT_EQ(vm.checklist.count, 2);
  EXPECT_EQ(vm.checklist.entries[0].a, 1);
  EXPECT_EQ(vm.checklist.entries[1].a, 1);
}

TEST_F(InputCommandsTest, AChecklistThatCannotBeMadeSaysSo) {
  input.AttachJoystick({.name = "Pad"});
  Start();
  input.Faults().listing_fails = true;
  vm.checklist.made = true;
  assembler.Op(op::kChecklistControlDevices);
  Run();
  EXPECT_FALSE(vm.checklist.made);
  EXPECT_EQ(vm.checklist.count, 0);
}

TEST_F(InputCommandsTest, CommandsWithoutInputDevicesAreFaults) {
  vm.input_devices = nullptr;
  assembler.Op(op::kUpKey, {V(0)});
  Run();
  EXPECT_EQ(vm.errors.code, 10010);
}

}  // namespace
}  // namespace zv
