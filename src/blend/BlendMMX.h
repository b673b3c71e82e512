// The MMX forms of the line blends, one pixel per step in four 16-bit lanes (where the
// processor has SSE2 or AVX2, BlendLineOverMMX takes four or eight pixels per step in
// the same lanes, with the same bytes).
// Only on x86 (BLEND_HAVE_MMX), and only to be called when DetectMMX() is true. Each
// routine clears the MMX state (EMMS) before it returns, so callers may use floating
// point right after.
#pragma once

#include <array>
#include <cstdint>

#include "blend/CpuFeatures.h"

namespace blend {

// Entry i holds i in each of its four 16-bit lanes: the per-pixel weights of the MMX
// forms, and entry 128 their rounding term. Read-only, 8-byte aligned.
extern const std::array<uint64_t, 256> BlendTable;

#if BLEND_HAVE_MMX
// Per channel (alpha included): (256 * B + a * (F - B) + 128) >> 8; alpha 0 leaves the
// destination, alpha 255 copies the source pixel. Runs of pixels go through the widest
// path the processor offers (BlendWidePath), which gives the same bytes.
void BlendLineOverMMX(const uint32_t* source, uint32_t* dest, int32_t count);

// The wider registers BlendLineOverMMX may use besides MMX, chosen once from what the
// processor reports (on 32- and 64-bit builds alike).
enum TWidePath : uint8_t { wpNone = 0, wpSSE2 = 1, wpAVX2 = 2 };
TWidePath BlendWidePath();
// BlendLineOverMMX through the given path (one the processor offers), for comparisons.
void BlendLineOverMMXWith(const uint32_t* source, uint32_t* dest, int32_t count, TWidePath path);

// Weight w = ((a + 1) * master) >> 8, then all four channels as above with w (no copy at
// w = 255); w = 0 leaves the destination.
void BlendLineOverMasterMMX(const uint32_t* source, uint32_t* dest, int32_t count, uint8_t master);

// Per channel: ((B * (256 - alpha) + alpha * F) >> 8) + bias, clamped to 0..255.
void BlendLineConstantMMX(const uint32_t* source, uint32_t* dest, int32_t count, int32_t bias, uint8_t alpha);
#endif

}  // namespace blend
