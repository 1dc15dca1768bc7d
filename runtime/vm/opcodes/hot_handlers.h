#pragma once

// The commands that loops spend their time in: jumps, the loop step, integer
// and float arithmetic, numeric comparisons, assignment and the int/float
// conversions. Each is written once, over any machine type M with the Vm's
// operand and slot accessors: registered as a handler over the Vm itself,
// and inlined into the dispatch loop over a machine whose program counter
// and slots live in registers (runtime/vm/dispatch.cc).
#include <cstdint>
#include <type_traits>

#include "runtime/vm/numeric/float_to_int.h"
#include "runtime/vm/opcodes/array_access.h"
#include "runtime/vm/opcodes/opcode_support.h"

namespace zv::hot {

template <typename T, class M>
ZV_ALWAYS_INLINE T Read(M& m) {
  if constexpr (std::is_same_v<T, int32_t>)
    return m.NextInt();
  else
    return m.NextFloat();
}

// ---- Flow ----------------------------------------------------------------------

// condition, target: jumps when the condition's word is 0.
template <class M>
ZV_ALWAYS_INLINE void JumpIfZero(M& m) {
  uint32_t condition = m.WordAt(m.NextSlot());
  uint32_t target = m.NextTarget();
  if (condition == 0) m.SetPc(target);
}

// target
template <class M>
ZV_ALWAYS_INLINE void Jump(M& m) {
  m.SetPc(m.NextTarget());
}

// an unread word, target
template <class M>
ZV_ALWAYS_INLINE void JumpOverWord(M& m) {
  m.NextWord();
  m.SetPc(m.NextTarget());
}

// variable, limit, step (int slots), exit target. Adds the step, then leaves
// the loop once the variable has passed the limit in the step's direction;
// a step of 0 never leaves.
template <class M>
ZV_ALWAYS_INLINE void LoopStep(M& m) {
  Slot variable = m.NextSlot();
  Slot limit_slot = m.NextSlot();
  int32_t step = m.NextInt();
  uint32_t exit = m.NextTarget();
  int32_t value = core::WrapAdd(m.IntAt(variable), step);
  m.SetInt(variable, value);
  int32_t limit = m.IntAt(limit_slot);
  bool done = step > 0 ? value > limit : step < 0 && value < limit;
  if (done) m.SetPc(exit);
}

// ---- Arithmetic ------------------------------------------------------------------

ZV_ALWAYS_INLINE int32_t And(int32_t a, int32_t b) { return a & b; }
ZV_ALWAYS_INLINE int32_t Or(int32_t a, int32_t b) { return a | b; }

// result, left, right; wraps in 32 bits, never faults.
template <int32_t (*Op)(int32_t, int32_t), class M>
ZV_ALWAYS_INLINE void IntArith(M& m) {
  Slot result = m.NextSlot();
  int32_t left = m.NextInt();
  int32_t right = m.NextInt();
  m.SetInt(result, Op(left, right));
}

struct Add {
  template <typename T>
  ZV_ALWAYS_INLINE T operator()(T a, T b) const { return a + b; }
};
struct Sub {
  template <typename T>
  ZV_ALWAYS_INLINE T operator()(T a, T b) const { return a - b; }
};
struct Mul {
  template <typename T>
  ZV_ALWAYS_INLINE T operator()(T a, T b) const { return a * b; }
};

// The operands as the operation sees them: two floats stay floats, since a
// sum, difference, product or quotient of floats rounded once from double
// is the float operation's own result; with an int among them both are
// doubles, which hold every int exactly.
template <typename L, typename R>
using Common = std::conditional_t<std::is_same_v<L, float> && std::is_same_v<R, float>, float, double>;

// result, left, right: rounded to float when stored.
template <typename L, typename R, class Op, class M>
ZV_ALWAYS_INLINE void FloatArith(M& m) {
  using C = Common<L, R>;
  Slot result = m.NextSlot();
  C left = static_cast<C>(Read<L>(m));
  C right = static_cast<C>(Read<R>(m));
  m.SetFloat(result, static_cast<float>(Op{}(left, right)));
}

// result, left, right: in double, rounded to float when stored.
template <typename L, typename R, double (*Op)(double, double), class M>
ZV_ALWAYS_INLINE void DoubleArith(M& m) {
  Slot result = m.NextSlot();
  double left = Read<L>(m);
  double right = Read<R>(m);
  m.SetFloat(result, static_cast<float>(Op(left, right)));
}

constexpr int32_t kDivisionByZero = 111;

// result, left, right: truncates toward zero. A zero divisor stores 0 with
// warning 111; the one quotient that does not fit, INT_MIN / -1, is the
// processor's divide fault: the run ends with 10010 and the result slot
// keeps its value.
template <class M>
ZV_ALWAYS_INLINE void IntDivide(M& m) {
  Slot result = m.NextSlot();
  int32_t left = m.NextInt();
  int32_t right = m.NextInt();
  if (right == 0) {
    m.SetInt(result, 0);
    m.RunWarning(kDivisionByZero);
    return;
  }
  if (left == INT32_MIN && right == -1) core::ThrowDivideFault();
  m.SetInt(result, left / right);
}

// result, left, right. A divisor that is 0 or not a number gives 0.0 and
// warning 111, never an infinity. `DivisorAsFloat` rounds an int divisor
// to a float first.
template <typename L, typename R, bool DivisorAsFloat, class M>
ZV_ALWAYS_INLINE void FloatDivide(M& m) {
  using C = Common<L, R>;
  Slot result = m.NextSlot();
  C left = static_cast<C>(Read<L>(m));
  C right = static_cast<C>(Read<R>(m));
  if constexpr (DivisorAsFloat) right = static_cast<float>(right);
  if (!(right < 0 || right > 0)) {
    m.SetFloat(result, 0.0f);
    m.RunWarning(kDivisionByZero);
    return;
  }
  m.SetFloat(result, static_cast<float>(left / right));
}

// ---- Comparisons: 1 or 0 ----------------------------------------------------------
// Ints compare as ints, floats as floats, an int with a float in double,
// which holds every int exactly; a NaN makes every relation false except
// "not equal".

struct Equal {
  template <typename T>
  ZV_ALWAYS_INLINE bool operator()(T a, T b) const { return a == b; }
};
struct Greater {
  template <typename T>
  ZV_ALWAYS_INLINE bool operator()(T a, T b) const { return a > b; }
};
struct GreaterEqual {
  template <typename T>
  ZV_ALWAYS_INLINE bool operator()(T a, T b) const { return a >= b; }
};
struct Less {
  template <typename T>
  ZV_ALWAYS_INLINE bool operator()(T a, T b) const { return a < b; }
};
struct LessEqual {
  template <typename T>
  ZV_ALWAYS_INLINE bool operator()(T a, T b) const { return a <= b; }
};
struct NotEqual {
  template <typename T>
  ZV_ALWAYS_INLINE bool operator()(T a, T b) const { return a != b; }
};

template <typename L, typename R>
using CompareAs = std::conditional_t<std::is_same_v<L, R>, L, double>;

template <typename L, typename R, class Relation, class M>
ZV_ALWAYS_INLINE void Compare(M& m) {
  using C = CompareAs<L, R>;
  Slot result = m.NextSlot();
  C left = static_cast<C>(Read<L>(m));
  C right = static_cast<C>(Read<R>(m));
  m.SetInt(result, Relation{}(left, right) ? 1 : 0);
}

// ---- Assignment and conversion -------------------------------------------------

// result, source: the 32-bit word unchanged (int and float assignment).
template <class M>
ZV_ALWAYS_INLINE void CopyWord(M& m) {
  Slot result = m.NextSlot();
  uint32_t word = m.WordAt(m.NextSlot());
  m.SetWord(result, word);
}

template <class M>
ZV_ALWAYS_INLINE void FloatToIntOp(M& m) {
  Slot result = m.NextSlot();
  float value = m.NextFloat();
  m.SetInt(result, FloatToInt(value));
}

template <class M>
ZV_ALWAYS_INLINE void IntToFloat(M& m) {
  Slot result = m.NextSlot();
  int32_t value = m.NextInt();
  m.SetFloat(result, static_cast<float>(value));
}

using I = int32_t;
using F = float;

}  // namespace zv::hot

