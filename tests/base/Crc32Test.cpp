#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "base/Crc32.h"

using base::Crc32;
using base::Crc32Portable;

TEST(Crc32, CheckValuesOfKnownTexts) {
  EXPECT_EQ(Crc32(0, "", 0), 0u);
  EXPECT_EQ(Crc32(0, "123456789", 9), 0xCBF43926u);
  // Long enough for the folding path where the processor has it.
  std::string zeros(4096, '\0');
  EXPECT_EQ(Crc32(0, zeros.data(), zeros.size()), Crc32Portable(0, zeros.data(), zeros.size()));
  std::string fox;
  for (int i = 0; i < 100; ++i) fox += "The quick brown fox jumps over the lazy dog";
  EXPECT_EQ(Crc32(0, fox.data(), 43), 0x414FA339u);
  EXPECT_EQ(Crc32(0, fox.data(), fox.size()), Crc32Portable(0, fox.data(), fox.size()));
}

// Every length around the folding path's limits (64 bytes, multiples of 16), at every
// alignment, from a running value and not only from 0, and in pieces as a stream comes.
TEST(Crc32, AgreesWithZlibAtEveryLengthAlignmentAndSplit) {
  std::mt19937 random(7);
  std::vector<uint8_t> data(70000);
  for (uint8_t& b : data) b = static_cast<uint8_t>(random());
  int mismatches = 0;
  for (size_t length = 0; length <= 300; ++length)
    for (size_t offset = 0; offset < 16; ++offset)
      for (uint32_t start : {0u, 0xFFFFFFFFu, 0x1234ABCDu})
        if (Crc32(start, data.data() + offset, length) != Crc32Portable(start, data.data() + offset, length))
          ++mismatches;
  EXPECT_EQ(mismatches, 0);

  const uint32_t whole = Crc32Portable(0, data.data(), data.size());
  EXPECT_EQ(Crc32(0, data.data(), data.size()), whole);
  for (size_t piece : {1u, 15u, 64u, 65u, 1000u, 65536u}) {
    uint32_t crc = 0;
    for (size_t at = 0; at < data.size(); at += piece)
      crc = Crc32(crc, data.data() + at, std::min(piece, data.size() - at));
    EXPECT_EQ(crc, whole) << "pieces of " << piece;
  }
}
