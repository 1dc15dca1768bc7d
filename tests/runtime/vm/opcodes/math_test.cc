#include <cmath>
#include <limits>
#include <numbers>

#include "runtime/vm/numeric/random.h"
#include "tests/runtime/vm/opcodes/core_fixture.h"

namespace zv {
namespace {

using test::CoreTest;
using Asm = test::ProgramAssembler;

constexpr uint32_t kResultI = 10000;
constexpr uint32_t kResultF = 11000;

class Math : public CoreTest {
 protected:
  float FloatFn(uint32_t opcode, uint32_t argument) {
    Build(opcode, kResultF, {argument});
    assembler.Op(test::kEndOp);
    Run();
    return Float(kResultF);
  }
  float FloatFnOf(uint32_t opcode, float x) {
    assembler = Asm();
    return FloatFn(opcode, F(x));
  }
  float FloatFnOfInt(uint32_t opcode, int32_t x) {
    assembler = Asm();
    return FloatFn(opcode, I(x));
  }
};

// Each angle function, with a float argument and with an int one, exact
// to float precision in degrees, also many whole turns on.
TEST_F(Math, AnglesInDegreesAreExactToFloatPrecision) {
  struct Case {
    uint32_t float_op, int_op;
    int32_t x;
    float result;
  } cases[] = {
      {341, 342, 30, 0.5f},    {341, 342, 180, 0.0f},   {341, 342, -90, -1.0f},   {341, 342, 360030, 0.5f},
      {331, 332, 60, 0.5f},    {331, 332, 90, 0.0f},    {331, 332, -180, -1.0f},  {331, 332, 270, 0.0f},
      {381, 382, 45, 1.0f},    {381, 382, 135, -1.0f},  {381, 382, 180, 0.0f},    {381, 382, -360045, -1.0f},
      {202, 361, -1, 180.0f},  {202, 361, 0, 90.0f},    {204, 362, 1, 90.0f},     {204, 362, -1, -90.0f},
      {205, 363, 1, 45.0f},    {205, 363, -1, -45.0f},  {222, 371, 0, 1.0f},      {226, 373, 0, 0.0f},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FloatFnOf(c.float_op, static_cast<float>(c.x)), c.result) << c.float_op << " of " << c.x;
    EXPECT_EQ(FloatFnOfInt(c.int_op, c.x), c.result) << c.int_op << " of " << c.x;
  }
  EXPECT_EQ(FloatFnOf(341, 0.5f), static_cast<float>(std::sin(0.5 * (std::numbers::pi / 180))));
  EXPECT_EQ(FloatFnOfInt(372, 100), static_cast<float>(std::sinh(100 * (std::numbers::pi / 180))));
  EXPECT_TRUE(std::isfinite(FloatFnOfInt(382, 90)));  // large, never an infinity
  EXPECT_EQ(FloatFnOf(257, 2.25f), 1.5f);
  EXPECT_EQ(FloatFnOfInt(258, 16), 4.0f);
}

TEST_F(Math, OutOfDomainGivesNaNWithoutAnError) {
  EXPECT_TRUE(std::isnan(FloatFnOf(202, 2.0f)));
  EXPECT_TRUE(std::isnan(FloatFnOfInt(258, -1)));
  EXPECT_TRUE(std::isnan(FloatFnOf(331, std::numeric_limits<float>::infinity())));
  EXPECT_EQ(vm.errors.code, 0);
}

TEST_F(Math, TwoArgumentArcTangentKeepsTheQuadrant) {
  struct Case {
    uint32_t op;
    bool y_int, x_int;
    float y, x;
    float degrees;
  } cases[] = {
      {364, false, false, 1, 1, 45},  {365, true, false, 1, -1, 135},
      {366, false, true, -1, -1, -135}, {367, true, true, -1, 1, -45},
      {367, true, true, 0, -1, 180},  {364, false, false, -0.0f, -1, -180},
  };
  for (const auto& c : cases) {
    assembler = Asm();
    uint32_t y = c.y_int ? I(static_cast<int32_t>(c.y)) : F(c.y);
    uint32_t x = c.x_int ? I(static_cast<int32_t>(c.x)) : F(c.x);
    Build(c.op, kResultF, {y, x});
    assembler.Op(test::kEndOp);
    Run();
    EXPECT_EQ(Float(kResultF), c.degrees) << c.op;
  }
}

TEST_F(Math, ExponentialTruncatesToInt) {
  struct Case {
    int32_t x, out;
  } cases[] = {{0, 1}, {1, 2}, {10, 22026}, {-1, 0}, {1000, 0}, {INT32_MIN, 0}, {44, 0}};
  for (const auto& c : cases) {
    assembler = Asm();
    Build(218, kResultI, {I(c.x)});
    assembler.Op(test::kEndOp);
    Run();
    if (c.x == 44) continue;  // fits 64 bits; only checked not to fault
    EXPECT_EQ(Int(kResultI), c.out) << c.x;
  }
}

TEST_F(Math, RandomNumbersFollowTheGenerator) {
  SeedRandom(12345);
  assembler.Op(245, {I(1)});
  assembler.Op(390, {Asm::IntTemp(0), I(99)});
  assembler.Op(390, {Asm::IntTemp(1), I(99)});
  assembler.Op(390, {Asm::IntTemp(2), I(0)});
  assembler.Op(249, {Asm::FloatTemp(0), I(100000)});
  assembler.Op(test::kEndOp);
  Run();
  EXPECT_EQ(Int(Asm::IntTemp(0)), 41);
  EXPECT_EQ(Int(Asm::IntTemp(1)), 67);
  EXPECT_EQ(Int(Asm::IntTemp(2)), 0);
  EXPECT_EQ(Float(Asm::FloatTemp(0)), 26500.0f);  // the fourth draw: at most 32767
  // A later run does not reset the generator.
  ResetVmState(vm);
  EXPECT_NE(RandomState(), 1u);
}

TEST_F(Math, NegativeRandomRangeIsError113) {
  for (int32_t n : {-1, INT32_MAX, INT32_MIN}) {
    assembler = Asm();
    uint32_t out = assembler.IntVar(0);
    assembler.Op(151, {out, I(7)});
    assembler.Op(390, {out, I(n)});
    assembler.Op(test::kEndOp);
    Run();
    EXPECT_EQ(vm.errors.code, 113) << n;
    EXPECT_EQ(Int(out), 7);  // unchanged
  }
}

TEST_F(Math, IncrementAndDecrementVariables) {
  uint32_t i = assembler.IntVar(0), f = assembler.FloatVar(0), big = assembler.IntVar(1);
  assembler.Op(151, {i, I(10)});
  assembler.Op(152, {f, F(1.5f)});
  assembler.Op(151, {big, I(2147483647)});
  assembler.Op(412, {i});
  assembler.Op(414, {i, F(2.9f)});      // adds 2
  assembler.Op(424, {i, F(-1.5f)});     // adds 1
  assembler.Op(422, {i});
  assembler.Op(411, {f});
  assembler.Op(413, {f, F(0.25f)});
  assembler.Op(423, {f, F(1.0f)});
  assembler.Op(421, {f});
  assembler.Op(412, {big});             // wraps
  assembler.Op(414, {i, F(std::numeric_limits<float>::quiet_NaN())});  // adds 0
  assembler.Op(test::kEndOp);
  Run();
  EXPECT_EQ(Int(i), 13);
  EXPECT_EQ(Float(f), 0.75f);
  EXPECT_EQ(Int(big), INT32_MIN);
  EXPECT_EQ(vm.errors.code, 0);
}

TEST_F(Math, IncrementOfAnythingButAVariableOfItsTypeIsRefused) {
  struct Case {
    uint32_t op;
    uint32_t slot;
    bool amount;
    int32_t error;
  } cases[] = {
      {411, Asm::FloatTemp(3), false, 114}, {412, Asm::IntTemp(3), false, 114},
      {414, 15000, true, 114},  // a float variable for an int increment
      {413, 13000, true, 114},  // an int variable for a float increment
      {421, 21000, false, 115}, // a float constant
      {422, 15000, false, 115},
      {424, 19000, true, 115},  // an int constant
      {423, 12000, true, 115},  // a string temporary
  };
  for (const auto& c : cases) {
    assembler = Asm();
    assembler.FloatConst(5.0f);  // slot 11000 (operand 21000)
    assembler.IntConst(5);       // slot 9000 (operand 19000)
    if (c.amount)
      assembler.Op(c.op, {c.slot, F(1.0f)});
    else
      assembler.Op(c.op, {c.slot});
    assembler.Op(test::kEndOp);
    Run();
    EXPECT_EQ(vm.errors.code, c.error) << c.op;
    // The operands are passed also after the error.
    EXPECT_EQ(vm.Pc(), vm.CommandPc() + (c.amount ? 3u : 2u)) << c.op;
    EXPECT_EQ(vm.FloatAt(Slot{slots::kFloatConst}), 5.0f);
    EXPECT_EQ(vm.IntAt(Slot{slots::kIntConst}), 5);
  }
}

}  // namespace
}  // namespace zv
