#include "quantize/DitherEngine.h"

namespace quantize {

int32_t TDitherEngine::MapColor(uint8_t red, uint8_t green, uint8_t blue, uint8_t& outRed, uint8_t& outGreen,
                                uint8_t& outBlue) {
  const int32_t index = FLookup.Lookup(red, green, blue, outRed, outGreen, outBlue);
  FColumn += FDirection;
  return index;
}

void TDitherEngine::EndRow() {
  FDirection = -FDirection;
  FColumn = FDirection > 0 ? 0 : FWidth - 1;
}

}  // namespace quantize
