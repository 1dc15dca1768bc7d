#include "audio/library/processor_features.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace zv {

ProcessorFeatures DetectProcessorFeatures() {
  ProcessorFeatures features;
#if defined(__x86_64__) || defined(__i386__)
  // A highest function of 0 stands for no cpuid at all (on 32-bit x86 the
  // helper tries the identification flag first).
  const unsigned highest = __get_cpuid_max(0, nullptr);
  features.has_cpuid = highest != 0;
  if (highest < 1) return features;
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  __cpuid(1, eax, ebx, ecx, edx);
  features.has_mmx = (edx & (1u << 23)) != 0;
  features.family6_or_later = ((eax >> 8) & 0xf) >= 6;
#endif
  return features;
}

}  // namespace zv
