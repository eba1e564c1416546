#include "summary/time_histogram.h"

#include <gtest/gtest.h>

#include <vector>

namespace qnvtab {
namespace {

// Whatever the order and spread of the times, the bins shown count every
// event in the bin its time falls into, at a round width that keeps within
// the bins asked for.
TEST(TimeHistogram, BinsCountEveryEventAtARoundWidth) {
  struct Case {
    const char* name;
    uint64_t start;
    uint64_t step;       // between events
    uint64_t backEvery;  // every n-th event runs back by 3 steps; 0: never
    size_t events;
  };
  const uint64_t day = 86'400'000;
  const Case cases[] = {
      {"one event", 895'659'630'000, 0, 0, 1},
      {"a second", 895'659'630'000, 7, 0, 140},
      {"minutes, running back", 895'659'630'999, 1'013, 5, 400},
      {"hours", 895'659'630'000, 61'000, 0, 700},
      {"weeks", 0, day / 3, 7, 100},
      {"a century", 1'000, 365 * day, 0, 130},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TimeHistogram histogram;
    std::vector<uint64_t> times;
    for (size_t i = 0; i < c.events; ++i) {
      uint64_t at = c.start + i * c.step;
      if (c.backEvery != 0 && i % c.backEvery == 0 && at >= 3 * c.step) at -= 3 * c.step;
      times.push_back(at);
      histogram.add(at, i % 3 == 0);
    }
    const HistogramBins shown = histogram.shown(120);
    ASSERT_FALSE(shown.bins.empty());
    EXPECT_LE(shown.bins.size(), 120u);
    EXPECT_EQ(shown.startMs % shown.widthMs, 0u);
    std::vector<EventCount> expected(shown.bins.size());
    for (size_t i = 0; i < times.size(); ++i) {
      ASSERT_GE(times[i], shown.startMs);
      const uint64_t bin = (times[i] - shown.startMs) / shown.widthMs;
      ASSERT_LT(bin, expected.size());
      ++expected[bin].events;
      expected[bin].errors += i % 3 == 0;
    }
    for (size_t bin = 0; bin < expected.size(); ++bin) {
      EXPECT_EQ(shown.bins[bin].events, expected[bin].events) << bin;
      EXPECT_EQ(shown.bins[bin].errors, expected[bin].errors) << bin;
    }
    // The first and the last bin count an event: nothing empty is shown
    // around them.
    EXPECT_GT(shown.bins.front().events, 0u);
    EXPECT_GT(shown.bins.back().events, 0u);
  }
  EXPECT_TRUE(TimeHistogram().shown(120).bins.empty());
}

}  // namespace
}  // namespace qnvtab
