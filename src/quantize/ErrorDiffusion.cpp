#include "quantize/ErrorDiffusion.h"

#include <algorithm>

namespace quantize {

namespace {
constexpr int32_t kSpare = 2;  // entries before column 0 and after column width - 1
}

T5by3Ditherer::T5by3Ditherer(TColorLookup& lookup, int32_t width) : TDitherEngine(lookup, width) {
  for (auto& channel : FErrors)
    for (auto& row : channel) row.assign(static_cast<size_t>(std::max(width, 0)) + 2 * kSpare, 0);
  FindRows();
}

void T5by3Ditherer::SetDivisor(int32_t divisor) {
  FDivisor = std::max(divisor, 1);
  FReciprocal = (uint64_t{1} << 32) / static_cast<uint64_t>(FDivisor) + 1;
}

// (error + divisor div 2) div divisor, truncated towards zero, without a division per
// pixel: for 0 <= n < 2^32 / divisor, (n * FReciprocal) >> 32 is exactly n div divisor
// (the reciprocal's excess over 2^32 / divisor, times n, stays below 1 / divisor).
// Collected errors stay within 255 times the divisor in either direction.
inline int32_t T5by3Ditherer::Correction(int32_t error) const {
  const int32_t n = error + FDivisor / 2;
  const uint64_t magnitude = static_cast<uint64_t>(n < 0 ? -static_cast<int64_t>(n) : n);
  const auto quotient = static_cast<int32_t>((magnitude * FReciprocal) >> 32);
  return n < 0 ? -quotient : quotient;
}

void T5by3Ditherer::FindRows() {
  for (size_t c = 0; c < 3; ++c)
    for (size_t r = 0; r < 3; ++r) FColumn0[c][r] = FErrors[c][r].data() + kSpare;
}

int32_t T5by3Ditherer::MapColor(uint8_t red, uint8_t green, uint8_t blue, uint8_t& outRed, uint8_t& outGreen,
                                uint8_t& outBlue) {
  const int32_t input[3] = {red, green, blue};
  uint8_t corrected[3];
  for (size_t c = 0; c < 3; ++c)
    corrected[c] = static_cast<uint8_t>(std::clamp(input[c] + Correction(FColumn0[c][0][FColumn]), 0, 255));
  const int32_t index = FLookup.Lookup(corrected[0], corrected[1], corrected[2], outRed, outGreen, outBlue);
  const int32_t chosen[3] = {outRed, outGreen, outBlue};
  for (size_t c = 0; c < 3; ++c)
    Spread(FColumn0[c][0] + FColumn, FColumn0[c][1] + FColumn, corrected[c] - chosen[c], FColumn0[c][2] + FColumn);
  FColumn += FDirection;
  return index;
}

void T5by3Ditherer::EndRow() {
  for (auto& channel : FErrors) {
    std::fill(channel[0].begin(), channel[0].end(), 0);
    std::rotate(channel.begin(), channel.begin() + 1, channel.end());  // the cleared row goes last
  }
  TDitherEngine::EndRow();
  FDirection2 = 2 * FDirection;
  FindRows();
}

TStuckiDitherer::TStuckiDitherer(TColorLookup& lookup, int32_t width) : T5by3Ditherer(lookup, width) { SetDivisor(42); }

void TStuckiDitherer::Spread(int32_t* current, int32_t* next, int32_t error, int32_t* afterNext) {
  if (error == 0) return;
  const int32_t d = FDirection, d2 = FDirection2;
  current[d] += 8 * error;
  current[d2] += 4 * error;
  next[-d2] += 2 * error;
  next[-d] += 4 * error;
  next[0] += 8 * error;
  next[d] += 4 * error;
  next[d2] += 2 * error;
  afterNext[-d2] += error;
  afterNext[-d] += 2 * error;
  afterNext[0] += 4 * error;
  afterNext[d] += 2 * error;
  afterNext[d2] += error;
}

}  // namespace quantize
