#include "quantize/Quantizer.h"

#include <algorithm>
#include <new>
#include <string>

#include "quantize/ErrorDiffusion.h"

namespace quantize {

void TQuantizer::CollectPixel(uint32_t) {}

void TQuantizer::CollectColors(const TPixelRows& argb) {
  for (int32_t y = 0; y < argb.Height; ++y) {
    const uint8_t* row = argb.Row(y);
    for (int32_t x = 0; x < argb.Width; ++x) CollectPixel(LoadPixel(row, x));
  }
}

void TQuantizer::MapPixels(const TPixelRows& argb, const TPixelRows& indexed) {
  const int32_t width = std::min(argb.Width, indexed.Width);
  const int32_t height = std::min(argb.Height, indexed.Height);
  if (width <= 0 || height <= 0) return;
  std::unique_ptr<TColorLookup> lookup = CreateColorLookup();
  TStuckiDitherer ditherer(*lookup, width);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* pixels = argb.Row(y);
    uint8_t* indices = indexed.Row(y);
    for (int32_t step = 0; step < width; ++step) {
      const int32_t x = ditherer.Column();
      const uint32_t pixel = LoadPixel(pixels, x);
      uint8_t red, green, blue;
      const int32_t index = ditherer.MapColor(RedOf(pixel), GreenOf(pixel), BlueOf(pixel), red, green, blue);
      indices[x] = static_cast<uint8_t>(index);
      StorePixel(pixels, x, MakeArgb(255, red, green, blue));
    }
    ditherer.EndRow();
  }
}

void QuantizeRows(TQuantizer& quantizer, const TPixelRows& argb, std::span<uint32_t> palette,
                  const TPixelRows& indexed) {
  try {
    if (!quantizer.SinglePass()) quantizer.CollectColors(argb);
    quantizer.FillPalette(palette);
    quantizer.MapPixels(argb, indexed);
  } catch (const std::bad_alloc&) {
    throw EQuantizerMemory("Not enough memory to reduce the colours of a " + std::to_string(argb.Width) + " x " +
                           std::to_string(argb.Height) + " picture");
  }
}

}  // namespace quantize
