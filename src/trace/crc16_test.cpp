#include "trace/crc16.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace qnvtab {
namespace {

// The definition, one bit at a time: reflected polynomial 0x8408, preset
// 0xFFFF, complemented result.
uint16_t bytewiseCrc(const std::vector<uint8_t>& data) {
  uint16_t r = 0xFFFF;
  for (uint8_t b : data) {
    r ^= b;
    for (int bit = 0; bit < 8; ++bit) r = (r & 1) ? static_cast<uint16_t>((r >> 1) ^ 0x8408) : r >> 1;
  }
  return static_cast<uint16_t>(~r);
}

TEST(Crc16, CheckValueAndResidue) {
  const char* check = "123456789";
  Crc16 crc;
  crc.update(reinterpret_cast<const uint8_t*>(check), std::strlen(check));
  EXPECT_EQ(crc.value(), 0x906E);
  EXPECT_FALSE(crc.goodResidue());
  const uint8_t stored[] = {0x6E, 0x90};
  crc.update(stored, sizeof stored);
  EXPECT_TRUE(crc.goodResidue());
}

TEST(Crc16, EmptyRunLeavesRegister) {
  Crc16 crc;
  crc.update(nullptr, 0);
  EXPECT_EQ(crc.value(), 0x0000);  // complement of the preset
}

// The sliced update must agree with the byte-at-a-time definition for every
// length and alignment, also when a run is split across several calls.
TEST(Crc16, SlicedUpdateMatchesBytewise) {
  std::mt19937 random(7);
  for (size_t length = 0; length < 70; ++length) {
    std::vector<uint8_t> data(length);
    for (auto& b : data) b = static_cast<uint8_t>(random());
    EXPECT_EQ(crc16(data.data(), data.size()), bytewiseCrc(data)) << length;
    for (size_t cut = 0; cut <= length; cut += 3) {
      Crc16 split;
      split.update(data.data(), cut);
      split.update(data.data() + cut, length - cut);
      EXPECT_EQ(split.value(), bytewiseCrc(data)) << length << " cut " << cut;
    }
  }
}

}  // namespace
}  // namespace qnvtab
