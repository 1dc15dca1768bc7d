// The devices and their poll: what each read fills, when nothing is read,
// the mouse tracking, and the choice of the control device.
#include "services/input/input_devices.h"

#include "tests/services/input/input_fixture.h"

namespace zv {
namespace {

namespace scan = platform::scan;
using platform::Axis;
using platform::EffectCall;
using platform::VirtualJoystickSpec;

class InputDevicesTest : public test::InputTest {};

TEST_F(InputDevicesTest, StartFailsWithoutKeyboardOrMouseAndSaysWhy) {
  input.Faults().no_mouse = true;
  EXPECT_FALSE(devices.InitInput());
  EXPECT_EQ(vm.errors.last_engine_error, "Failed to create DirectInput Mouse Device");
  EXPECT_FALSE(input.IsOpen()) << "a failed start shuts the devices down again";

  input.Faults() = {};
  input.Faults().no_keyboard = true;
  EXPECT_FALSE(devices.InitInput());
  EXPECT_EQ(vm.errors.last_engine_error, "Failed to create DirectInput Keyboard Device");

  input.Faults() = {};
  input.Faults().open_fails = true;
  EXPECT_FALSE(devices.InitInput());
  EXPECT_EQ(vm.errors.last_engine_error, "Failed to create DirectInput Interface");
}

TEST_F(InputDevicesTest, AMissingJoystickIsNoFailureAndReadsZeros) {
  Start();
  input.PressKey(scan::kA);
  devices.PollInputDevices();
  EXPECT_EQ(runtime.input.keyboard[scan::kA], platform::kKeyHeld);
  EXPECT_EQ(devices.DefaultJoystickName(), "");
  EXPECT_EQ(devices.JoystickState().x, 0);
  EXPECT_EQ(devices.JoystickState().pov[0], platform::kPovCentred);
}

TEST_F(InputDevicesTest, KeysFollowTheScriptOnTheClock) {
  Start();
  input.PressKey(scan::kUp, 100, 50);
  devices.PollInputDevices();
  EXPECT_EQ(runtime.input.keyboard[scan::kUp], 0);
  host.clock.Set(100);
  devices.PollInputDevices();
  EXPECT_EQ(runtime.input.keyboard[scan::kUp], platform::kKeyHeld);
  host.clock.Set(150);
  devices.PollInputDevices();
  EXPECT_EQ(runtime.input.keyboard[scan::kUp], 0);
}

TEST_F(InputDevicesTest, NothingIsReadWhileTheWindowLacksTheFocusOrTheProgramIsInactive) {
  Start();
  input.PressKey(scan::kSpace);
  input.MoveMouse(10, 0);
  runtime.window.input_focus = false;
  devices.PollInputDevices();
  vm.app_active = false;
  runtime.window.input_focus = true;
  devices.PollInputDevices();
  EXPECT_EQ(runtime.input.keyboard[scan::kSpace], 0);
  EXPECT_EQ(runtime.input.mouse_move_x, 0);

  vm.app_active = true;
  devices.PollInputDevices();
  EXPECT_EQ(runtime.input.keyboard[scan::kSpace], platform::kKeyHeld);
  EXPECT_EQ(runtime.input.mouse_move_x, 10);
}

// A program that runs on behind another window (always active full screen
// here, where the mouse device gives the buttons): a key or button let go
// there reads up at once, one still held reads held, a new press is not read.
TEST_F(InputDevicesTest, BehindAnotherWindowOnlyWhatIsLetGoIsRead) {
  Start();
  input.PressKey(scan::kLeft, 0, 100);
  input.PressKey(scan::kRight);
  input.PressMouseButton(0, 0, 100);
  input.PressMouseButton(1);
  devices.PollInputDevices();
  input.LoseFocus();
  runtime.window.input_focus = false;
  input.PressKey(scan::kSpace, 100);
  host.clock.Set(100);
  devices.PollInputDevices();
  EXPECT_EQ(runtime.input.keyboard[scan::kLeft], 0);
  EXPECT_EQ(runtime.input.keyboard[scan::kRight], platform::kKeyHeld);
  EXPECT_EQ(runtime.input.keyboard[scan::kSpace], 0);
  EXPECT_EQ(runtime.input.mouse_buttons, 0b10);
}

TEST_F(InputDevicesTest, InFullScreenTheMouseMovesThePointerWithinTheDisplay) {
  Start();
  input.MoveMouse(-1000, -1000);
  devices.PollInputDevices();
  EXPECT_EQ(runtime.input.mouse_x, 0);
  EXPECT_EQ(runtime.input.mouse_y, 0);
  EXPECT_EQ(runtime.input.mouse_move_x, -1000);

  input.MoveMouse(5000, 5000);
  devices.PollInputDevices();
  EXPECT_EQ(runtime.input.mouse_x, 639);
  EXPECT_EQ(runtime.input.mouse_y, 479);
  EXPECT_EQ(runtime.input.mouse_move_y, 4000);

  display.picture.screen_width = 800;
  input.MoveMouse(-100, 0);
  devices.PollInputDevices();
  EXPECT_EQ(runtime.input.mouse_x, 539);
}

TEST_F(InputDevicesTest, TheWheelStopsAt0And99WhileItsMovesAddUp) {
  Start();
  input.MoveMouse(0, 0, -120);
  devices.PollInputDevices();
  EXPECT_EQ(runtime.input.mouse_z, 0);
  EXPECT_EQ(runtime.input.mouse_move_z, -120);
  input.MoveMouse(0, 0, 240);
  devices.PollInputDevices();
  EXPECT_EQ(runtime.input.mouse_z, 99);
  EXPECT_EQ(runtime.input.mouse_move_z, 120);
}

TEST_F(InputDevicesTest, ButtonsBecomeOneBitEach) {
  Start();
  input.PressMouseButton(0);
  input.PressMouseButton(2);
  devices.PollInputDevices();
  EXPECT_EQ(runtime.input.mouse_buttons, 0b101);
  input.PressMouseButton(3, 0, 0);
  devices.PollInputDevices();
  EXPECT_EQ(runtime.input.mouse_buttons, 0b1101);
}

TEST_F(InputDevicesTest, InAWindowOnlyTheMovesAddUpUnlessTheCursorSpritesDrawThePointer) {
  display.SetWindowed(true);
  Start();
  runtime.input.mouse_buttons = 2;  // as the window's messages left it
  input.MoveMouse(30, 40);
  input.PressMouseButton(0);
  devices.PollInputDevices();
  EXPECT_EQ(runtime.input.mouse_x, 320);
  EXPECT_EQ(runtime.input.mouse_y, 240);
  EXPECT_EQ(runtime.input.mouse_move_x, 30);
  EXPECT_EQ(runtime.input.mouse_move_y, 40);
  EXPECT_EQ(runtime.input.mouse_buttons, 2);

  runtime.window.cursor_sprite_mode = true;
  input.MoveMouse(30, 40);
  devices.PollInputDevices();
  EXPECT_EQ(runtime.input.mouse_x, 350);
  EXPECT_EQ(runtime.input.mouse_buttons, 1);
}

TEST_F(InputDevicesTest, WhileARequesterIsOpenOnlyTheKeyboardIsRead) {
  int32_t pointer_mode = 3;
  devices.SetPointerModeSource([&] { return pointer_mode; });
  platform::VirtualJoystick& stick = input.AttachJoystick();
  Start();
  input.PressKey(scan::kEnter);
  input.MoveMouse(5, 5);
  stick.SetAxis(Axis::kX, 1.0);
  devices.PollInputDevices();
  EXPECT_EQ(runtime.input.keyboard[scan::kEnter], platform::kKeyHeld);
  EXPECT_EQ(runtime.input.mouse_move_x, 0);
  EXPECT_EQ(devices.JoystickState().x, 0);

  pointer_mode = 1;
  devices.PollInputDevices();
  EXPECT_EQ(runtime.input.mouse_move_x, 5);
  EXPECT_EQ(devices.JoystickState().x, 1000);
}

TEST_F(InputDevicesTest, ALostDeviceIsAcquiredAgainByTheNextPoll) {
  Start();
  input.LoseFocus();
  input.PressKey(scan::kQ);
  input.MoveMouse(7, 0);
  devices.PollInputDevices();
  EXPECT_EQ(runtime.input.keyboard[scan::kQ], 0) << "no focus, no keys";

  input.RegainFocus();
  devices.PollInputDevices();
  EXPECT_EQ(runtime.input.keyboard[scan::kQ], platform::kKeyHeld);
}

// Its last moves would otherwise be added once more at every poll.
TEST_F(InputDevicesTest, AMouseThatCannotBeReadAddsNoMoves) {
  Start();
  input.MoveMouse(7, 3);
  devices.PollInputDevices();
  input.LoseFocus();
  devices.PollInputDevices();
  devices.PollInputDevices();
  EXPECT_EQ(runtime.input.mouse_move_x, 7);
  EXPECT_EQ(runtime.input.mouse_x, 327);
}

TEST_F(InputDevicesTest, TheDefaultJoystickReadsPlusMinus1000WithATenPercentDeadZone) {
  platform::VirtualJoystick& stick = input.AttachJoystick({.name = "Pad", .axes = {Axis::kX, Axis::kY, Axis::kSlider0}});
  input.AttachJoystick({.name = "Second"});
  Start();
  EXPECT_EQ(devices.DefaultJoystickName(), "Pad");
  stick.SetAxis(Axis::kX, 0.08);
  stick.SetAxis(Axis::kY, -1.0);
  stick.SetAxis(Axis::kSlider0, -1.0);
  stick.SetHat(0, 9000);
  stick.SetButton(31, true);
  devices.PollInputDevices();
  const platform::JoystickState& s = devices.JoystickState();
  EXPECT_EQ(s.x, 0) << "inside the dead zone";
  EXPECT_EQ(s.y, -1000);
  EXPECT_EQ(s.sliders[0], 0) << "sliders keep the whole range";
  EXPECT_EQ(s.pov[0], 9000u);
  EXPECT_EQ(s.pov[1], platform::kPovCentred);
  EXPECT_EQ(s.buttons[31], platform::kKeyHeld);
  stick.SetAxis(Axis::kX, 0.55);
  devices.PollInputDevices();
  EXPECT_EQ(devices.JoystickState().x, 500) << "the travel beyond the dead zone spreads over the range";
}

TEST_F(InputDevicesTest, SelectingAForceFeedbackJoystickMakesItsEffectsUnstarted) {
  platform::VirtualJoystick& wheel = input.AttachJoystick({.name = "Wheel", .force_feedback = true});
  input.AttachJoystick({.name = "Pad"});
  Start();
  devices.SetWantedControlDeviceName("Wheel");
  // The default joystick ("Wheel", the first attached) is the same device.
  ASSERT_TRUE(devices.SelectControlDevice());
  EXPECT_TRUE(devices.ForceFeedback());
  EXPECT_EQ(devices.CurrentControlDeviceName(), "Wheel");
  EXPECT_EQ(wheel.LiveEffects(), 10);
  EXPECT_EQ(wheel.AutoCenter(), false);
  for (const EffectCall& call : wheel.EffectCalls()) EXPECT_EQ(call.kind, EffectCall::Kind::kCreate);

  // Read through the control device, which has no dead zone.
  wheel.SetAxis(Axis::kX, 0.05);
  devices.PollInputDevices();
  EXPECT_EQ(devices.JoystickState().x, 50);
  EXPECT_EQ(devices.ControlDeviceState().x, 50);
}

TEST_F(InputDevicesTest, AJoystickWithoutForceFeedbackIsAControlDeviceWithoutEffects) {
  platform::VirtualJoystick& pad = input.AttachJoystick({.name = "Pad"});
  Start();
  devices.SetWantedControlDeviceName("Pad");
  ASSERT_TRUE(devices.SelectControlDevice());
  EXPECT_FALSE(devices.ForceFeedback());
  EXPECT_EQ(devices.CurrentControlDeviceName(), "Pad");
  EXPECT_TRUE(pad.EffectCalls().empty());
  pad.SetAxis(Axis::kY, 1.0);
  devices.PollInputDevices();
  EXPECT_EQ(devices.ControlDeviceState().y, 1000);
}

TEST_F(InputDevicesTest, AFailedSelectionKeepsTheNameAndTheFlagButNotTheDeviceOrItsEffects) {
  platform::VirtualJoystick& wheel = input.AttachJoystick({.name = "Wheel", .force_feedback = true});
  Start();
  devices.SetWantedControlDeviceName("Wheel");
  ASSERT_TRUE(devices.SelectControlDevice());
  devices.SetWantedControlDeviceName("Gone");
  EXPECT_FALSE(devices.SelectControlDevice());
  EXPECT_EQ(devices.CurrentControlDeviceName(), "Wheel");
  EXPECT_TRUE(devices.ForceFeedback());
  EXPECT_EQ(devices.ControlDevice(), nullptr);
  EXPECT_EQ(wheel.LiveEffects(), 0);
  EXPECT_EQ(wheel.OpenDevices(), 1) << "only the default joystick stays open";
}

TEST_F(InputDevicesTest, ReleasingTheEffectsEndsTheControlDeviceToo) {
  platform::VirtualJoystick& wheel = input.AttachJoystick({.name = "Wheel", .force_feedback = true});
  Start();
  devices.SetWantedControlDeviceName("Wheel");
  ASSERT_TRUE(devices.SelectControlDevice());
  devices.ReleaseForceEffects();
  EXPECT_FALSE(devices.ForceFeedback());
  EXPECT_EQ(devices.ControlDevice(), nullptr);
  EXPECT_EQ(wheel.LiveEffects(), 0);

  devices.ShutdownInput();
  EXPECT_EQ(wheel.OpenDevices(), 0);
  EXPECT_FALSE(input.IsOpen());
}

TEST_F(InputDevicesTest, LongNamesAreComparedByTheirFirst255Characters) {
  const std::string name(300, 'n');
  input.AttachJoystick({.name = name});
  Start();
  EXPECT_EQ(devices.DefaultJoystickName(), name.substr(0, 255));
  devices.SetWantedControlDeviceName(name);
  EXPECT_TRUE(devices.SelectControlDevice());
  EXPECT_EQ(devices.CurrentControlDeviceName().size(), 255u);
}

}  // namespace
}  // namespace zv
