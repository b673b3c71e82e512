#include "blend/CpuFeatures.h"

#if BLEND_HAVE_MMX
#include <cpuid.h>
#include <x86intrin.h>
#endif

namespace blend {

bool MMXFromCpuid(bool cpuidAvailable, uint32_t signature, uint32_t featureFlags) {
  const uint32_t family = (signature >> 8) & 15;
  return cpuidAvailable && family >= 5 && (featureFlags & (1u << 23)) != 0;
}

#if BLEND_HAVE_MMX
namespace {

// A processor whose flags register keeps a flipped ID bit (bit 21) has CPUID. The
// compiler's flag builtins keep the stack (and the x86-64 red zone) consistent.
bool CpuidAvailable() {
  constexpr unsigned kIdFlag = 1u << 21;
  const auto original = __readeflags();
  __writeeflags(original ^ kIdFlag);
  const auto toggled = __readeflags();
  __writeeflags(original);
  return ((original ^ toggled) & kIdFlag) != 0;
}

}  // namespace

bool DetectMMX() {
  if (!CpuidAvailable()) return false;
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  __cpuid(1, eax, ebx, ecx, edx);
  return MMXFromCpuid(true, eax, edx);
}
#else
bool DetectMMX() { return false; }
#endif

}  // namespace blend
