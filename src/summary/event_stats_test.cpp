#include "summary/event_stats.h"

#include <gtest/gtest.h>

#include <map>

namespace qnvtab {
namespace {

// Counts cross the low part's 256 and the batch's end many times over, in
// every key's table, and stay exact whether or not the batch was flushed
// on a boundary.
TEST(KeyCounts, CountsExactlyAcrossTheLowPartAndTheBatch) {
  KeyCounts counts;
  ASSERT_TRUE(counts.allocated());
  std::map<uint32_t, uint64_t> expected[kEventKeys];
  for (uint32_t i = 0; i < 70001; ++i) {
    const uint16_t values[kEventKeys] = {0, static_cast<uint16_t>(i % 3),
                                         static_cast<uint16_t>(65535 - i % 257),
                                         static_cast<uint16_t>(i * 40503u)};
    counts.add(values);
    for (int key = 0; key < kEventKeys; ++key) ++expected[key][values[key]];
  }
  counts.flush();
  for (int key = 0; key < kEventKeys; ++key) {
    uint64_t total = 0;
    for (uint32_t value = 0; value < 65536; ++value) {
      const uint64_t counted =
          counts.count(static_cast<EventKey>(key), static_cast<uint16_t>(value));
      const auto found = expected[key].find(value);
      EXPECT_EQ(counted, found == expected[key].end() ? 0 : found->second) << key << " " << value;
      total += counted;
    }
    EXPECT_EQ(total, 70001u);
  }
}

}  // namespace
}  // namespace qnvtab
