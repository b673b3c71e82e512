// Colour quantizers reduce 32-bit ARGB pixel rows to 8-bit palette indices in up to two
// passes: CollectColors learns the colours, FillPalette writes the palette, MapPixels
// writes the indices with serpentine Stucki dithering. They work on rows the caller has
// locked; the picture classes supply those.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "base/Exceptions.h"
#include "quantize/ColorLookup.h"
#include "quantize/PixelRows.h"

namespace quantize {

// The memory a quantization needs (about 4 bytes per pixel) could not be had.
class EQuantizerMemory : public base::Exception {
 public:
  using Exception::Exception;
};

class TQuantizer {
 public:
  explicit TQuantizer(bool singlePass) : FSinglePass(singlePass) {}
  virtual ~TQuantizer() = default;
  TQuantizer(const TQuantizer&) = delete;
  TQuantizer& operator=(const TQuantizer&) = delete;

  // True for quantizers that need no first pass over the colours.
  bool SinglePass() const { return FSinglePass; }

  virtual void CollectPixel(uint32_t argb);
  // Calls CollectPixel for every pixel, row by row.
  virtual void CollectColors(const TPixelRows& argb);
  // Walks the rows top to bottom in serpentine order, writes each pixel's palette index
  // into the same place of `indexed` and the chosen palette colour (alpha 255) back over
  // the ARGB pixel. Covers the rows and columns both blocks have.
  virtual void MapPixels(const TPixelRows& argb, const TPixelRows& indexed);
  virtual int32_t PixelIndex(uint32_t argb) = 0;
  // Fills entries of the platform's palette; the ones it does not use keep their values.
  virtual void FillPalette(std::span<uint32_t> palette) = 0;

 protected:
  // The lookup MapPixels dithers with; it lives for one MapPixels.
  virtual std::unique_ptr<TColorLookup> CreateColorLookup() = 0;

 private:
  bool FSinglePass;
};

// The row-level steps of quantizing one picture: collect (unless single-pass), fill the
// palette, map. `argb` ends up holding the chosen colours. Raises EQuantizerMemory
// "Not enough memory to reduce the colours of a W x H picture" when an allocation fails.
void QuantizeRows(TQuantizer& quantizer, const TPixelRows& argb, std::span<uint32_t> palette,
                  const TPixelRows& indexed);

}  // namespace quantize
