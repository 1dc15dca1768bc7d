#include <cmath>
#include <limits>

#include "runtime/vm/errors.h"
#include "tests/runtime/vm/opcodes/core_fixture.h"

namespace zv {
namespace {

using test::CoreTest;
using Asm = test::ProgramAssembler;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr uint32_t kResultI = 10000;  // int temporary 0
constexpr uint32_t kResultF = 11000;  // float temporary 0
constexpr uint32_t kResultS = 12000;  // string temporary 0

class Operators : public CoreTest {
 protected:
  int32_t IntOp(uint32_t opcode, int32_t left, int32_t right) {
    assembler = Asm();
    Build(opcode, kResultI, {I(left), I(right)});
    assembler.Op(test::kEndOp);
    Run();
    return Int(kResultI);
  }
  // Float result of an operator whose operands are given as int (i) or
  // float (f) constants, as `kinds` says ("ff", "if", "fi").
  float FloatOp(uint32_t opcode, const char* kinds, double left, double right) {
    assembler = Asm();
    uint32_t l = kinds[0] == 'i' ? I(static_cast<int32_t>(left)) : F(static_cast<float>(left));
    uint32_t r = kinds[1] == 'i' ? I(static_cast<int32_t>(right)) : F(static_cast<float>(right));
    Build(opcode, kResultF, {l, r});
    assembler.Op(test::kEndOp);
    Run();
    return Float(kResultF);
  }
  int32_t Relation(uint32_t opcode, const char* kinds, double left, double right) {
    assembler = Asm();
    uint32_t l = kinds[0] == 'i' ? I(static_cast<int32_t>(left)) : F(static_cast<float>(left));
    uint32_t r = kinds[1] == 'i' ? I(static_cast<int32_t>(right)) : F(static_cast<float>(right));
    Build(opcode, kResultI, {l, r});
    assembler.Op(test::kEndOp);
    Run();
    return Int(kResultI);
  }
  std::string StringOp(uint32_t opcode, const std::string& left, const std::string& right) {
    assembler = Asm();
    Build(opcode, kResultS, {S(left), S(right)});
    assembler.Op(test::kEndOp);
    Run();
    return Str(kResultS);
  }
};

TEST_F(Operators, IntegerArithmeticWrapsAndNeverFaults) {
  struct Case {
    uint32_t op;
    int32_t l, r, out;
  } cases[] = {
      {81, 2147483647, 1, INT32_MIN},
      {81, INT32_MIN, -1, 2147483647},
      {91, INT32_MIN, 1, 2147483647},
      {91, 0, INT32_MIN, INT32_MIN},  // negation of INT_MIN stays INT_MIN
      {71, 65536, 65536, 0},
      {71, INT32_MIN, -1, INT32_MIN},
      {61, -7, 2, -3},
      {61, 7, -2, -3},
      {61, INT32_MIN, 1, INT32_MIN},
      {123, 0x0F0F, 0x00FF, 0x000F},
      {124, INT32_MIN, 1, INT32_MIN + 1},
      {51, 2, 10, 1024},
      {51, 2, -1, 0},
      {51, -2, 31, INT32_MIN},
      {51, 2, 32, 0},     // 2^32 fits 64 bits: its low half is 0
      {51, 10, 100, 0},   // past 64 bits
      {51, 0, -1, 0},     // an infinity
      {51, 0, 0, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IntOp(c.op, c.l, c.r), c.out) << c.op << " " << c.l << " " << c.r;
    EXPECT_EQ(vm.errors.code, 0);
  }
}

TEST_F(Operators, QuotientThatDoesNotFitEndsTheRunWith10010) {
  assembler.Op(151, {kResultI, I(77)});
  assembler.Op(61, {kResultI, I(INT32_MIN), I(-1)});
  assembler.Op(81, {Asm::IntTemp(1), I(1), I(2)});
  assembler.Op(test::kEndOp);
  Run();
  EXPECT_EQ(vm.errors.code, error_code::kSevereException);
  EXPECT_FALSE(vm.errors.warning);
  EXPECT_EQ(Int(kResultI), 77);  // the result keeps its value
  EXPECT_EQ(vm.IntAt(Slot{1}), 0);  // and nothing after the division ran
}

TEST_F(Operators, DivisionByZeroGivesZeroAndWarning111) {
  EXPECT_EQ(IntOp(61, 7, 0), 0);
  EXPECT_EQ(vm.errors.code, 111);
  EXPECT_TRUE(vm.errors.warning);
  for (auto [op, kinds] : {std::pair{64u, "if"}, {65u, "fi"}, {66u, "ff"}}) {
    float out = FloatOp(op, kinds, 7, 0);
    EXPECT_EQ(std::bit_cast<uint32_t>(out), 0u) << op;  // +0.0, never an infinity
    EXPECT_EQ(vm.errors.code, 111) << op;
  }
  // A divisor that is not a number counts as zero.
  EXPECT_EQ(FloatOp(66, "ff", 1, kNaN), 0.0f);
  EXPECT_EQ(vm.errors.code, 111);
  // -0.0 is zero too.
  EXPECT_EQ(FloatOp(66, "ff", 1, -0.0), 0.0f);
  EXPECT_EQ(vm.errors.code, 111);
}

TEST_F(Operators, WarningLetsABuiltGameGoOn) {
  assembler.Op(61, {kResultI, I(7), I(0)});
  assembler.Op(81, {Asm::IntTemp(1), I(1), I(2)});
  assembler.Op(test::kEndOp);
  Load();
  vm.standalone = true;
  RunVmLoop(vm);
  RunVmLoop(vm);
  EXPECT_TRUE(vm.program_ended);
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_EQ(vm.IntAt(Slot{1}), 3);
}

TEST_F(Operators, FloatAndMixedArithmetic) {
  struct Case {
    uint32_t op;
    const char* kinds;
    double l, r;
    float out;
  } cases[] = {
      {86, "ff", 0.1, 0.2, 0.1f + 0.2f},
      {84, "if", 16777217, 1.0, 16777218.0f},  // the int converts exactly
      {85, "fi", 1.5, 2, 3.5f},
      {96, "ff", 1.0, 3.0, -2.0f},
      {94, "if", 1, 0.5, 0.5f},
      {95, "fi", 0.5, 1, -0.5f},
      {76, "ff", 3.0e38, 10.0, kInf},  // overflow rounds to an infinity
      {74, "if", -3, 0.5, -1.5f},
      {75, "fi", 0.5, -3, -1.5f},
      {64, "if", 1, 3.0, 1.0f / 3.0f},
      {66, "ff", 7.0, 2.0, 3.5f},
      {52, "ff", 2.0, 0.5, 1.4142135f},
      {53, "if", 2, -1.0, 0.5f},
      {54, "fi", 9.0, 2, 81.0f},
  };
  for (const auto& c : cases) EXPECT_EQ(FloatOp(c.op, c.kinds, c.l, c.r), c.out) << c.op;
  // The int divisor of 65 is rounded to a float first: 2^24 + 1 divides as 2^24.
  EXPECT_EQ(FloatOp(65, "fi", 16777216.0, 16777217), 1.0f);
  EXPECT_TRUE(std::isnan(FloatOp(86, "ff", kInf, -kInf)));
}

TEST_F(Operators, NumericComparisons) {
  struct Case {
    uint32_t op;
    const char* kinds;
    double l, r;
    int32_t out;
  } cases[] = {
      {101, "ii", 5, 5, 1},       {119, "ii", 5, 5, 0},
      {111, "ii", -1, INT32_MIN, 1}, {115, "ii", INT32_MIN, 2147483647, 1},
      {113, "ii", 3, 3, 1},       {117, "ii", 4, 3, 0},
      {102, "ff", 0.5, 0.5, 1},   {120, "ff", 0.0, -0.0, 0},
      {112, "ff", 2.5, 2.0, 1},   {116, "ff", 2.5, 2.0, 0},
      {114, "ff", 2.0, 2.0, 1},   {118, "ff", 2.0, 2.0, 1},
      // An int compared with a float converts exactly: 16777217 is not the
      // float 16777216.
      {131, "if", 16777217, 16777216.0, 0}, {141, "if", 16777217, 16777216.0, 1},
      {133, "if", 16777217, 16777216.0, 1}, {132, "fi", 16777216.0, 16777217, 0},
      {134, "fi", 2.5, 2, 1},     {136, "fi", 2.0, 2, 1},
      {138, "fi", 1.5, 2, 1},     {140, "fi", 2.5, 2, 0},
      {135, "if", 2, 2.5, 0},     {137, "if", 2, 2.5, 1},
      {139, "if", 2, 2.0, 1},     {142, "fi", 2.0, 2, 0},
      // A NaN: only "not equal" holds.
      {102, "ff", kNaN, kNaN, 0}, {120, "ff", kNaN, kNaN, 1},
      {112, "ff", kNaN, 1.0, 0},  {116, "ff", kNaN, 1.0, 0},
      {114, "ff", 1.0, kNaN, 0},  {118, "ff", 1.0, kNaN, 0},
      {133, "if", 1, kNaN, 0},    {141, "if", 1, kNaN, 1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Relation(c.op, c.kinds, c.l, c.r), c.out) << c.op << " " << c.l << " " << c.r;
}

TEST_F(Operators, StringComparisonsAreByUnsignedBytes) {
  struct Case {
    uint32_t op;
    const char* l;
    const char* r;
    int32_t out;
  } cases[] = {
      {144, "ab", "abc", 1},  {143, "ab", "abc", 0},
      {144, "B", "a", 1},     {103, "abc", "abc", 1},
      {121, "abc", "abC", 1}, {103, "", "", 1},
      {144, "", "a", 1},      {143, "\xC8", "z", 1},  // byte 200 is above 'z'
  };
  for (const auto& c : cases) {
    assembler = Asm();
    assembler.Op(c.op, {kResultI, S(c.l), S(c.r)});
    assembler.Op(test::kEndOp);
    Run();
    EXPECT_EQ(Int(kResultI), c.out) << c.op << " '" << c.l << "' '" << c.r << "'";
  }
}

TEST_F(Operators, ConcatenationHoldsWhatAStringHolds) {
  EXPECT_EQ(StringOp(87, std::string(128, 'a'), std::string(128, 'b')).size(), 256u);
  EXPECT_EQ(vm.errors.code, 0);

  // A join one character past the most a string holds: error 107.
  assembler = Asm();
  uint32_t text = assembler.StringVar(0), blanks = assembler.StringVar(1);
  assembler.Op(153, {text, S("old")});
  assembler.Op(256, {blanks, I(static_cast<int32_t>(StringHeap::kMaxLength))});
  assembler.Op(87, {text, blanks, S("x")});
  assembler.Op(test::kEndOp);
  Run();
  EXPECT_EQ(vm.errors.code, 107);
  EXPECT_EQ(Str(text), "old");  // the result keeps its value
}

TEST_F(Operators, RemovalTakesOutTheFirstOccurrence) {
  struct Case {
    const char* l;
    const char* r;
    const char* out;
  } cases[] = {
      {"abcb", "b", "acb"}, {"abc", "x", "abc"}, {"abc", "abcd", "abc"},
      {"abc", "", "abc"},   {"abc", "abc", ""},  {"aab", "ab", "a"},
      {"", "", ""},         {"xyz", "z", "xy"},
  };
  for (const auto& c : cases) EXPECT_EQ(StringOp(97, c.l, c.r), c.out) << c.l << " - " << c.r;
  // Texts longer than the old 255-character buffer are handled whole.
  std::string long_text = std::string(300, 'a') + "needle" + std::string(300, 'b');
  EXPECT_EQ(StringOp(97, long_text, "needle"), std::string(300, 'a') + std::string(300, 'b'));
}

TEST_F(Operators, AssignmentsCopyAndConvert) {
  uint32_t s = assembler.StringVar(0), t = assembler.StringVar(1);
  uint32_t i = assembler.IntVar(0), f = assembler.FloatVar(0);
  assembler.Op(153, {s, S("text")});
  assembler.Op(153, {s, s});         // onto itself
  assembler.Op(87, {s, s, s});       // added to itself
  assembler.Op(153, {t, s});
  assembler.Op(87, {t, t, S("!")});  // the copy is its own
  assembler.Op(151, {i, I(-5)});
  assembler.Op(152, {f, F(2.5f)});
  assembler.Op(154, {Asm::IntTemp(1), F(-2.7f)});
  assembler.Op(232, {Asm::IntTemp(2), F(3.99f)});
  assembler.Op(155, {Asm::FloatTemp(1), I(16777217)});
  assembler.Op(154, {Asm::IntTemp(3), F(kNaN)});
  assembler.Op(154, {Asm::IntTemp(4), F(-kInf)});
  assembler.Op(154, {Asm::IntTemp(5), F(3.0e9f)});
  assembler.Op(test::kEndOp);
  Run();
  EXPECT_EQ(Str(s), "texttext");
  EXPECT_EQ(Str(t), "texttext!");
  EXPECT_EQ(Int(i), -5);
  EXPECT_EQ(Float(f), 2.5f);
  EXPECT_EQ(Int(Asm::IntTemp(1)), -2);
  EXPECT_EQ(Int(Asm::IntTemp(2)), 3);
  EXPECT_EQ(Float(Asm::FloatTemp(1)), 16777216.0f);
  EXPECT_EQ(Int(Asm::IntTemp(3)), 0);
  EXPECT_EQ(Int(Asm::IntTemp(4)), 0);
  EXPECT_EQ(Int(Asm::IntTemp(5)), -1294967296);  // 3e9 truncated to 64 bits, low half
}

TEST_F(Operators, StringResultIntoANumberSlotIsAFault) {
  assembler.Op(153, {assembler.IntVar(0), S("x")});
  assembler.Op(test::kEndOp);
  Run();
  EXPECT_EQ(vm.errors.code, 10010);
}

}  // namespace
}  // namespace zv
