// A row sink in front of another that passes on only the selected events,
// as runs of consecutive records that keep the trace's event numbers, so
// that a selected row can always be found again in the full table.
#ifndef QNVTAB_EVENTS_SELECTING_SINK_H_
#define QNVTAB_EVENTS_SELECTING_SINK_H_

#include <cstdint>
#include <optional>

#include "events/event_clock.h"
#include "events/event_record.h"
#include "events/event_selection.h"
#include "events/row_sink.h"

namespace qnvtab {

class SelectingSink : public RowSink {
 public:
  // `stopsEarly`: reading may end after the last event of --events, when
  // nothing else needs the rest of the trace.
  SelectingSink(const EventSelection& selection, RowSink& next, bool stopsEarly = true)
      : selection_(selection), next_(next), stopsEarly_(stopsEarly) {}

  void begin(const TraceHeader& header, TraceVersion version, const RowOptions& options) override;
  // Once the last event of --events has been read (and it may stop
  // early), no later one can be kept: false then.
  bool write(const RecordRun& run) override;
  bool failed() const override { return next_.failed(); }
  bool finish() override { return next_.finish(); }
  std::string failureReason() const override { return next_.failureReason(); }
  std::vector<OutputWarning> warnings() const override { return next_.warnings(); }
  // The rows passed on so far.
  uint64_t rowsKept() const { return rowsKept_; }

 private:
  bool keeps(int32_t number, const EventRecord& record);
  void resolveWindow(uint32_t firstEventDay);
  // Milliseconds since 1980 of a window bound on the day starting at `day`:
  // of the first millisecond of its second, or of the last for an `end`,
  // unless the bound gives its millisecond.
  static uint64_t millisecondsOf(const WindowTime& bound, uint32_t day, bool end);

  const EventSelection& selection_;
  RowSink& next_;
  bool stopsEarly_;
  const layout::EventHeadLayout* head_ = nullptr;
  uint32_t referenceStamp_ = 0;  // as the Time (msec) cell subtracts it
  std::optional<EventClock> clock_;
  // The day (seconds since 1980 of its midnight) of a bound given as a time
  // alone; unknown before the first event of a trace that does not record
  // it. The window is known with it.
  std::optional<uint32_t> firstEventDay_;
  uint64_t beginMilliseconds_ = 0;  // both included
  uint64_t endMilliseconds_ = UINT64_MAX;
  bool complete_ = false;
  uint64_t rowsKept_ = 0;
};

}  // namespace qnvtab

#endif  // QNVTAB_EVENTS_SELECTING_SINK_H_
