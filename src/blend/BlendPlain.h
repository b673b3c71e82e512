// The plain integer forms of the line blends. Their rounding is part of their contract
// and differs from the MMX forms (see BlendLine.h); the dispatcher picks one family.
#pragma once

#include <cstdint>

namespace blend {

// Per channel (alpha included): ((a * F + 128) >> 8) + (((255 - a) * B + 128) >> 8);
// alpha 0 leaves the destination, alpha 255 copies the source pixel.
void BlendLineOverPlain(const uint32_t* source, uint32_t* dest, int32_t count);

// Weight w = ((master + 1) * a) >> 8 in place of a for blue, green and red; w = 255
// copies the colour. Every pixel it changes gets alpha 0 (callers of this form ignore
// the destination's alpha).
void BlendLineOverMasterPlain(const uint32_t* source, uint32_t* dest, int32_t count, uint8_t master);

// The constant-alpha blend with the MMX form's arithmetic, for processors without MMX.
void BlendLineConstantPlain(const uint32_t* source, uint32_t* dest, int32_t count, int32_t bias, uint8_t alpha);

}  // namespace blend
