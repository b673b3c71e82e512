// Error-diffusing ditherers over a kernel of five columns and three rows: the current
// row, the next and the one after. Each channel keeps three error rows with two spare
// entries at each end, so a kernel centred on an edge pixel needs no bounds tests.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "quantize/DitherEngine.h"

namespace quantize {

class T5by3Ditherer : public TDitherEngine {
 public:
  T5by3Ditherer(TColorLookup& lookup, int32_t width);

  // Adds the error collected for this pixel (divided by the divisor, rounded half up
  // and truncated towards zero) to each channel, clamps to 0..255, looks the colour up
  // and spreads each channel's remaining error through Spread.
  int32_t MapColor(uint8_t red, uint8_t green, uint8_t blue, uint8_t& outRed, uint8_t& outGreen,
                   uint8_t& outBlue) override;
  // Clears the finished row, moves the two rows below up and turns round.
  void EndRow() override;

 protected:
  // Distributes one channel's error; each pointer is at the current column of its row,
  // offsets run from -2 to +2 times the direction.
  virtual void Spread(int32_t* current, int32_t* next, int32_t error, int32_t* afterNext) = 0;

  // The kernel's weights add up to the divisor (1 unless a kernel sets it).
  void SetDivisor(int32_t divisor);
  int32_t Divisor() const { return FDivisor; }

  int32_t FDirection2 = 2;  // twice the direction

 private:
  void FindRows();
  int32_t Correction(int32_t error) const;

  int32_t FDivisor = 1;
  uint64_t FReciprocal = uint64_t{1} << 32;  // 2^32 / FDivisor rounded up, for Correction

  std::array<std::array<std::vector<int32_t>, 3>, 3> FErrors;  // [channel][row]: width + 4 entries
  std::array<std::array<int32_t*, 3>, 3> FColumn0{};           // [channel][row]: the entry of column 0
};

// Stucki's kernel, errors in 42nds:
//            .  .  X  8  4
//            2  4  8  4  2
//            1  2  4  2  1
class TStuckiDitherer final : public T5by3Ditherer {
 public:
  TStuckiDitherer(TColorLookup& lookup, int32_t width);

 protected:
  void Spread(int32_t* current, int32_t* next, int32_t error, int32_t* afterNext) override;
};

}  // namespace quantize