// The numeric comparisons, a subset of the hot opcodes: the dispatch loop
// also runs each together with a conditional jump on its result that
// follows it.
#define ZV_HOT_COMPARISONS(X)                                               \
  X(101, (hot::Compare<hot::I, hot::I, hot::Equal>(m)))                     \
  X(102, (hot::Compare<hot::F, hot::F, hot::Equal>(m)))                     \
  X(131, (hot::Compare<hot::I, hot::F, hot::Equal>(m)))                     \
  X(132, (hot::Compare<hot::F, hot::I, hot::Equal>(m)))                     \
  X(111, (hot::Compare<hot::I, hot::I, hot::Greater>(m)))                   \
  X(112, (hot::Compare<hot::F, hot::F, hot::Greater>(m)))                   \
  X(133, (hot::Compare<hot::I, hot::F, hot::Greater>(m)))                   \
  X(134, (hot::Compare<hot::F, hot::I, hot::Greater>(m)))                   \
  X(113, (hot::Compare<hot::I, hot::I, hot::GreaterEqual>(m)))              \
  X(114, (hot::Compare<hot::F, hot::F, hot::GreaterEqual>(m)))              \
  X(135, (hot::Compare<hot::I, hot::F, hot::GreaterEqual>(m)))              \
  X(136, (hot::Compare<hot::F, hot::I, hot::GreaterEqual>(m)))              \
  X(115, (hot::Compare<hot::I, hot::I, hot::Less>(m)))                      \
  X(116, (hot::Compare<hot::F, hot::F, hot::Less>(m)))                      \
  X(137, (hot::Compare<hot::I, hot::F, hot::Less>(m)))                      \
  X(138, (hot::Compare<hot::F, hot::I, hot::Less>(m)))                      \
  X(117, (hot::Compare<hot::I, hot::I, hot::LessEqual>(m)))                 \
  X(118, (hot::Compare<hot::F, hot::F, hot::LessEqual>(m)))                 \
  X(139, (hot::Compare<hot::I, hot::F, hot::LessEqual>(m)))                 \
  X(140, (hot::Compare<hot::F, hot::I, hot::LessEqual>(m)))                 \
  X(119, (hot::Compare<hot::I, hot::I, hot::NotEqual>(m)))                  \
  X(120, (hot::Compare<hot::F, hot::F, hot::NotEqual>(m)))                  \
  X(141, (hot::Compare<hot::I, hot::F, hot::NotEqual>(m)))                  \
  X(142, (hot::Compare<hot::F, hot::I, hot::NotEqual>(m)))

