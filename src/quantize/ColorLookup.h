// Colour lookup for the ditherers: which palette entry stands for a colour, and what
// that entry's colour is.
#pragma once

#include <cstdint>

namespace quantize {

class TOctreeQuantizer;

class TColorLookup {
 public:
  virtual ~TColorLookup() = default;
  // The palette index for (red, green, blue) and the colour of that entry.
  virtual int32_t Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& outRed, uint8_t& outGreen,
                         uint8_t& outBlue) = 0;
};

// Answers from an octree quantizer's tree. The colour is looked up opaque, so the
// transparent entry is never the answer. The quantizer must outlive the lookup.
class TOctreeColorLookup : public TColorLookup {
 public:
  explicit TOctreeColorLookup(TOctreeQuantizer& quantizer) : FQuantizer(quantizer) {}
  int32_t Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& outRed, uint8_t& outGreen,
                 uint8_t& outBlue) override;

 private:
  TOctreeQuantizer& FQuantizer;
};

}  // namespace quantize
