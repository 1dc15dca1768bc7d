#pragma once

namespace zv {

// What the choice of mixing routines asks of the processor. Without the
// cpuid instruction nothing is known, so both other flags stay false.
struct ProcessorFeatures {
  bool has_cpuid = false;
  bool has_mmx = false;           // cpuid function 1, EDX bit 23
  bool family6_or_later = false;  // cpuid function 1, EAX bits 8..11 at least 6
};

// Asks the processor this program runs on; on processors other than x86
// there is no cpuid, and the answer is all false.
ProcessorFeatures DetectProcessorFeatures();

}  // namespace zv
