#include "quantize/ColorLookup.h"

#include "quantize/OctreeQuantizer.h"
#include "quantize/PixelRows.h"

namespace quantize {

int32_t TOctreeColorLookup::Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& outRed, uint8_t& outGreen,
                                   uint8_t& outBlue) {
  uint32_t color = 0;
  const int32_t index = FQuantizer.PixelIndex(MakeArgb(255, red, green, blue), color);
  outRed = RedOf(color);
  outGreen = GreenOf(color);
  outBlue = BlueOf(color);
  return index;
}

}  // namespace quantize
