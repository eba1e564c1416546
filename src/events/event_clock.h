// The event clock: where the first event lies on the calendar, and the
// second and millisecond at which any event happened. Their texts are in
// events/time_text.h.
#ifndef QNVTAB_EVENTS_EVENT_CLOCK_H_
#define QNVTAB_EVENTS_EVENT_CLOCK_H_

#include <cstddef>
#include <cstdint>
#include <optional>

#include "trace/trace_header.h"
#include "trace/trace_version.h"

namespace qnvtab {

// An event's wall-clock time: seconds since 1980 and the millisecond in it.
struct EventTime {
  uint32_t seconds = 0;
  uint32_t millisecond = 0;  // 0 to 999

  uint64_t milliseconds() const { return uint64_t{seconds} * 1000 + millisecond; }
};

class EventClock {
 public:
  EventClock(const TraceHeader& header, TraceVersion version);

  // Seconds since 1980 at which an event stamped `timeStamp` happened.
  uint32_t secondsOf(uint32_t timeStamp) const { return timeOf(timeStamp).seconds; }
  // The same second, and the millisecond that the distance from the first
  // event's stamp adds to the first event's time: an event stamped 1 ms
  // before the first lies at .999 of the second before.
  EventTime timeOf(uint32_t timeStamp) const;

 private:
  uint32_t firstEventStamp_;
  uint32_t firstEventSeconds_;  // seconds since 1980 of the first event
  // Traces that record their first event place events stamped before it
  // before it; older stamps count from the trace start, unsigned.
  bool signedDistance_;
};

// Seconds east of Greenwich.
int32_t secondsEast(GmtOffset offset);

// The UTC of `local` time at `secondsEast` of Greenwich; none within hours
// of the clock's ends (1980, 2116), where it falls outside the range.
std::optional<EventTime> utcOf(EventTime local, int32_t secondsEast);

}  // namespace qnvtab

#endif  // QNVTAB_EVENTS_EVENT_CLOCK_H_
