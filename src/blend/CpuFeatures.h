// Processor checks for the blending routines: whether the MMX forms may be used.
#pragma once

#include <cstdint>

// The MMX forms exist on x86 processors (32- and 64-bit); elsewhere only the plain forms.
#if defined(__i386__) || defined(__x86_64__)
#define BLEND_HAVE_MMX 1
#else
#define BLEND_HAVE_MMX 0
#endif

namespace blend {

// True when the processor offers CPUID, reports family 5 or later and sets the MMX
// feature flag (bit 23 of the standard feature flags). Always false off x86.
bool DetectMMX();

// The decision of DetectMMX from what the processor reported: cpuidAvailable (the ID
// flag, bit 21 of the flags register, can be toggled), the signature (CPUID leaf 1 EAX)
// and the feature flags (leaf 1 EDX).
bool MMXFromCpuid(bool cpuidAvailable, uint32_t signature, uint32_t featureFlags);

}  // namespace blend
