// A row sink that formats nothing and counts: events and errors (RC 0xFF),
// their wall-clock times, per command, return code, port and session, and
// over time. Its memory is fixed whatever the trace: ports and sessions
// are 16-bit, so each is counted exactly in a table of 65536.
#ifndef QNVTAB_SUMMARY_EVENT_STATS_H_
#define QNVTAB_SUMMARY_EVENT_STATS_H_

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "events/event_clock.h"
#include "events/event_tally.h"
#include "events/row_sink.h"
#include "summary/time_histogram.h"

namespace qnvtab {

struct CommandCount {
  uint64_t events = 0;
  uint64_t errors = 0;
  uint64_t dataBytes = 0;  // ContentLength: the data bytes kept
};

// The fields of an event head whose values are counted each.
enum class EventKey : int { PoIn, LsnIn, PoOut, LsnOut };
constexpr int kEventKeys = 4;

// How often each value of each key occurs, counted exactly. A count is an
// 8-bit low part, touched on every add, and a 32-bit high part, touched once
// in 256 (no trace holds 2^40 events). Values are gathered in a batch and
// counted one key's table at a time, each count fetched a few values ahead:
// counting them as they come, four tables at once, waits on memory at
// nearly every count where values spread wide.
class KeyCounts {
 public:
  // Allocates without throwing: check allocated() before use.
  KeyCounts();
  bool allocated() const { return low_ != nullptr && high_ != nullptr; }
  static constexpr size_t kTableBytes = kEventKeys * 65536 * (1 + 4);

  // Counts `values` when `counted`; written so that it costs no branch
  // that depends on it.
  void add(const uint16_t (&values)[kEventKeys], bool counted = true) {
    for (int key = 0; key < kEventKeys; ++key) batch_[key][batched_] = values[key];
    batched_ += counted ? 1 : 0;
    if (batched_ == kBatch) flush();
  }
  // Counts what the batch holds; count() is exact only after it.
  void flush();
  uint64_t count(EventKey key, uint16_t value) const {
    const size_t at = static_cast<size_t>(key) * 65536 + value;
    return (uint64_t{high_[at]} << 8) + low_[at];
  }

 private:
  static constexpr size_t kBatch = 8192;
  // How many values ahead flush() fetches counts; the values past the
  // batch's end are zeros, or older values, and only fetched.
  static constexpr size_t kAhead = 16;
  std::unique_ptr<uint8_t[]> low_;
  std::unique_ptr<uint32_t[]> high_;
  std::array<std::array<uint16_t, kBatch + kAhead>, kEventKeys> batch_{};
  size_t batched_ = 0;
};

class EventStats : public RowSink {
 public:
  // Check allocated() before use.
  bool allocated() const { return keyEvents_.allocated() && keyErrors_.allocated(); }
  // What allocated() needs.
  static constexpr size_t kTableBytes = 2 * KeyCounts::kTableBytes;

  void begin(const TraceHeader& header, TraceVersion version, const RowOptions& options) override;
  bool write(const RecordRun& run) override;
  bool failed() const override { return false; }
  bool finish() override;
  std::string failureReason() const override { return ""; }

  // The events, errors and times every view shows alike.
  const EventTally& tally() const { return tally_; }
  int32_t firstNumber() const { return firstNumber_; }
  int32_t lastNumber() const { return lastNumber_; }
  // Events stamped earlier than the event before them.
  uint64_t backSteps() const { return backSteps_; }
  uint16_t longestData() const { return longestData_; }
  // The second (since 1980) that holds the most events, and their count;
  // exact unless stamps run back by more than kSecondsTracked seconds.
  uint32_t busiestSecond() const { return busiestSecond_; }
  uint64_t busiestSecondEvents() const { return busiestSecondEvents_; }
  static constexpr uint32_t kSecondsTracked = 1024;

  const std::array<CommandCount, 256>& commands() const { return commands_; }
  const std::array<uint64_t, 256>& returnCodes() const { return returnCodes_; }
  EventCount keyCount(EventKey key, uint16_t value) const {
    return {keyEvents_.count(key, value), keyErrors_.count(key, value)};
  }
  const TimeHistogram& histogram() const { return histogram_; }

 private:
  void count(const EventRecord& record);
  void countSecond(uint32_t second);
  void closeSecond(size_t slot);

  const layout::EventHeadLayout* head_ = nullptr;
  std::optional<EventClock> clock_;
  EventTally tally_;
  int32_t firstNumber_ = 0;
  int32_t lastNumber_ = 0;
  uint32_t lastStamp_ = 0;
  uint64_t backSteps_ = 0;
  uint16_t longestData_ = 0;
  std::array<CommandCount, 256> commands_{};
  std::array<uint64_t, 256> returnCodes_{};
  KeyCounts keyEvents_;
  KeyCounts keyErrors_;
  TimeHistogram histogram_;
  // Events per second for the last seconds seen, slot = second mod size.
  struct SecondSlot {
    uint32_t second = 0;
    uint64_t events = 0;
  };
  std::array<SecondSlot, kSecondsTracked> seconds_{};
  uint32_t busiestSecond_ = 0;
  uint64_t busiestSecondEvents_ = 0;
};

}  // namespace qnvtab

#endif  // QNVTAB_SUMMARY_EVENT_STATS_H_