// The hot opcodes: X(opcode, call) with the machine named `m`. Both the
// handler registration and the dispatch loop's inlined cases expand them.
// These never raise an error (they can only fault); the next list's can.
#define ZV_HOT_OPCODES(X)                                                   \
  X(1, hot::JumpIfZero(m))                                                  \
  X(9, hot::JumpIfZero(m))                                                  \
  X(12, hot::JumpIfZero(m))                                                 \
  X(2, hot::Jump(m))                                                        \
  X(5, hot::Jump(m))                                                        \
  X(6, hot::Jump(m))                                                        \
  X(10, hot::Jump(m))                                                       \
  X(42, hot::Jump(m))                                                       \
  X(8, hot::JumpOverWord(m))                                                \
  X(7, hot::LoopStep(m))                                                    \
  X(71, (hot::IntArith<core::WrapMul>(m)))                                  \
  X(74, (hot::FloatArith<hot::I, hot::F, hot::Mul>(m)))                     \
  X(75, (hot::FloatArith<hot::F, hot::I, hot::Mul>(m)))                     \
  X(76, (hot::FloatArith<hot::F, hot::F, hot::Mul>(m)))                     \
  X(81, (hot::IntArith<core::WrapAdd>(m)))                                  \
  X(84, (hot::FloatArith<hot::I, hot::F, hot::Add>(m)))                     \
  X(85, (hot::FloatArith<hot::F, hot::I, hot::Add>(m)))                     \
  X(86, (hot::FloatArith<hot::F, hot::F, hot::Add>(m)))                     \
  X(91, (hot::IntArith<core::WrapSub>(m)))                                  \
  X(94, (hot::FloatArith<hot::I, hot::F, hot::Sub>(m)))                     \
  X(95, (hot::FloatArith<hot::F, hot::I, hot::Sub>(m)))                     \
  X(96, (hot::FloatArith<hot::F, hot::F, hot::Sub>(m)))                     \
  X(123, (hot::IntArith<hot::And>(m)))                                      \
  X(124, (hot::IntArith<hot::Or>(m)))                                       \
  ZV_HOT_COMPARISONS(X)                                                     \
  X(151, hot::CopyWord(m))                                                  \
  X(152, hot::CopyWord(m))                                                  \
  X(154, hot::FloatToIntOp(m))                                              \
  X(232, hot::FloatToIntOp(m))                                              \
  X(155, hot::IntToFloat(m))

