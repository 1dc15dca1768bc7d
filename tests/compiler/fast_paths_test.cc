// The dispatch loop's fast paths (decoded hot commands, a comparison run
// with the jump on its result, divisions, one- and two-index element
// access, user-function calls and returns) against the general path, where
// every command goes through its handler: each program must end in the same
// state both ways.
#include <vector>

#include "tests/compiler/basic_run.h"

namespace zv::test {
namespace {

// Everything a program leaves that a later command could read.
struct EndState {
  std::vector<uint32_t> words;     // every temporary and variable slot
  std::vector<std::string> texts;  // the string ones' texts
  int32_t error = 0;
  int32_t Int(uint32_t k) const { return static_cast<int32_t>(words[slots::kIntVar + k]); }
  bool operator==(const EndState&) const = default;
};

Handler g_plain_add;
void PlainAdd(Vm& vm) { g_plain_add(vm); }

EndState RunWith(std::string_view source, bool fast) {
  BasicRun run;
  if (!fast) {
    // A table whose handler for one hot opcode is not the loop's own copy:
    // the loop then sends every command through the table.
    g_plain_add = run.handlers.Get(81);
    run.handlers.Set(81, PlainAdd);
  }
  run.vm.standalone = true;  // warnings (division by zero) let the run go on
  EXPECT_TRUE(run.Run(source)) << run.Error();
  EndState state;
  for (uint32_t slot = 0; slot < slots::kIntConst; ++slot) {
    bool text = SlotTypeOf(slot) == SlotType::kString;
    state.words.push_back(text ? 0 : run.vm.WordAt(Slot{slot}));
    if (text) state.texts.emplace_back(run.vm.StringAt(Slot{slot}));
  }
  state.error = run.vm.errors.code;
  return state;
}

// Runs `source` both ways and returns the fast run's state.
EndState RunBothWays(std::string_view source) {
  EndState fast = RunWith(source, true);
  EndState general = RunWith(source, false);
  EXPECT_TRUE(fast == general) << source;
  return fast;
}

TEST(FastPaths, ArithmeticComparisonsAndBranches) {
  EndState s = RunBothWays(
      "hits = 0 : total = 0 : q = 0\n"
      "x# = 0.5 : y# = 0.0 : nan# = sqrt(0.0 - 1.0)\n"
      "for i = -20 to 20\n"
      "  a = i * 7 - 3 : b = i & 5 : c = i | 8\n"
      "  f# = i * 0.25 : g# = f# + a : h# = g# - i * 1.5\n"
      "  if a < b then hits = hits + 1\n"
      "  if a <= b then hits = hits + 2\n"
      "  if f# > h# then hits = hits + 4\n"
      "  if f# >= a then hits = hits + 8\n"
      "  if i = 0 then hits = hits + 16\n"
      "  if g# <> f# then hits = hits + 32\n"
      "  if nan# = nan# then hits = hits + 64\n"
      "  if nan# <> f# then hits = hits + 128\n"
      "  q = a / i : y# = y# + f# / i + h# / f# + i / x#\n"
      "  total = total + a * b - c + int(h#) + q\n"
      "  x# = x# * 1.5 + 1 : z = x#\n"
      "next i\n");
  EXPECT_EQ(s.error, 0);
  int hits = 0;
  for (int i = -20; i <= 20; ++i) {
    int a = i * 7 - 3, b = i & 5;
    float f = i * 0.25f, g = f + static_cast<float>(a), h = g - static_cast<float>(i * 1.5);
    hits += (a < b) + 2 * (a <= b) + 4 * (f > h) + 8 * (f >= a) + 16 * (i == 0) + 32 * (g != f) + 128;
  }
  EXPECT_EQ(s.Int(0), hits);

  // The one quotient that does not fit ends the run both ways.
  EXPECT_EQ(RunBothWays("a = 0 - 2147483647 - 1 : b = 0 - 1 : c = 5 : c = a / b").error, 10010);
}

TEST(FastPaths, Arrays) {
  // One and two indices, int and float elements, an int stored into a float
  // array, then an index past the end and one past its own bound while the
  // flat index is inside (error 102 both).
  EndState s = RunBothWays(
      "total = 0\n"
      "dim a(50) : dim m(4, 6) : dim f#(10)\n"
      "for i = 0 to 50 : a(i) = i * i : next i\n"
      "for y = 0 to 6 : for x = 0 to 4 : m(x, y) = a(x + y) - y : next x : next y\n"
      "for i = 0 to 10 : f#(i) = i / 4.0 : f#(i) = f#(i) + i : next i\n"
      "for i = 0 to 50 : total = total + a(i) + m(i & 3, i & 1) : next i\n");
  EXPECT_EQ(s.error, 0);
  int total = 0;
  for (int i = 0; i <= 50; ++i) total += i * i + ((i & 3) + (i & 1)) * ((i & 3) + (i & 1)) - (i & 1);
  EXPECT_EQ(s.Int(0), total);

  EXPECT_EQ(RunBothWays("dim a(5) : a(2) = 9 : t = a(6)").error, 102);
  EXPECT_EQ(RunBothWays("dim m(2, 3) : m(3, 3) = 1").error, 102);
  EXPECT_EQ(RunBothWays("dim m(4, 6) : t = m(5, 0)").error, 102);
}

TEST(FastPaths, UserFunctionCalls) {
  // Number-only recursion (the fast call), string parameters and locals
  // (the handler's), parameters passed in another order, a local that
  // becomes an array inside the recursion and one that stops being one, and
  // a call from a subroutine inside a function.
  EndState s = RunBothWays(
      "r = fib(15) : t = tak(12, 8, 4) : w = swap(1, 2, 5) : g = grow(3) : u = undim(3)\n"
      "e$ = echo$(\"abc\", 3) : h# = halves#(40.0, 4) : v = viasub(4)\n"
      "end\n"
      "function fib(n)\n"
      "  if n < 2 then exitfunction n\n"
      "endfunction fib(n - 1) + fib(n - 2)\n"
      "function tak(x, y, z)\n"
      "  if y >= x then exitfunction z\n"
      "endfunction tak(tak(x - 1, y, z), tak(y - 1, z, x), tak(z - 1, x, y))\n"
      "function swap(a, b, n)\n"
      "  if n = 0 then exitfunction a * 10 + b\n"
      "endfunction swap(b, a, n - 1)\n"
      "function grow(n)\n"
      "  keep = n * 100\n"
      "  if n = 0 then dim keep(3) : keep(1) = 7 : exitfunction 0\n"
      "  x = grow(n - 1)\n"
      "endfunction keep + x\n"
      "function undim(n)\n"
      "  if n = 3 then dim gone(2)\n"
      "  if n = 0 then undim gone : gone = 5 : exitfunction gone\n"
      "  x = undim(n - 1)\n"
      "endfunction gone + x\n"
      "function echo$(s$, depth)\n"
      "  keep$ = s$ + str$(depth)\n"
      "  if depth > 0 then inner$ = echo$(s$ + \"x\", depth - 1)\n"
      "endfunction keep$ + inner$\n"
      "function halves#(x#, n)\n"
      "  if n = 0 then exitfunction x#\n"
      "  y# = halves#(x# / 2.0, n - 1)\n"
      "endfunction x# + y#\n"
      "function viasub(n)\n"
      "  if n > 0 then gosub down\n"
      "  exitfunction n\n"
      "down:\n"
      "  m = viasub(n - 1)\n"
      "  return\n"
      "endfunction 0\n");
  EXPECT_EQ(s.error, 0);
  EXPECT_EQ(s.Int(0), 610);  // fib(15)
  EXPECT_EQ(s.Int(3), 21);  // swap: the arguments swap five times (a hidden copy of fib's result is variable 1)
}

}  // namespace
}  // namespace zv::test
