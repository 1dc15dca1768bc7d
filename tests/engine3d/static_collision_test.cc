// The static scene's collision queries as a program calls them: the box
// and line tests against the scene's collision boxes, and the vectors they
// leave for the result functions.
#include <gtest/gtest.h>

#include "engine3d/commands/animation_and_collision_handlers.h"
#include "engine3d/engine.h"
#include "runtime/vm/dispatch.h"
#include "runtime/vm/loader.h"
#include "tests/support/fake_host.h"
#include "tests/support/program_assembler.h"

namespace zv {
namespace {

using test::ProgramAssembler;

constexpr uint32_t kEnd = 9990;  // an opcode no family uses
void End(Vm& vm) {
  vm.yield = true;
  vm.program_ended = true;
}

namespace op {
constexpr uint32_t kStaticBoxCollision = 7571;
constexpr uint32_t kStaticBoxResultX = 7572;
constexpr uint32_t kStaticBoxResultY = 7573;
constexpr uint32_t kStaticBoxResultZ = 7574;
constexpr uint32_t kStaticLineCollision = 7578;
constexpr uint32_t kStaticLineResultX = 7579;
constexpr uint32_t kStaticLineResultZ = 7581;
}  // namespace op

class StaticCollisionQueries : public ::testing::Test {
 protected:
  StaticCollisionQueries() {
    RegisterAnimationAndCollisionHandlers(handlers);
    handlers.Set(kEnd, End);
    vm.engine3d = &engine;
  }

  // Runs what was assembled, from a reset engine whose static scene holds
  // one collision box from (0, 0, 0) to (10, 10, 10).
  void Run() {
    a.Op(kEnd);
    ASSERT_TRUE(InstallProgram(vm, a.Finish()));
    ResetVmState(vm);
    engine.ResetRecordPools(vm);
    AddStaticBox(engine.static_scene, Vector3f{0, 0, 0}, Vector3f{10, 10, 10});
    // The first slice after a reset only clears the reset's yield.
    for (int slice = 0; slice < 3 && !vm.program_ended; ++slice) RunVmLoop(vm);
    ASSERT_TRUE(vm.program_ended);
  }
  void Floats(std::initializer_list<float> values, std::vector<uint32_t>& words) {
    for (float v : values) words.push_back(a.FloatConst(v));
  }
  // An instruction of a result slot and float operands.
  void Op(uint32_t opcode, uint32_t result, std::initializer_list<float> values) {
    std::vector<uint32_t> words{result};
    Floats(values, words);
    a.Raw({opcode});
    for (uint32_t w : words) a.Raw({w});
  }
  int32_t Int(int i) { return vm.IntAt(Slot{ProgramAssembler::IntTemp(i) - 10000}); }
  float Float(int i) { return vm.FloatAt(Slot{ProgramAssembler::FloatTemp(i) - 10000}); }

  HandlerTable handlers;
  test::FakeHost host;
  Vm vm{handlers, host};
  Engine3D engine;
  ProgramAssembler a;
};

TEST_F(StaticCollisionQueries, ABoxEnteringFromAboveIsPushedBackInYOnly) {
  // From above the box (y 12 to 14) down into it (y 9 to 11).
  Op(op::kStaticBoxCollision, ProgramAssembler::IntTemp(0), {4, 12, 4, 6, 14, 6, 4, 9, 4, 6, 11, 6});
  Op(op::kStaticBoxResultX, ProgramAssembler::FloatTemp(0), {});
  Op(op::kStaticBoxResultY, ProgramAssembler::FloatTemp(1), {});
  Op(op::kStaticBoxResultZ, ProgramAssembler::FloatTemp(2), {});
  // A box that meets nothing leaves a zero push-out.
  Op(op::kStaticBoxCollision, ProgramAssembler::IntTemp(1), {20, 20, 20, 21, 21, 21, 20, 20, 20, 21, 21, 21});
  Op(op::kStaticBoxResultY, ProgramAssembler::FloatTemp(3), {});
  Run();
  EXPECT_EQ(Int(0), 1);
  EXPECT_EQ(Float(0), 0.0f);
  EXPECT_EQ(Float(1), -1.0f);  // new min y 9 less the box's top 10
  EXPECT_EQ(Float(2), 0.0f);
  EXPECT_EQ(Int(1), 0);
  EXPECT_EQ(Float(3), 0.0f);
}

TEST_F(StaticCollisionQueries, AMovingCubeStopsBeforeTheBoxAndAStepOfZeroCountsAsOne) {
  Op(op::kStaticLineCollision, ProgramAssembler::IntTemp(0), {-20, 5, 5, 20, 5, 5, 1, 0});
  Op(op::kStaticLineResultX, ProgramAssembler::FloatTemp(0), {});
  Op(op::kStaticLineResultZ, ProgramAssembler::FloatTemp(1), {});
  // Passing beside the box: no contact, the start given back.
  Op(op::kStaticLineCollision, ProgramAssembler::IntTemp(1), {-20, 5, 30, 20, 5, 30, 1, 1});
  Op(op::kStaticLineResultX, ProgramAssembler::FloatTemp(2), {});
  Run();
  EXPECT_EQ(Int(0), 1);
  EXPECT_LT(Float(0), -1.0f);  // stopped short of the box's face at x 0
  EXPECT_GT(Float(0), -3.0f);
  EXPECT_EQ(Float(1), 5.0f);
  EXPECT_EQ(Int(1), 0);
  EXPECT_EQ(Float(2), -20.0f);
}

TEST_F(StaticCollisionQueries, ResultsReadZeroBeforeAnyTest) {
  Op(op::kStaticBoxResultX, ProgramAssembler::FloatTemp(0), {});
  Op(op::kStaticLineResultX, ProgramAssembler::FloatTemp(1), {});
  Run();
  EXPECT_EQ(Float(0), 0.0f);
  EXPECT_EQ(Float(1), 0.0f);
}

}  // namespace
}  // namespace zv
