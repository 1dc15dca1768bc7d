// Force feedback: effect durations, what the commands do to the effects of
// the control device (as the virtual joystick records it) and their errors.
#include "services/input/force_effects.h"

#include "tests/services/input/input_fixture.h"

namespace zv {
namespace {

namespace op = input_opcode;
using platform::DirectionKind;
using platform::EffectCall;
using platform::EffectKind;
using platform::EffectParams;
using platform::kInfiniteDuration;
namespace change = platform::effect_change;

TEST(EffectDurations, TimedEffectsAddFiftyMillisecondsToTheWholeTime) {
  EXPECT_EQ(TimedEffectDuration(0), kInfiniteDuration);
  EXPECT_EQ(TimedEffectDuration(500), 550000u);
  EXPECT_EQ(TimedEffectDuration(1500), 1550000u);
  EXPECT_EQ(TimedEffectDuration(2000), 2049999u);  // as the double arithmetic falls
  EXPECT_EQ(TimedEffectDuration(1), 51000u);
}

TEST(EffectDurations, TheAngledPushKeepsWholeSecondsOnly) {
  EXPECT_EQ(AngledEffectDuration(0), kInfiniteDuration);
  EXPECT_EQ(AngledEffectDuration(1), 50000u);
  EXPECT_EQ(AngledEffectDuration(999), 50000u);
  EXPECT_EQ(AngledEffectDuration(1500), 1050000u);
}

// Beyond about 71 minutes the microseconds do not fit 32 bits.
TEST(EffectDurations, TooLongForThirtyTwoBitsPlaysAsLongAsPossible) {
  EXPECT_EQ(TimedEffectDuration(2147483647), kInfiniteDuration - 1);
  EXPECT_EQ(AngledEffectDuration(2147483647), kInfiniteDuration - 1);
  EXPECT_EQ(TimedEffectDuration(4294918), kInfiniteDuration - 1);
  EXPECT_EQ(TimedEffectDuration(4294000), 4294050000u);
}

class ForceFeedbackTest : public test::InputTest {
 protected:
  // Attaches a force-feedback wheel, selects it and forgets its creation.
  platform::VirtualJoystick& SelectWheel(platform::VirtualJoystickSpec spec = {.name = "Wheel",
                                                                             .force_feedback = true}) {
    platform::VirtualJoystick& wheel = input.AttachJoystick(spec);
    Start();
    devices.SetWantedControlDeviceName(spec.name);
    EXPECT_TRUE(devices.SelectControlDevice());
    created = wheel.EffectCalls();
    wheel.ClearEffectCalls();
    return wheel;
  }

  uint32_t I(int32_t value) { return assembler.IntConst(value); }

  // The effect that was created for a slot (effects are made in slot order).
  static int EffectOfSlot(const std::vector<EffectCall>& created, int slot) { return created[slot - 1].effect; }

