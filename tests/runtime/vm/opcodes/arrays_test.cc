#include <vector>

#include "tests/runtime/vm/opcodes/core_fixture.h"

namespace zv {
namespace {

using test::CoreTest;
using Asm = test::ProgramAssembler;

class Arrays : public CoreTest {};

// DIM with `bounds`, store 1 + flat index into the first and last elements
// and one past the end (error 102), through the n-index opcodes.
TEST_F(Arrays, OneToFiveDimensionsWithBoundsErrors) {
  const int32_t bounds[5] = {2, 3, 1, 4, 2};
  for (int n = 1; n <= 5; ++n) {
    SCOPED_TRACE(n);
    assembler = Asm();
    auto& a = assembler;
    uint32_t arr = a.IntVar(0), marker = a.IntVar(1);
    a.Raw({static_cast<uint32_t>(500 + n), arr});
    for (int d = 0; d < n; ++d) a.Raw({I(bounds[d])});
    int64_t count = 1;
    for (int d = 0; d < n; ++d) count *= bounds[d] + 1;
    // Last element: every index at its bound.
    a.Raw({static_cast<uint32_t>(560 + n), arr});
    for (int d = 0; d < n; ++d) a.Raw({I(bounds[d])});
    a.Raw({I(static_cast<int32_t>(count))});
    a.Raw({static_cast<uint32_t>(660 + n), Asm::IntTemp(0), arr});
    for (int d = 0; d < n; ++d) a.Raw({I(bounds[d])});
    a.Raw({static_cast<uint32_t>(660 + n), Asm::IntTemp(1), arr});
    for (int d = 0; d < n; ++d) a.Raw({I(0)});
    a.Op(151, {marker, arr});
    // One past the last element.
    a.Op(151, {Asm::IntTemp(2), I(-7)});
    a.Raw({static_cast<uint32_t>(660 + n), Asm::IntTemp(2), arr, I(bounds[0] + 1)});
    for (int d = 1; d < n; ++d) a.Raw({I(bounds[d])});
    a.Op(test::kEndOp);
    Run();
    EXPECT_EQ(Int(Asm::IntTemp(0)), count);
    EXPECT_EQ(Int(Asm::IntTemp(1)), 0);
    EXPECT_NE(Int(marker), 0);  // the array variable's own slot is marked
    EXPECT_EQ(vm.errors.code, 102);
    EXPECT_EQ(Int(Asm::IntTemp(2)), -7);  // unchanged by the failed read
    EXPECT_EQ(vm.arrays.At(0).elements.size(), static_cast<size_t>(count));
  }
}

// Every index lies inside its own dimension, whatever the flat index; a
// dimension the array was not made with holds index 0 alone.
TEST_F(Arrays, EachIndexIsCheckedAgainstItsOwnDimension) {
  struct Case {
    std::vector<int32_t> indices;
    int32_t value;  // read back after 7 was stored at b(2, 1); -1: error 102
  } cases[] = {{{2, 1}, 7},      {{2, 1, 0}, 7}, {{3, 0}, -1},     {{0, 4}, -1}, {{-1, 2}, -1},
               {{5}, -1},        {{2}, 0},       {{2, 1, 1}, -1},  {{2, 1, 0, 0, 1}, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.indices.size());
    assembler = Asm();
    uint32_t b = assembler.IntVar(0);
    assembler.Op(502, {b, I(2), I(3)});  // 3 x 4 elements
    assembler.Op(562, {b, I(2), I(1), I(7)});
    assembler.Op(151, {Asm::IntTemp(0), I(-1)});
    assembler.Raw({static_cast<uint32_t>(660 + c.indices.size()), Asm::IntTemp(0), b});
    for (int32_t i : c.indices) assembler.Raw({I(i)});
    assembler.Op(test::kEndOp);
    Run();
    EXPECT_EQ(vm.errors.code, c.value < 0 ? 102 : 0);
    EXPECT_EQ(Int(Asm::IntTemp(0)), c.value);
  }
}

TEST_F(Arrays, IndexExtremesAreOutOfBoundsNeverOutOfTheBlock) {
  struct Case {
    int32_t i1, i2, i3;
  } cases[] = {{INT32_MIN, 0, 0}, {INT32_MAX, INT32_MAX, INT32_MAX}, {0, 0, INT32_MIN},
               {INT32_MAX, INT32_MIN, 0}, {-1, 0, 0}, {11, 0, 0}};
  for (const auto& c : cases) {
    assembler = Asm();
    uint32_t arr = assembler.FloatVar(0);
    assembler.Op(513, {arr, I(3), I(1), I(0)});
    assembler.Op(578, {arr, I(c.i1), I(c.i2), I(c.i3), I(1)});
    assembler.Op(test::kEndOp);
    Run();
    EXPECT_EQ(vm.errors.code, 102) << c.i1 << "," << c.i2 << "," << c.i3;
  }
}

TEST_F(Arrays, FloatElementsAndIntToFloatStores) {
  auto& a = assembler;
  uint32_t arr = a.FloatVar(0);
  a.Op(511, {arr, I(2)});
  a.Op(566, {arr, I(0), F(2.5f)});
  a.Op(576, {arr, I(1), I(16777217)});
  a.Op(666, {Asm::FloatTemp(0), arr, I(0)});
  a.Op(666, {Asm::FloatTemp(1), arr, I(1)});
  a.Op(666, {Asm::FloatTemp(2), arr, I(2)});
  a.Op(test::kEndOp);
  Run();
  EXPECT_EQ(Float(Asm::FloatTemp(0)), 2.5f);
  EXPECT_EQ(Float(Asm::FloatTemp(1)), 16777216.0f);
  EXPECT_EQ(Float(Asm::FloatTemp(2)), 0.0f);
}

// Before its DIM and after its UNDIM an array does not exist: every store
// and read of it, of every kind, is error 109.
TEST_F(Arrays, AnArrayThatDoesNotExistIsError109) {
  for (bool freed : {false, true})
    for (uint32_t op : {561u, 566u, 576u, 571u, 661u, 666u, 671u}) {
      assembler = Asm();
      const bool text = op % 100 == 71, ints = op % 100 == 61;
      uint32_t arr = text ? assembler.StringVar(0) : ints ? assembler.IntVar(0) : assembler.FloatVar(0);
      if (freed) assembler.Raw({text ? 521u : 501u, arr, I(3), text ? 526u : 506u, arr});
      if (op > 600)
        assembler.Op(op, {text ? Asm::StringTemp(0) : Asm::IntTemp(0), arr, I(0)});
      else
        assembler.Op(op, {arr, I(0), text ? S("x") : I(1)});
      assembler.Op(test::kEndOp);
      Run();
      EXPECT_EQ(vm.errors.code, 109) << op << (freed ? " after undim" : " before dim");
    }
}

TEST_F(Arrays, StringArraysOwnTheirTexts) {
  auto& a = assembler;
  uint32_t texts = a.StringVar(0), copy = a.StringVar(1);
  std::string long_text(1000, 'w');
  a.Op(523, {texts, I(1), I(1), I(1)});
  a.Op(573, {texts, I(1), I(1), I(1), S(long_text)});
  a.Op(573, {texts, I(0), I(0), I(0), S("first")});
  a.Op(673, {copy, texts, I(1), I(1), I(1)});
  a.Op(153, {Asm::StringTemp(0), texts});  // the array variable read as a string
  a.Op(673, {Asm::StringTemp(1), texts, I(0), I(0), I(0)});
  a.Op(573, {texts, I(0), I(0), I(0), Asm::StringTemp(1)});  // an element onto itself
  a.Op(673, {Asm::StringTemp(2), texts, I(1), I(0), I(0)});
  a.Op(test::kEndOp);
  Run();
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_EQ(Str(copy), long_text);
  EXPECT_EQ(Str(Asm::StringTemp(0)), "");
  EXPECT_EQ(Str(Asm::StringTemp(1)), "first");
  EXPECT_EQ(Str(Asm::StringTemp(2)), "");  // an element never stored is empty
  EXPECT_FALSE(vm.Strings().IsLive(vm.WordAt(At(texts))));
}

TEST_F(Arrays, RedimAndUndimFreeTheElements) {
  auto& a = assembler;
  uint32_t texts = a.StringVar(0), ints = a.IntVar(0);
  a.Op(521, {texts, I(3)});
  for (int k = 0; k < 4; ++k) a.Op(571, {texts, I(k), S("t" + std::to_string(k))});
  a.Op(501, {ints, I(2)});
  a.Op(561, {ints, I(1), I(8)});
  a.Op(501, {ints, I(2)});  // a second DIM: all new elements are 0
  a.Op(661, {Asm::IntTemp(0), ints, I(1)});
  a.Op(test::kEndOp);
  Run();
  EXPECT_EQ(Int(Asm::IntTemp(0)), 0);
  EXPECT_EQ(vm.arrays.At(4000).elements.size(), 4u);

  // UNDIM of the string array frees every element text; the variable then
  // holds the empty string. DIM again also frees them.
  assembler = Asm();
  texts = assembler.StringVar(0);
  assembler.Op(521, {texts, I(3)});
  for (int k = 0; k < 4; ++k) assembler.Op(571, {texts, I(k), S("t")});
  assembler.Op(521, {texts, I(1)});
  assembler.Op(571, {texts, I(0), S("u")});
  assembler.Op(526, {texts});
  assembler.Op(526, {texts});  // UNDIM of no array: still the empty string
  assembler.Op(test::kEndOp);
  Load();
  size_t strings_before = vm.Strings().LiveCount();
  RunVmLoop(vm);
  RunVmLoop(vm);
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_FALSE(vm.arrays.IsArray(4000));
  EXPECT_EQ(vm.Strings().LiveCount(), strings_before);
  EXPECT_TRUE(vm.Strings().IsLive(vm.WordAt(At(texts))));
  EXPECT_EQ(Str(texts), "");
}

TEST_F(Arrays, SizesThatCannotBeHeldAreError101) {
  struct Case {
    std::vector<int32_t> bounds;
  } cases[] = {
      {{INT32_MAX}},
      {{65535, 65535, 65535}},
      {{INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX}},
      {{-2}},
      {{3, -5}},
      {{-3, -3}},  // two negative sizes must not multiply into a positive count
      {{1 << 30}},  // one past the limit
  };
  for (const auto& c : cases) {
    assembler = Asm();
    uint32_t arr = assembler.IntVar(0);
    assembler.Raw({static_cast<uint32_t>(500 + c.bounds.size()), arr});
    for (int32_t b : c.bounds) assembler.Raw({I(b)});
    assembler.Op(test::kEndOp);
    Run();
    EXPECT_EQ(vm.errors.code, 101) << c.bounds[0];
    EXPECT_FALSE(vm.arrays.IsArray(0));
  }
}

TEST_F(Arrays, AnEmptyArrayRejectsEveryIndex) {
  uint32_t arr = assembler.IntVar(0);
  assembler.Op(502, {arr, I(INT32_MAX - 1), I(-1)});  // sizes 2^31 - 1 and 0
  assembler.Op(test::kEndOp);
  Run();
  EXPECT_EQ(vm.errors.code, 101);  // the first size alone passes the limit

  assembler = Asm();
  arr = assembler.IntVar(0);
  assembler.Op(502, {arr, I(1000), I(-1)});
  assembler.Op(662, {Asm::IntTemp(0), arr, I(0), I(0)});
  assembler.Op(test::kEndOp);
  Run();
  EXPECT_EQ(vm.errors.code, 102);
}

TEST_F(Arrays, ArrayOperandOfTheWrongClassIsAFault) {
  struct Case {
    uint32_t op;
    uint32_t slot;
  } cases[] = {{501, 17000}, {521, 13000}, {561, 10000}, {671, 19000}};
  for (const auto& c : cases) {
    assembler = Asm();
    assembler.IntConst(1);
    assembler.Raw({c.op});
    if (c.op == 671) assembler.Raw({Asm::StringTemp(0)});
    assembler.Raw({c.slot, I(1)});
    if (c.op == 561) assembler.Raw({I(1)});
    assembler.Op(test::kEndOp);
    Run();
    EXPECT_EQ(vm.errors.code, 10010) << c.op;
  }
}

}  // namespace
}  // namespace zv
