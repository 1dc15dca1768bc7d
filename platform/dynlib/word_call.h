#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace zv::platform {

// Programs call functions of their own libraries with up to this many
// arguments, each one 32-bit word.
constexpr size_t kMaxWordArguments = 9;

struct WordCallResult {
  uint32_t value = 0;    // the function's 32-bit integer result
  bool faulted = false;  // the function raised a hardware fault and was abandoned
  bool refused = false;  // more than kMaxWordArguments words, or no function
};

// Calls `function` with `words` as its arguments, the first word as its first
// parameter, and returns the low 32 bits of its integer result. A function
// that takes fewer parameters than it is given ignores the rest. A fault
// inside the function (bad memory access, illegal instruction, division by
// zero) abandons the call and is reported instead of ending the process;
// whatever the function changed before it stays changed.
WordCallResult CallWithWords(void* function, std::span<const uint32_t> words);

}  // namespace zv::platform
