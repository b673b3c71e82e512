// The ditherers walk a picture row by row in serpentine order: even rows left to right,
// odd rows right to left. The engine keeps the column and direction; the plain engine
// maps each colour straight through its lookup, error-diffusing ditherers derive from it.
#pragma once

#include <cstdint>

#include "quantize/ColorLookup.h"

namespace quantize {

class TDitherEngine {
 public:
  // The lookup is not owned and must outlive the engine. width: pixels per row (>= 1).
  TDitherEngine(TColorLookup& lookup, int32_t width) : FLookup(lookup), FWidth(width) {}
  virtual ~TDitherEngine() = default;
  TDitherEngine(const TDitherEngine&) = delete;
  TDitherEngine& operator=(const TDitherEngine&) = delete;

  // Maps the pixel at Column() and moves one column in the current direction; at most
  // Width() calls between two EndRow calls.
  virtual int32_t MapColor(uint8_t red, uint8_t green, uint8_t blue, uint8_t& outRed, uint8_t& outGreen,
                           uint8_t& outBlue);
  // Turns round for the next row: the direction flips and the column moves to its start.
  virtual void EndRow();

  int32_t Column() const { return FColumn; }
  int32_t Direction() const { return FDirection; }
  int32_t Width() const { return FWidth; }

 protected:
  TColorLookup& FLookup;
  int32_t FWidth;
  int32_t FDirection = 1;
  int32_t FColumn = 0;
};

}  // namespace quantize
