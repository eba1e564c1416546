// What every view of a trace's rows counts alike: the events, the errors
// among them (RC 0xFF), and the first and last event's time in file order.
#ifndef QNVTAB_EVENTS_EVENT_TALLY_H_
#define QNVTAB_EVENTS_EVENT_TALLY_H_

#include <cstdint>
#include <optional>

#include "events/event_clock.h"

namespace qnvtab {

struct EventTally {
  uint64_t events = 0;
  uint64_t errors = 0;
  std::optional<EventTime> first;  // none without events
  std::optional<EventTime> last;

  void add(EventTime time, bool error) {
    if (events == 0) first = time;
    last = time;
    ++events;
    errors += error ? 1 : 0;
  }
  // From the first event's time to the last's; 0 without events.
  int64_t spanMs() const {
    return first ? static_cast<int64_t>(last->milliseconds() - first->milliseconds()) : 0;
  }
  // Events per second over the span; none when the span is not positive.
  std::optional<double> meanRate() const {
    const int64_t span = spanMs();
    if (span <= 0) return std::nullopt;
    return static_cast<double>(events) * 1000 / static_cast<double>(span);
  }
};

}  // namespace qnvtab

#endif  // QNVTAB_EVENTS_EVENT_TALLY_H_
