// Row blending for the skin painter's software alpha blend: a row of 32-bit pixels
// (bytes blue, green, red, alpha; not premultiplied) over a destination row, in place.
//
// Two families compute these, chosen once at start-up: the MMX forms when DetectMMX()
// says so, the plain forms otherwise or when the environment variable
// ORBELLE_BLEND_PLAIN is set to anything but "0" (for tests and comparisons). Their
// results differ in rounding; BlendPlain.h and BlendMMX.h give each family's arithmetic.
// A count of 0 or less writes nothing. Reentrant; nothing changes after start-up.
#pragma once

#include <cstdint>

namespace blend {

// Per-pixel alpha of the source.
void BlendLineOver(const uint32_t* source, uint32_t* dest, int32_t count);

// Per-pixel alpha scaled by a master alpha (0..255).
void BlendLineOverMaster(const uint32_t* source, uint32_t* dest, int32_t count, uint8_t master);

// One constant alpha for every pixel, plus a bias (0 in every use) clamped per byte.
// With alpha 255 the result is (B + 255 * F) >> 8, not F; with alpha 0 it is B.
void BlendLineConstant(const uint32_t* source, uint32_t* dest, int32_t count, int32_t bias, uint8_t alpha);

// True when the MMX forms were chosen at start-up.
bool BlendUsesMMX();

}  // namespace blend
