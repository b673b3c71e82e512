// Colour reduction of a GDI+ picture: the picture is drawn into a 32-bit ARGB work
// bitmap, the quantizer learns its colours and maps every pixel, and the result is an
// 8-bit indexed bitmap with the quantizer's palette.
#pragma once

#include <memory>

#include "imaging/GdiplusObjects.h"
#include "quantize/OctreeQuantizer.h"

namespace imaging {

// A new 8-bit indexed bitmap of the source's pixel size (the caller owns it). Raises the
// GDI+ status exceptions of the bitmap calls.
std::unique_ptr<TGPBitmap> Quantize(quantize::TQuantizer& quantizer, TGPImage& source);

}  // namespace imaging
