// Every numeric opcode of the core on every combination of extreme operands.
// The results are checked elsewhere; here the run must end without a fault
// (the sanitizer build turns any undefined behaviour into a failure).
#include <cmath>
#include <limits>
#include <string>

#include "tests/runtime/vm/opcodes/core_fixture.h"

namespace zv {
namespace {

using test::CoreTest;
using Asm = test::ProgramAssembler;

const int32_t kInts[] = {INT32_MIN, INT32_MIN + 1, -1, 0, 1, 255, INT32_MAX};
const float kFloats[] = {
    std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
    -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::max(),
    -std::numeric_limits<float>::max(),      std::numeric_limits<float>::denorm_min(),
    -0.0f, 2147483648.0f, -2147483904.0f, 1e20f, 0.5f, -1.0f};

// An opcode and its operand kinds, result first: i int, f float, s string,
// v int variable, w float variable.
struct Signature {
  uint32_t op;
  const char* kinds;
};

const Signature kSignatures[] = {
    // Operators.
    {51, "iii"}, {52, "fff"}, {53, "fif"}, {54, "ffi"}, {61, "iii"}, {64, "fif"}, {65, "ffi"},
    {66, "fff"}, {71, "iii"}, {74, "fif"}, {75, "ffi"}, {76, "fff"}, {81, "iii"}, {84, "fif"},
    {85, "ffi"}, {86, "fff"}, {91, "iii"}, {94, "fif"}, {95, "ffi"}, {96, "fff"}, {123, "iii"},
    {124, "iii"}, {101, "iii"}, {102, "iff"}, {131, "iif"}, {132, "ifi"}, {111, "iii"},
    {112, "iff"}, {133, "iif"}, {134, "ifi"}, {113, "iii"}, {114, "iff"}, {135, "iif"},
    {136, "ifi"}, {115, "iii"}, {116, "iff"}, {137, "iif"}, {138, "ifi"}, {117, "iii"},
    {118, "iff"}, {139, "iif"}, {140, "ifi"}, {119, "iii"}, {120, "iff"}, {141, "iif"},
    {142, "ifi"}, {151, "ii"}, {152, "ff"}, {154, "if"}, {155, "fi"},
    // Math.
    {202, "ff"}, {361, "fi"}, {204, "ff"}, {362, "fi"}, {205, "ff"}, {363, "fi"}, {331, "ff"},
    {332, "fi"}, {341, "ff"}, {342, "fi"}, {381, "ff"}, {382, "fi"}, {222, "ff"}, {371, "fi"},
    {225, "ff"}, {372, "fi"}, {226, "ff"}, {373, "fi"}, {257, "ff"}, {258, "fi"}, {218, "ii"},
    {364, "fff"}, {365, "fif"}, {366, "ffi"}, {367, "fii"}, {390, "ii"}, {249, "fi"},
    {413, "wf"}, {414, "vf"}, {423, "wf"}, {424, "vf"},
    // Conversions and strings built from numbers.
    {201, "if"}, {368, "ff"}, {232, "if"}, {210, "si"}, {256, "si"}, {206, "si"}, {223, "si"},
    {311, "sf"}, {312, "si"}, {391, "iiii"}, {392, "ii"}, {393, "ii"}, {394, "ii"},
    {233, "ssi"}, {248, "ssi"}, {237, "ssi"},
};

class ExtremeInputs : public CoreTest {
 protected:
  // Operand words for one combination: `pick` chooses the value of each
  // operand from its table.
  void Assemble(const Signature& sig, const size_t* pick) {
    assembler = Asm();
    auto& a = assembler;
    std::vector<uint32_t> words;
    for (size_t k = 0; sig.kinds[k]; ++k) {
      char kind = sig.kinds[k];
      bool result = k == 0;
      uint32_t word = 0;
      switch (kind) {
        case 'i': word = result ? Asm::IntTemp(0) : I(kInts[pick[k]]); break;
        case 'f': word = result ? Asm::FloatTemp(0) : F(kFloats[pick[k]]); break;
        case 's': word = result ? Asm::StringTemp(0) : S("text"); break;
        case 'v': word = a.IntVar(0); break;
        case 'w': word = a.FloatVar(0); break;
      }
      words.push_back(word);
    }
    a.Raw({sig.op});
    for (uint32_t w : words) a.Raw({w});
    a.Op(test::kEndOp);
  }

  static size_t Choices(char kind) {
    if (kind == 'i') return std::size(kInts);
    if (kind == 'f') return std::size(kFloats);
    return 1;
  }
};

TEST_F(ExtremeInputs, EveryNumericOpcodeEndsCleanly) {
  int runs = 0;
  for (const Signature& sig : kSignatures) {
    size_t n = std::char_traits<char>::length(sig.kinds);
    size_t pick[4] = {0, 0, 0, 0};
    for (;;) {
      Assemble(sig, pick);
      Load();
      vm.standalone = true;  // warnings (division by zero) let the run go on
      RunVmLoop(vm);
      RunVmLoop(vm);
      ++runs;
      int32_t code = vm.errors.code;
      // INT_MIN / -1 is the one quotient that faults.
      bool overflow = sig.op == 61 && kInts[pick[1]] == INT32_MIN && kInts[pick[2]] == -1;
      if (overflow)
        EXPECT_EQ(code, 10010);
      else
        EXPECT_TRUE(code == 0 || code == 107 || code == 113) << sig.op << " gave " << code;
      EXPECT_TRUE(vm.program_ended) << sig.op;
      // Next combination of the operands after the result.
      size_t k = 1;
      for (; k < n; ++k) {
        if (++pick[k] < Choices(sig.kinds[k])) break;
        pick[k] = 0;
      }
      if (k >= n) break;
    }
  }
  EXPECT_GT(runs, 1000);
}

}  // namespace
}  // namespace zv
