// Events and errors over wall-clock time in a fixed number of bins, in
// constant memory whatever the span: when an event falls outside the bins,
// the bin width grows to the next step of a ladder of round widths (1 ms,
// 2 ms, 10 ms, ... 1 s, 2 s, 10 s, 30 s, 1 min, 5 min, ... 1 day, 1 week),
// each a whole multiple of the one before. Bins lie on a grid aligned to
// the width from 1980, so a wider bin is exactly the sum of the narrower
// bins it covers, in whichever direction the span grew.
#ifndef QNVTAB_SUMMARY_TIME_HISTOGRAM_H_
#define QNVTAB_SUMMARY_TIME_HISTOGRAM_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qnvtab {

struct EventCount {
  uint64_t events = 0;
  uint64_t errors = 0;
};

// The bins as shown: `bins[i]` counts the events from start + i × width
// (milliseconds since 1980) up to the next bin.
struct HistogramBins {
  uint64_t startMs = 0;
  uint64_t widthMs = 0;
  std::vector<EventCount> bins;
};

class TimeHistogram {
 public:
  static constexpr size_t kBins = 1024;

  void add(uint64_t milliseconds, bool error) {
    // Consecutive events nearly always fall into the same bin.
    if (milliseconds >= lastBinStart_ && milliseconds < lastBinEnd_) {
      ++bins_[lastBin_].events;
      bins_[lastBin_].errors += error ? 1 : 0;
    } else {
      addElsewhere(milliseconds, error);
    }
  }
  // The bins at the narrowest round width that needs at most `maxBins`,
  // from the first bin that counts an event to the last; none when empty.
  HistogramBins shown(size_t maxBins) const;

 private:
  void addElsewhere(uint64_t milliseconds, bool error);
  // Widens the bins to ladder step `step`, merging what they count.
  void widenTo(size_t step);

  std::array<EventCount, kBins> bins_{};
  size_t step_ = 0;       // of the ladder: the bin width
  uint64_t firstBin_ = 0;  // grid index of bins_[0]
  bool empty_ = true;
  // The bin of the last event, [start, end) in milliseconds.
  size_t lastBin_ = 0;
  uint64_t lastBinStart_ = 1;
  uint64_t lastBinEnd_ = 0;
};

}  // namespace qnvtab

#endif  // QNVTAB_SUMMARY_TIME_HISTOGRAM_H_
