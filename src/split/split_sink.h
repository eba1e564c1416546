// A row sink that spreads the rows over parts, whatever the format: a part
// ends when it holds a given number of rows, or when an event falls in
// another interval of wall-clock time than the part's, or both. It then
// finishes that part's sink and begins the next one, made by a part
// factory, with the same header, so each part has its own informative
// header and titles.
#ifndef QNVTAB_SPLIT_SPLIT_SINK_H_
#define QNVTAB_SPLIT_SPLIT_SINK_H_

#include <cstdint>
#include <optional>

#include "events/event_clock.h"
#include "events/row_sink.h"

namespace qnvtab {

// When a part ends; with both limits, at whichever comes first.
struct SplitRule {
  uint64_t rowsPerPart = 0;  // 0: no row limit
  // 0: none. Otherwise 1 to 86400: the intervals are aligned to multiples
  // of it from midnight (the last of a day ends at midnight), and an event
  // whose interval or day differs from the one before starts a new part,
  // also when its stamp runs back into an earlier interval.
  uint32_t intervalSeconds = 0;

  bool splits() const { return rowsPerPart > 0 || intervalSeconds > 0; }
};

// The longest interval: a day.
inline constexpr uint32_t kMaxSplitIntervalSeconds = 86400;

class PartFactory {
 public:
  virtual ~PartFactory() = default;
  // The sink of part `number` (2 for the first part after the given
  // output), not yet begun; null when it cannot be made. The sink of the
  // part before has been finished and is not used again.
  virtual RowSink* makePart(uint32_t number) = 0;
};

class SplitSink : public RowSink {
 public:
  // `firstPart` is the output as given; the others come from `parts`, only
  // once a row is there for them.
  SplitSink(SplitRule rule, RowSink& firstPart, PartFactory& parts)
      : rule_(rule), current_(&firstPart), parts_(parts) {}

  void begin(const TraceHeader& header, TraceVersion version, const RowOptions& options) override;
  bool write(const RecordRun& run) override;
  bool failed() const override { return partFailed_ || current_->failed(); }
  bool finish() override { return !partFailed_ && current_->finish(); }
  // A part that could not be made is reported by the part factory.
  std::string failureReason() const override { return current_->failureReason(); }

 private:
  // Whether the record at `head` begins a new part, the part's interval
  // moved on to the record's.
  bool startsNewPart(const uint8_t* head);
  // Finishes the current part and begins the next; false on failure.
  bool nextPart();

  SplitRule rule_;
  RowSink* current_;
  PartFactory& parts_;
  uint32_t partNumber_ = 1;
  uint64_t rowsInPart_ = 0;
  bool partFailed_ = false;  // a part could not be finished or made
  TraceHeader header_;       // begins every part
  TraceVersion version_;
  RowOptions options_;
  std::optional<EventClock> clock_;  // with an interval
  uint64_t interval_ = 0;            // of the part's last row: its day and number
};

}  // namespace qnvtab

#endif  // QNVTAB_SPLIT_SPLIT_SINK_H_
