#pragma once

#include <cstdint>

namespace zv {

// The dispatch loop's decoded form of one code position (dispatch.cc): where
// the loop runs the command that starts there, and that command's operands
// already checked for their class, as slot and code indices. A position is
// decoded when it first runs as a command, so a faulty word still faults
// only when its command runs; every position has an entry of its own, so a
// jump into the middle of a command decodes that word as a command, as the
// handlers would read it.
struct DirectEntry {
  static constexpr int kMaxOperands = 6;
  const void* label = nullptr;
  uint32_t operands[kMaxOperands] = {};
};
static_assert(sizeof(DirectEntry) == 32, "entries are found by shifting the position");

}  // namespace zv
