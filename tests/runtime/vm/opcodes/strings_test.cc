#include <cmath>
#include <limits>

#include "tests/runtime/vm/opcodes/core_fixture.h"

namespace zv {
namespace {

using test::CoreTest;
using Asm = test::ProgramAssembler;

constexpr uint32_t kResultI = 10000;
constexpr uint32_t kResultF = 11000;
constexpr uint32_t kResultS = 12000;

class Strings : public CoreTest {
 protected:
  std::string Slice(uint32_t opcode, const std::string& text, int32_t n) {
    assembler = Asm();
    Build(opcode, kResultS, {S(text), I(n)});
    assembler.Op(test::kEndOp);
    Run();
    return Str(kResultS);
  }
  std::string TextOfInt(uint32_t opcode, int32_t n) {
    assembler = Asm();
    Build(opcode, kResultS, {I(n)});
    assembler.Op(test::kEndOp);
    Run();
    return Str(kResultS);
  }
  std::string TextOfFloat(float x) {
    assembler = Asm();
    Build(311, kResultS, {F(x)});
    assembler.Op(test::kEndOp);
    Run();
    return Str(kResultS);
  }
  int32_t IntOfText(uint32_t opcode, const std::string& text) {
    assembler = Asm();
    Build(opcode, kResultI, {S(text)});
    assembler.Op(test::kEndOp);
    Run();
    return Int(kResultI);
  }
};

TEST_F(Strings, SlicingAtTheEnds) {
  struct Case {
    uint32_t op;
    const char* text;
    int32_t n;
    const char* out;
  } cases[] = {
      // First n characters.
      {233, "abc", 0, ""},  {233, "abc", 5, "abc"}, {233, "abc", 2, "ab"},
      {233, "abc", -1, ""}, {233, "abc", INT32_MIN, ""}, {233, "", 3, ""},
      {233, "abc", INT32_MAX, "abc"},
      // Last n characters.
      {248, "abc", 2, "bc"}, {248, "abc", -1, ""}, {248, "abc", 9, "abc"},
      {248, "abc", 0, ""},   {248, "abc", 3, "abc"}, {248, "abc", INT32_MIN, ""},
      {248, "abc", INT32_MAX, "abc"}, {248, "", 1, ""},
      // Character n, from 1.
      {237, "abc", 0, ""}, {237, "abc", 4, ""}, {237, "abc", -1, ""},
      {237, "abc", 1, "a"}, {237, "abc", 3, "c"}, {237, "", 1, ""},
      {237, "abc", INT32_MIN, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Slice(c.op, c.text, c.n), c.out) << c.op << " '" << c.text << "' " << c.n;
}

TEST_F(Strings, LongTextsAreSlicedWhole) {
  std::string text = std::string(400, 'x') + "end";
  EXPECT_EQ(Slice(248, text, 3), "end");
  EXPECT_EQ(Slice(233, text, 1000), text);
  EXPECT_EQ(Slice(237, text, 402), "n");
  assembler = Asm();
  Build(234, kResultI, {S(text)});
  assembler.Op(test::kEndOp);
  Run();
  EXPECT_EQ(Int(kResultI), 403);
}

TEST_F(Strings, BlanksUpToWhatAStringHolds) {
  EXPECT_EQ(TextOfInt(256, 256), std::string(256, ' '));
  EXPECT_EQ(TextOfInt(256, 0), "");
  EXPECT_EQ(TextOfInt(256, INT32_MIN), "");
  EXPECT_EQ(vm.errors.code, 0);

  assembler = Asm();
  uint32_t text = assembler.StringVar(0);
  assembler.Op(153, {text, S("kept")});
  assembler.Op(256, {text, I(static_cast<int32_t>(StringHeap::kMaxLength) + 1)});
  assembler.Op(test::kEndOp);
  Run();
  EXPECT_EQ(vm.errors.code, 107);
  EXPECT_EQ(Str(text), "kept");
}

TEST_F(Strings, CharacterCodes) {
  EXPECT_EQ(IntOfText(203, "\xC8xyz"), 200);  // bytes are unsigned
  EXPECT_EQ(IntOfText(203, ""), 0);
  EXPECT_EQ(IntOfText(234, ""), 0);
  EXPECT_EQ(TextOfInt(210, 65), "A");
  EXPECT_EQ(TextOfInt(210, 256 + 66), "B");  // the low 8 bits
  EXPECT_EQ(TextOfInt(210, 256), "");
  EXPECT_EQ(TextOfInt(210, -1), "\xFF");
}

TEST_F(Strings, CaseChangesOnlyAsciiLetters) {
  assembler.Op(236, {Asm::StringTemp(0), S("AbZ@[`{\xC4")});
  assembler.Op(261, {Asm::StringTemp(1), S("aBz@[`{\xE4")});
  assembler.Op(test::kEndOp);
  Run();
  EXPECT_EQ(Str(Asm::StringTemp(0)), "abz@[`{\xC4");
  EXPECT_EQ(Str(Asm::StringTemp(1)), "ABZ@[`{\xE4");
}

TEST_F(Strings, NumbersToText) {
  EXPECT_EQ(TextOfInt(206, 5), "%" + std::string(29, '0') + "101");
  EXPECT_EQ(TextOfInt(206, -1), "%" + std::string(32, '1'));
  EXPECT_EQ(TextOfInt(206, INT32_MIN), "%1" + std::string(31, '0'));
  EXPECT_EQ(TextOfInt(223, -1), "FFFFFFFF");
  EXPECT_EQ(TextOfInt(223, 255), "FF");
  EXPECT_EQ(TextOfInt(312, INT32_MIN), "-2147483648");
  EXPECT_EQ(TextOfFloat(1000000.0f), "1e+006");
  EXPECT_EQ(TextOfFloat(0.5f), "0.5");
  EXPECT_EQ(TextOfFloat(100.0f), "100");
  EXPECT_EQ(TextOfFloat(0.1f), "0.1");
  EXPECT_EQ(TextOfFloat(std::numeric_limits<float>::max()), "3.40282e+038");
  EXPECT_EQ(TextOfFloat(-std::numeric_limits<float>::infinity()), "-inf");
}

TEST_F(Strings, TextToNumbers) {
  EXPECT_EQ(IntOfText(322, "  12abc"), 12);
  EXPECT_EQ(IntOfText(322, "abc"), 0);
  EXPECT_EQ(IntOfText(322, "99999999999"), INT32_MAX);
  assembler = Asm();
  Build(321, kResultF, {S("1.5e2x")});
  assembler.Op(test::kEndOp);
  Run();
  EXPECT_EQ(Float(kResultF), 150.0f);
  assembler = Asm();
  Build(321, kResultF, {S("1e300")});  // past the float range
  assembler.Op(test::kEndOp);
  Run();
  EXPECT_EQ(Float(kResultF), std::numeric_limits<float>::infinity());
}

TEST_F(Strings, AbsoluteValues) {
  struct Case {
    float in;
    int32_t out;
  } cases[] = {{-2.7f, 2}, {3.99f, 3}, {-2147483648.0f, INT32_MIN},
               {std::numeric_limits<float>::quiet_NaN(), 0},
               {-std::numeric_limits<float>::infinity(), 0}};
  for (const auto& c : cases) {
    assembler = Asm();
    Build(201, kResultI, {F(c.in)});
    assembler.Op(test::kEndOp);
    Run();
    EXPECT_EQ(Int(kResultI), c.out) << c.in;
  }
  assembler = Asm();
  Build(368, kResultF, {F(-0.0f)});
  assembler.Op(test::kEndOp);
  Run();
  EXPECT_FALSE(std::signbit(Float(kResultF)));
}

TEST_F(Strings, ColourValues) {
  struct Case {
    uint32_t op;
    std::vector<int32_t> in;
    int32_t out;
  } cases[] = {
      {391, {1, 2, 3}, 66051},
      {391, {0, 0, 256}, 256},                 // blue carries into green
      {391, {255, 255, 255}, 0xFFFFFF},
      {391, {-1, 0, 0}, static_cast<int32_t>(0xFFFF0000u)},
      {392, {0x12345678}, 0x34},
      {393, {0x12345678}, 0x56},
      {394, {0x12345678}, 0x78},
      {392, {-1}, 0xFF},
  };
  for (const auto& c : cases) {
    assembler = Asm();
    assembler.Raw({c.op, kResultI});
    for (int32_t v : c.in) assembler.Raw({I(v)});
    assembler.Op(test::kEndOp);
    Run();
    EXPECT_EQ(Int(kResultI), c.out) << c.op;
  }
}

TEST_F(Strings, DateTimeAndCommandLine) {
  vm.command_line = "-level 3 \"my file\"";
  assembler.Op(211, {Asm::StringTemp(0)});
  assembler.Op(408, {Asm::StringTemp(1)});
  assembler.Op(409, {Asm::StringTemp(2)});
  assembler.Op(test::kEndOp);
  Run();
  EXPECT_EQ(Str(Asm::StringTemp(0)), "-level 3 \"my file\"");
  std::string date = Str(Asm::StringTemp(1)), time = Str(Asm::StringTemp(2));
  ASSERT_EQ(date.size(), 8u);
  EXPECT_EQ(date[2], '/');
  EXPECT_EQ(date[5], '/');
  ASSERT_EQ(time.size(), 8u);
  EXPECT_EQ(time[2], ':');
  EXPECT_EQ(time[5], ':');
}

}  // namespace
}  // namespace zv
