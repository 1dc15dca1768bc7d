#include "platform/input/headless/headless_input.h"

#include <gtest/gtest.h>

#include "platform/input/key_codes.h"

namespace zv::platform {
namespace {

class HeadlessInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(input.Open());
    keyboard = input.OpenKeyboard();
    mouse = input.OpenMouse();
    ASSERT_TRUE(keyboard && mouse);
    ASSERT_TRUE(keyboard->Acquire());
    ASSERT_TRUE(mouse->Acquire());
  }

  ManualClock clock{0};
  HeadlessInput input{clock};
  std::unique_ptr<Keyboard> keyboard;
  std::unique_ptr<Mouse> mouse;
  KeyboardState keys{};
  MouseState moves;
};

TEST_F(HeadlessInputTest, KeysAreHeldFromTheirTimeForTheirSpell) {
  input.PressKey(scan::kLeftShift, 10, 5);
  input.PressKey(scan::kZ, 12);
  clock.Set(9);
  ASSERT_TRUE(keyboard->ReadState(&keys));
  EXPECT_EQ(keys[scan::kLeftShift], 0);
  clock.Set(12);
  ASSERT_TRUE(keyboard->ReadState(&keys));
  EXPECT_EQ(keys[scan::kLeftShift], kKeyHeld);
  EXPECT_EQ(keys[scan::kZ], kKeyHeld);
  clock.Set(15);
  ASSERT_TRUE(keyboard->ReadState(&keys));
  EXPECT_EQ(keys[scan::kLeftShift], 0);
  EXPECT_EQ(keys[scan::kZ], kKeyHeld) << "held without end";
  input.ReleaseKey(scan::kZ, 15);
  ASSERT_TRUE(keyboard->ReadState(&keys));
  EXPECT_EQ(keys[scan::kZ], 0);
}

TEST_F(HeadlessInputTest, TheMouseReportsItsMovesSinceTheLastRead) {
  input.MoveMouse(3, -4, 120, 0);
  input.MoveMouse(1, 1, 0, 0);
  input.MoveMouse(100, 0, 0, 50);
  input.PressMouseButton(1, 0, 20);
  ASSERT_TRUE(mouse->ReadState(&moves));
  EXPECT_EQ(moves.x, 4);
  EXPECT_EQ(moves.y, -3);
  EXPECT_EQ(moves.z, 120);
  EXPECT_EQ(moves.buttons[1], kKeyHeld);
  ASSERT_TRUE(mouse->ReadState(&moves));
  EXPECT_EQ(moves.x, 0) << "already reported";
  clock.Set(50);
  ASSERT_TRUE(mouse->ReadState(&moves));
  EXPECT_EQ(moves.x, 100);
  EXPECT_EQ(moves.buttons[1], 0);
}

TEST_F(HeadlessInputTest, MovesBeforeTheMouseWasAcquiredAreLost) {
  mouse->Unacquire();
  input.MoveMouse(9, 9);
  EXPECT_FALSE(mouse->ReadState(&moves));
  ASSERT_TRUE(mouse->Acquire());
  ASSERT_TRUE(mouse->ReadState(&moves));
  EXPECT_EQ(moves.x, 0);
}

TEST_F(HeadlessInputTest, LosingTheFocusEndsTheAcquisitionUntilItReturns) {
  input.LoseFocus();
  EXPECT_FALSE(keyboard->ReadState(&keys));
  EXPECT_FALSE(keyboard->Acquire());
  input.RegainFocus();
  EXPECT_FALSE(keyboard->ReadState(&keys)) << "lost until acquired again";
  EXPECT_TRUE(keyboard->Acquire());
  EXPECT_TRUE(keyboard->ReadState(&keys));
}

TEST_F(HeadlessInputTest, ControllersAreListedByClassAndForceFeedback) {
  input.AttachJoystick({.name = "Pad"});
  input.AttachJoystick({.name = "Wheel", .force_feedback = true});
  input.AttachJoystick({.name = "Box", .controller_class = ControllerClass::kOther});
  std::vector<ControllerInfo> found;
  ASSERT_TRUE(input.ListControllers(ControllerClass::kJoystick, false, &found));
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].product_name, "Pad");
  EXPECT_TRUE(found[1].force_feedback);
  ASSERT_TRUE(input.ListControllers(ControllerClass::kJoystick, true, &found));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].product_name, "Wheel");
  ASSERT_TRUE(input.ListControllers(ControllerClass::kOther, false, &found));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].product_name, "Box");
}

TEST_F(HeadlessInputTest, AJoystickReadsOnlyWhileAcquiredAndRecordsItsEffects) {
  VirtualJoystick& wheel = input.AttachJoystick({.name = "Wheel", .force_feedback = true});
  std::vector<ControllerInfo> found;
  input.ListControllers(ControllerClass::kJoystick, true, &found);
  std::unique_ptr<Joystick> device = input.OpenJoystick(found.at(0));
  ASSERT_TRUE(device);
  JoystickState state;
  EXPECT_FALSE(device->ReadState(&state));
  ASSERT_TRUE(device->Acquire());
  wheel.SetButton(5, true);
  ASSERT_TRUE(device->ReadState(&state));
  EXPECT_EQ(state.buttons[5], kKeyHeld);

  EffectParams params;
  params.constant.magnitude = 1234;
  std::unique_ptr<ForceEffect> effect;
  ASSERT_EQ(device->CreateEffect(params, &effect), EffectResult::kOk);
  effect->Start(2);
  effect.reset();
  ASSERT_EQ(wheel.EffectCalls().size(), 3u);
  EXPECT_EQ(wheel.EffectCalls()[0].params.constant.magnitude, 1234);
  EXPECT_EQ(wheel.EffectCalls()[1].iterations, 2u);
  EXPECT_EQ(wheel.EffectCalls()[2].kind, EffectCall::Kind::kRelease);
  EXPECT_EQ(wheel.LiveEffects(), 0);
  EXPECT_FALSE(wheel.EffectNow(1));
}

TEST_F(HeadlessInputTest, AJoystickWithoutForceFeedbackMakesNoEffects) {
  input.AttachJoystick({.name = "Pad"});
  std::vector<ControllerInfo> found;
  input.ListControllers(ControllerClass::kJoystick, false, &found);
  std::unique_ptr<Joystick> device = input.OpenJoystick(found.at(0));
  std::unique_ptr<ForceEffect> effect;
  EXPECT_EQ(device->CreateEffect({}, &effect), EffectResult::kFailed);
  EXPECT_FALSE(device->SetAutoCenter(true));
  std::vector<EffectKind> kinds{EffectKind::kSine};
  EXPECT_TRUE(device->ListPeriodicKinds(&kinds));
  EXPECT_TRUE(kinds.empty());
}

}  // namespace
}  // namespace zv::platform