// Divisions (warning 111) and one- and two-index element stores and reads
// of int and float arrays (error 102).
#define ZV_HOT_RAISING_OPCODES(X)                                          \
  X(61, hot::IntDivide(m))                                                 \
  X(64, (hot::FloatDivide<hot::I, hot::F, false>(m)))                      \
  X(65, (hot::FloatDivide<hot::F, hot::I, true>(m)))                       \
  X(66, (hot::FloatDivide<hot::F, hot::F, false>(m)))                      \
  X(561, (array_access::StoreElement<1>(m)))                               \
  X(566, (array_access::StoreElement<1>(m)))                               \
  X(562, (array_access::StoreElement<2>(m)))                               \
  X(567, (array_access::StoreElement<2>(m)))                               \
  X(661, (array_access::ReadElement<1>(m)))                                \
  X(666, (array_access::ReadElement<1>(m)))                                \
  X(662, (array_access::ReadElement<2>(m)))                                \
  X(667, (array_access::ReadElement<2>(m)))

namespace zv::hot {

// One named handler over the Vm per hot opcode (HotHandler81, ...), so the
// dispatch loop can tell whether a table holds exactly these.
#define ZV_DEFINE_HOT_HANDLER(opcode, call) \
  inline void HotHandler##opcode(Vm& m) { call; }
ZV_HOT_OPCODES(ZV_DEFINE_HOT_HANDLER)
ZV_HOT_RAISING_OPCODES(ZV_DEFINE_HOT_HANDLER)
#undef ZV_DEFINE_HOT_HANDLER

// True when every hot opcode of the table has its hot handler, so the
// dispatch loop may run the inlined copies instead.
ZV_ALWAYS_INLINE bool HasHotHandlers(const HandlerTable& table) {
#define ZV_CHECK_HOT_HANDLER(opcode, call) \
  if (table.Get(opcode) != &HotHandler##opcode) return false;
  ZV_HOT_OPCODES(ZV_CHECK_HOT_HANDLER)
  ZV_HOT_RAISING_OPCODES(ZV_CHECK_HOT_HANDLER)
#undef ZV_CHECK_HOT_HANDLER
  return true;
}

}  // namespace zv::hot
