#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "blend/BlendLine.h"
#include "blend/BlendMMX.h"
#include "blend/CpuFeatures.h"

namespace {

TEST(CpuFeaturesTest, MMXNeedsCpuidFamilyFiveAndTheFeatureBit) {
  constexpr uint32_t kMMX = 1u << 23;
  struct {
    bool cpuid;
    uint32_t signature, features;
    bool expected;
  } cases[] = {
      {true, 0x0543, kMMX, true},                 // family 5
      {true, 0x0F43, kMMX | 0xFF, true},          // family 15 (extended families)
      {true, 0x000906EA, 0xBFEBFBFF, true},       // family 6 with every usual flag
      {true, 0x0480, kMMX, false},                // family 4
      {true, 0xF0480, kMMX, false},               // only the family field counts
      {true, 0x0543, 0xFFFFFFFF & ~kMMX, false},  // no MMX flag
      {false, 0x0543, kMMX, false},               // no CPUID at all
  };
  for (const auto& c : cases)
    EXPECT_EQ(blend::MMXFromCpuid(c.cpuid, c.signature, c.features), c.expected)
        << std::hex << c.signature << " " << c.features << " " << c.cpuid;
}

TEST(CpuFeaturesTest, ChoiceFollowsProcessorAndEnvironmentSwitch) {
  const char* forced = std::getenv("ORBELLE_BLEND_PLAIN");
  const bool plain = forced != nullptr && *forced != '\0' && std::strcmp(forced, "0") != 0;
  EXPECT_EQ(blend::BlendUsesMMX(), blend::DetectMMX() && !plain);
#if defined(__x86_64__)
  EXPECT_TRUE(blend::DetectMMX());  // every x86-64 processor has MMX
#endif
}

TEST(CpuFeaturesTest, BlendTableHoldsEachWeightInFourLanesAligned) {
  EXPECT_EQ(reinterpret_cast<uintptr_t>(blend::BlendTable.data()) % 8, 0u);
  for (uint64_t i = 0; i < 256; ++i)
    for (int lane = 0; lane < 4; ++lane) ASSERT_EQ((blend::BlendTable[i] >> (16 * lane)) & 0xFFFF, i);
}

}  // namespace
