#include "tests/runtime/vm/opcodes/core_fixture.h"

namespace zv {
namespace {

using test::CoreTest;
using Asm = test::ProgramAssembler;

constexpr uint32_t kReadInt = 33, kReadFloat = 34, kReadString = 35;

class Data : public CoreTest {};

TEST_F(Data, ReadsItemsInOrderAndRestores) {
  auto& a = assembler;
  a.Data(5);
  a.Data(2.5f);
  a.Data(std::string("text"));
  a.Data(7);
  uint32_t i0 = a.IntVar(0), f0 = a.FloatVar(0), s0 = a.StringVar(0), i1 = a.IntVar(1);
  uint32_t past = a.IntVar(2), again = a.IntVar(3), s1 = a.StringVar(1), f1 = a.FloatVar(1);
  a.Op(kReadInt, {i0});
  a.Op(kReadFloat, {f0});
  a.Op(kReadString, {s0});
  a.Op(kReadInt, {i1});
  a.Op(151, {past, I(99)});
  a.Op(kReadInt, {past});   // past the last item: 0
  a.Op(kReadString, {s1});  // and the empty string
  a.Op(kReadFloat, {f1});
  a.Op(32);
  a.Op(kReadInt, {again});
  a.Op(31, {Asm::Literal(2)});
  a.Op(kReadString, {Asm::StringTemp(0)});  // a temporary without an element: nothing
  a.Op(kReadString, {s1});  // the item after it: an int read as a string
  a.Op(test::kEndOp);
  Run();
  EXPECT_EQ(Int(i0), 5);
  EXPECT_EQ(Float(f0), 2.5f);
  EXPECT_EQ(Str(s0), "text");
  EXPECT_EQ(Int(i1), 7);
  EXPECT_EQ(Int(past), 0);
  EXPECT_EQ(Float(f1), 0.0f);
  EXPECT_EQ(Int(again), 5);
  EXPECT_EQ(Str(s1), "");
  EXPECT_EQ(vm.data_read_index, 4u);
  EXPECT_EQ(vm.errors.code, 0);
}

TEST_F(Data, MismatchedTypesGiveZeroAndMoveOn) {
  auto& a = assembler;
  a.Data(std::string("s"));
  a.Data(3);
  a.Data(1.5f);
  uint32_t i0 = a.IntVar(0), i1 = a.IntVar(1), f0 = a.FloatVar(0), s0 = a.StringVar(0);
  a.Op(151, {i0, I(11)});
  a.Op(kReadInt, {i0});        // a string item read as an int
  a.Op(kReadInt, {i1});
  a.Op(kReadInt, {f0});        // an int read into a float variable: 0
  a.Op(32);
  a.Op(kReadString, {i1});     // into an int slot: 0, never a handle
  a.Op(kReadString, {s0});     // the int item into a string variable: ""
  a.Op(test::kEndOp);
  Run();
  EXPECT_EQ(Int(i0), 0);
  EXPECT_EQ(Int(i1), 0);
  EXPECT_EQ(vm.WordAt(At(f0)), 0u);
  EXPECT_EQ(Str(s0), "");
  EXPECT_EQ(vm.data_read_index, 2u);
}

TEST_F(Data, ReadsIntoArrayElementsThroughTheirTemporaries) {
  auto& a = assembler;
  a.Data(42);
  a.Data(std::string("element"));
  a.Data(1.25f);
  uint32_t ints = a.IntVar(0), texts = a.StringVar(0), floats = a.FloatVar(0);
  a.Op(501, {ints, I(3)});
  a.Op(521, {texts, I(2)});
  a.Op(511, {floats, I(1)});
  a.Op(661, {Asm::IntTemp(0), ints, I(2)});
  a.Op(kReadInt, {Asm::IntTemp(0)});
  a.Op(671, {Asm::StringTemp(0), texts, I(1)});
  a.Op(kReadString, {Asm::StringTemp(0)});
  a.Op(666, {Asm::FloatTemp(0), floats, I(1)});
  a.Op(kReadFloat, {Asm::FloatTemp(0)});
  a.Op(661, {Asm::IntTemp(1), ints, I(2)});
  a.Op(671, {Asm::StringTemp(1), texts, I(1)});
  a.Op(666, {Asm::FloatTemp(1), floats, I(1)});
  a.Op(test::kEndOp);
  Run();
  EXPECT_EQ(Int(Asm::IntTemp(1)), 42);
  EXPECT_EQ(Str(Asm::StringTemp(1)), "element");
  EXPECT_EQ(Float(Asm::FloatTemp(1)), 1.25f);
}

TEST_F(Data, StaleBindingsWriteNowhere) {
  auto& a = assembler;
  for (int k = 0; k < 4; ++k) a.Data(k + 10);
  uint32_t ints = a.IntVar(0), texts = a.StringVar(0);
  a.Data(std::string("lost"));
  a.Op(501, {ints, I(3)});
  // Dimensioned again after the element read: the old element is gone.
  a.Op(661, {Asm::IntTemp(0), ints, I(2)});
  a.Op(501, {ints, I(3)});
  a.Op(kReadInt, {Asm::IntTemp(0)});
  // Freed after the element read.
  a.Op(661, {Asm::IntTemp(1), ints, I(1)});
  a.Op(506, {ints});
  a.Op(501, {ints, I(3)});
  a.Op(kReadInt, {Asm::IntTemp(1)});
  // A read out of bounds, which ends the run, clears the binding.
  a.Op(521, {texts, I(1)});
  a.Op(671, {Asm::StringTemp(0), texts, I(0)});
  a.Op(671, {Asm::StringTemp(0), texts, I(5)});
  a.Op(test::kEndOp);
  Run();
  EXPECT_EQ(vm.errors.code, 102);
  for (uint32_t k = 0; k < 4; ++k) EXPECT_EQ(vm.arrays.At(0).elements[k], 0u) << k;
  // The failed read cleared the string temporary's binding.
  EXPECT_FALSE(vm.element_bindings[slots::kStringTemp].bound);
}

}  // namespace
}  // namespace zv