  std::vector<EffectCall> created;
};

TEST_F(ForceFeedbackTest, SelectionMakesEveryEffectWithItsFirstParameters) {
  SelectWheel();
  ASSERT_EQ(created.size(), 10u);
  const EffectParams& up = created[0].params;
  EXPECT_EQ(up.kind, EffectKind::kConstant);
  EXPECT_EQ(up.direction_kind, DirectionKind::kPolar);
  EXPECT_EQ(up.direction[0], 18000);
  EXPECT_EQ(up.constant.magnitude, 10000);
  EXPECT_EQ(up.duration_us, 100000u);
  EXPECT_EQ(up.gain, 10000u);
  EXPECT_EQ(created[1].params.direction[0], 0);
  EXPECT_EQ(created[2].params.direction[0], 9000);
  EXPECT_EQ(created[3].params.direction[0], 27000);
  EXPECT_EQ(created[4].params.duration_us, 50000u) << "the angled push: 100 ms keeps no whole second";
  EXPECT_EQ(created[5].params.kind, EffectKind::kSine) << "the first periodic kind the device lists";
  EXPECT_EQ(created[5].params.periodic.period_us, 50000u);
  EXPECT_EQ(created[5].params.periodic.magnitude, 10000u);
  EXPECT_EQ(created[6].params.duration_us, 150000u);
  EXPECT_EQ(created[7].params.periodic.period_us, 100000u);
  const EffectParams& damper = created[8].params;
  EXPECT_EQ(damper.kind, EffectKind::kDamper);
  EXPECT_EQ(damper.direction_kind, DirectionKind::kCartesian);
  EXPECT_EQ(damper.direction, (std::array<int32_t, 2>{1, 1}));
  EXPECT_EQ(created[9].params.direction, (std::array<int32_t, 2>{-1, -1}));
  EXPECT_EQ(damper.condition.positive_coefficient, 5000);
  EXPECT_EQ(damper.condition.positive_saturation, 10000u);
  EXPECT_EQ(damper.condition.negative_coefficient, 0);
  EXPECT_EQ(damper.duration_us, kInfiniteDuration);
}

TEST_F(ForceFeedbackTest, ADeviceWithoutPeriodicEffectsGetsTheOthers) {
  platform::VirtualJoystick& wheel = SelectWheel({.name = "Wheel", .force_feedback = true, .periodic_kinds = {}});
  EXPECT_EQ(wheel.LiveEffects(), 8);
  EXPECT_FALSE(devices.Effects().Exists(ForceEffects::kVibration50Ms));
  EXPECT_FALSE(devices.Effects().Exists(ForceEffects::kVibration100Ms));

  assembler.Op(op::kForcePeriodic50Ms, {I(50), I(100)});
  assembler.Op(op::kForceStopAll);
  Run();
  EXPECT_EQ(vm.errors.code, 0);
  ASSERT_EQ(wheel.EffectCalls().size(), 8u) << "the stop reached the eight that exist; the vibration nothing";
  for (const EffectCall& call : wheel.EffectCalls()) EXPECT_EQ(call.kind, EffectCall::Kind::kStop);
}

TEST_F(ForceFeedbackTest, ADirectionalPushUpdatesAndStartsItsEffect) {
  platform::VirtualJoystick& wheel = SelectWheel();
  assembler.Op(op::kForceLeft, {I(40)});
  Run();
  ASSERT_EQ(wheel.EffectCalls().size(), 2u);
  const EffectCall& update = wheel.EffectCalls()[0];
  EXPECT_EQ(update.kind, EffectCall::Kind::kUpdate);
  EXPECT_EQ(update.effect, EffectOfSlot(created, ForceEffects::kPushLeft));
  EXPECT_EQ(update.params.constant.magnitude, 4000);
  EXPECT_EQ(update.params.direction[0], 9000);
  EXPECT_EQ(update.changes, change::kTypeSpecific | change::kStart | change::kDirection);
  EXPECT_EQ(wheel.EffectCalls()[1].kind, EffectCall::Kind::kStart);
  EXPECT_EQ(wheel.EffectCalls()[1].iterations, 1u);
}

TEST_F(ForceFeedbackTest, TheAngledPushTakesItsAngleAndWholeSeconds) {
  platform::VirtualJoystick& wheel = SelectWheel();
  assembler.Op(op::kForceAngle, {I(100), I(360), I(500)});
  Run();
  EXPECT_EQ(vm.errors.code, 0);
  auto now = wheel.EffectNow(EffectOfSlot(created, ForceEffects::kAngledPush));
  ASSERT_TRUE(now);
  EXPECT_EQ(now->direction[0], 36000);
  EXPECT_EQ(now->duration_us, 50000u);
  EXPECT_EQ(wheel.EffectCalls()[0].changes,
            change::kTypeSpecific | change::kStart | change::kDirection | change::kDuration);
}

TEST_F(ForceFeedbackTest, VibrationsAndTheTimedPushFollowTheTimedRule) {
  platform::VirtualJoystick& wheel = SelectWheel();
  assembler.Op(op::kForcePeriodic50Ms, {I(0), I(500)});
  assembler.Op(op::kForceConstantTimed, {I(20), I(0)});
  assembler.Op(op::kForcePeriodic100Ms, {I(30), I(1500)});
  Run();
  auto fast = wheel.EffectNow(EffectOfSlot(created, ForceEffects::kVibration50Ms));
  auto timed = wheel.EffectNow(EffectOfSlot(created, ForceEffects::kTimedPush));
  auto slow = wheel.EffectNow(EffectOfSlot(created, ForceEffects::kVibration100Ms));
  ASSERT_TRUE(fast && timed && slow);
  EXPECT_EQ(fast->duration_us, 550000u);
  EXPECT_EQ(fast->periodic.magnitude, 0u) << "magnitude 0 is accepted";
  EXPECT_EQ(timed->duration_us, kInfiniteDuration);
  EXPECT_EQ(timed->constant.magnitude, 2000);
  EXPECT_EQ(slow->duration_us, 1550000u);
  EXPECT_EQ(slow->periodic.period_us, 100000u);
  // Vibrations keep their direction: no direction change in the update.
  EXPECT_EQ(wheel.EffectCalls()[0].changes, change::kTypeSpecific | change::kStart | change::kDuration);
}

TEST_F(ForceFeedbackTest, TheDamperUpdatesBothHalvesThenStartsBoth) {
  platform::VirtualJoystick& wheel = SelectWheel();
  assembler.Op(op::kForceDamper, {I(100), I(2000)});
  Run();
  const auto& calls = wheel.EffectCalls();
  ASSERT_EQ(calls.size(), 4u);
  const int first = EffectOfSlot(created, ForceEffects::kDamperFirstHalf);
  const int second = EffectOfSlot(created, ForceEffects::kDamperSecondHalf);
  EXPECT_EQ(calls[0].kind, EffectCall::Kind::kUpdate);
  EXPECT_EQ(calls[0].effect, first);
  EXPECT_EQ(calls[1].kind, EffectCall::Kind::kUpdate);
  EXPECT_EQ(calls[1].effect, second);
  EXPECT_EQ(calls[1].params.direction, (std::array<int32_t, 2>{-1, -1}));
  EXPECT_EQ(calls[1].params.condition.positive_coefficient, 5000);
  EXPECT_EQ(calls[1].params.duration_us, 2049999u);
  EXPECT_EQ(calls[2].kind, EffectCall::Kind::kStart);
  EXPECT_EQ(calls[2].effect, first);
  EXPECT_EQ(calls[3].effect, second);
}

// A device that accepts an update without holding it makes the effect anew.
TEST_F(ForceFeedbackTest, AnEffectTheDeviceDidNotTakeInIsMadeAgainAndStarted) {
  platform::VirtualJoystick& wheel =
      SelectWheel({.name = "Wheel", .force_feedback = true, .updates_not_downloaded = true});
  assembler.Op(op::kForceUp, {I(70)});
  Run();
  std::vector<EffectCall::Kind> kinds;
  for (const EffectCall& call : wheel.EffectCalls()) kinds.push_back(call.kind);
  using K = EffectCall::Kind;
  EXPECT_EQ(kinds, (std::vector<K>{K::kUpdate, K::kStart, K::kRelease, K::kCreate, K::kStart}));
  EXPECT_EQ(wheel.EffectCalls()[3].params.constant.magnitude, 7000);
  EXPECT_EQ(wheel.LiveEffects(), 10);
  EXPECT_TRUE(devices.Effects().Exists(ForceEffects::kPushUp));
}

TEST_F(ForceFeedbackTest, AutoCentreIsSwitchedOnTheControlDevice) {
  platform::VirtualJoystick& wheel = SelectWheel();
  assembler.Op(op::kForceAutoCenterOn);
  Run();
  EXPECT_EQ(wheel.AutoCenter(), true);
}

// ---- Errors ------------------------------------------------------------------------

TEST_F(ForceFeedbackTest, WithoutAForceFeedbackDeviceEveryCommandRaises4101) {
  input.AttachJoystick({.name = "Pad"});
  Start();
  for (int opcode : {op::kForceUp, op::kForceStopAll}) {
    assembler = {};
    if (opcode == op::kForceUp)
      assembler.Op(opcode, {I(50)});
    else
      assembler.Op(opcode);
    vm.errors = {};
    Run();
    EXPECT_EQ(vm.errors.code, 4101) << "before any selection, opcode " << opcode;
  }
  devices.SetWantedControlDeviceName("Pad");
  ASSERT_TRUE(devices.SelectControlDevice());
  assembler = {};
  assembler.Op(op::kForceAutoCenterOff);
  vm.errors = {};
  Run();
  EXPECT_EQ(vm.errors.code, 4101) << "a joystick without force feedback";
}

struct BadForce {
  int opcode;
  std::vector<int32_t> operands;
  int32_t error;
};

TEST_F(ForceFeedbackTest, BadValuesRaiseTheirErrorsInOrderAndSkipTheirOperands) {
  SelectWheel();
  const BadForce cases[] = {
      {op::kForceDown, {101}, 4102},
      {op::kForceRight, {-1}, 4102},
      {op::kForceAngle, {101, 500, -1}, 4102},
      {op::kForceAngle, {50, 361, -1}, 4104},
      {op::kForceAngle, {50, -1, 0}, 4104},
      {op::kForceAngle, {50, 360, -1}, 4103},
      {op::kForcePeriodic100Ms, {50, -5}, 4103},
      {op::kForceDamper, {200, -5}, 4102},
  };
  for (const BadForce& c : cases) {
    assembler = {};
    std::vector<uint32_t> words;
    for (int32_t v : c.operands) words.push_back(I(v));
    assembler.Op(static_cast<uint32_t>(c.opcode), {});
    for (uint32_t w : words) assembler.Raw({w});
    const uint32_t after = assembler.Position();
    vm.errors = {};
    Run();
    EXPECT_EQ(vm.errors.code, c.error) << "opcode " << c.opcode;
    EXPECT_EQ(vm.Pc(), after) << "opcode " << c.opcode << " left its operands behind";
  }
}

// The effects of a device go with it; the flag stays, so the commands raise
// nothing and drive nothing.
TEST_F(ForceFeedbackTest, AfterAFailedSelectionTheCommandsDoNothing) {
  platform::VirtualJoystick& wheel = SelectWheel();
  devices.SetWantedControlDeviceName("Gone");
  EXPECT_FALSE(devices.SelectControlDevice());
  wheel.ClearEffectCalls();
  assembler.Op(op::kForceUp, {I(10)});
  assembler.Op(op::kForceDamper, {I(10), I(10)});
  assembler.Op(op::kForceStopAll);
  assembler.Op(op::kForceAutoCenterOn);
  Run();
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_TRUE(wheel.EffectCalls().empty());
  EXPECT_EQ(wheel.AutoCenter(), false) << "still as the selection left it";
}

}  // namespace
}  // namespace zv
