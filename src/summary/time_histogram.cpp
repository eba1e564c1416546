#include "summary/time_histogram.h"

#include <algorithm>

namespace qnvtab {
namespace {

constexpr uint64_t kSecond = 1000;
constexpr uint64_t kMinute = 60 * kSecond;
constexpr uint64_t kHour = 60 * kMinute;
constexpr uint64_t kDay = 24 * kHour;

// Each width divides the next, so that grid bins merge whole.
constexpr uint64_t kLadder[] = {
    1,           2,           10,          20,          100,        200,         kSecond,
    2 * kSecond, 10 * kSecond, 30 * kSecond, kMinute,    5 * kMinute, 10 * kMinute, 30 * kMinute,
    kHour,       2 * kHour,   6 * kHour,   12 * kHour,  kDay,       7 * kDay,    28 * kDay,
    364 * kDay,  3640 * kDay, 36400 * kDay,
};
constexpr size_t kSteps = sizeof kLadder / sizeof kLadder[0];

}  // namespace

void TimeHistogram::addElsewhere(uint64_t milliseconds, bool error) {
  uint64_t index = milliseconds / kLadder[step_];
  if (empty_) {
    // Room on both sides: stamps may run back as well as on.
    firstBin_ = index >= kBins / 2 ? index - kBins / 2 : 0;
    empty_ = false;
  }
  while (index < firstBin_ || index >= firstBin_ + kBins) {
    if (step_ + 1 == kSteps) return;  // beyond any trace's span
    widenTo(step_ + 1);
    index = milliseconds / kLadder[step_];
  }
  EventCount& bin = bins_[index - firstBin_];
  ++bin.events;
  bin.errors += error ? 1 : 0;
  lastBin_ = static_cast<size_t>(index - firstBin_);
  lastBinStart_ = index * kLadder[step_];
  lastBinEnd_ = lastBinStart_ + kLadder[step_];
}

void TimeHistogram::widenTo(size_t step) {
  const uint64_t factor = kLadder[step] / kLadder[step_];
  std::array<EventCount, kBins> merged{};
  // Centre the wider bins on what is counted so far.
  uint64_t low = kBins;
  uint64_t high = 0;
  for (size_t i = 0; i < kBins; ++i) {
    if (bins_[i].events == 0) continue;
    low = std::min<uint64_t>(low, i);
    high = i;
  }
  const uint64_t middle = low <= high ? (firstBin_ + (low + high) / 2) / factor : firstBin_;
  const uint64_t firstBin = middle >= kBins / 2 ? middle - kBins / 2 : 0;
  for (size_t i = 0; i < kBins; ++i) {
    if (bins_[i].events == 0) continue;
    EventCount& into = merged[(firstBin_ + i) / factor - firstBin];
    into.events += bins_[i].events;
    into.errors += bins_[i].errors;
  }
  bins_ = merged;
  firstBin_ = firstBin;
  step_ = step;
  lastBinStart_ = 1;  // none until the next event
  lastBinEnd_ = 0;
}

HistogramBins TimeHistogram::shown(size_t maxBins) const {
  HistogramBins shown;
  size_t low = kBins;
  size_t high = 0;
  for (size_t i = 0; i < kBins; ++i) {
    if (bins_[i].events == 0) continue;
    low = std::min(low, i);
    high = i;
  }
  if (low > high) return shown;
  size_t step = step_;
  const uint64_t first = (firstBin_ + low) * kLadder[step_];
  const uint64_t last = (firstBin_ + high) * kLadder[step_];
  while (step + 1 < kSteps && last / kLadder[step] - first / kLadder[step] + 1 > maxBins) ++step;
  const uint64_t width = kLadder[step];
  shown.widthMs = width;
  shown.startMs = first / width * width;
  shown.bins.resize(last / width - first / width + 1);
  for (size_t i = low; i <= high; ++i) {
    EventCount& into = shown.bins[((firstBin_ + i) * kLadder[step_] - shown.startMs) / width];
    into.events += bins_[i].events;
    into.errors += bins_[i].errors;
  }
  return shown;
}

}  // namespace qnvtab
