// The wide paths of BlendLineOverMMX: SSE2 (four pixels a register) and AVX2 (eight),
// each in a file of its own compiled for its instruction set, so that the 32-bit product
// gets them too when the processor has them. Only on x86 (BLEND_HAVE_MMX), and only to
// be called when the processor reports the instruction set.
#pragma once

#include <cstdint>

#include "blend/CpuFeatures.h"

namespace blend {

#if BLEND_HAVE_MMX
// Blends whole groups of four (eight) pixels, as many as count holds, with the bytes of
// the MMX form; returns how many pixels it did.
int32_t BlendOverSSE2(const uint32_t* source, uint32_t* dest, int32_t count);
int32_t BlendOverAVX2(const uint32_t* source, uint32_t* dest, int32_t count);
#endif

}  // namespace blend
