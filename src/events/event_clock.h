// The event clock: where the first event lies on the calendar, the second
// and millisecond at which any event happened, the Date and Local Time text
// of a second, kept because consecutive events nearly always share it, and
// the ISO 8601 text of an instant, kept the same way.
#ifndef QNVTAB_EVENTS_EVENT_CLOCK_H_
#define QNVTAB_EVENTS_EVENT_CLOCK_H_

#include <cstddef>
#include <cstdint>

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

// "DDMMYY\tHHMMSS": the Date and Local Time cells with the TAB between.
class DateTimeText {
 public:
  static constexpr size_t kDateSize = 6;
  static constexpr size_t kTimeOffset = kDateSize + 1;
  static constexpr size_t kSize = kTimeOffset + 6;

  // The text of `seconds` since 1980: from the cache when the second has
  // not changed, recomputing only the clock while the day stays the same.
  // Valid until the next call.
  const char* of(uint32_t seconds);

 private:
  bool valid_ = false;
  uint32_t seconds_ = 0;
  char text_[kSize] = {};
};

// "YYYY-MM-DD HH:MM:SS.mmm" with `separator` between date and time.
constexpr size_t kIsoTimeSize = 23;
void writeIsoTime(char* out, EventTime time, char separator = ' ');

// The same text with a blank between date and time, kept like DateTimeText:
// only the millisecond is written while the second stays the same.
class IsoTimeText {
 public:
  // The kIsoTimeSize characters of `time`, valid until the next call.
  const char* of(EventTime time);

 private:
  bool valid_ = false;
  uint32_t seconds_ = 0;
  char text_[kIsoTimeSize] = {};
};

}  // namespace qnvtab

#endif  // QNVTAB_EVENTS_EVENT_CLOCK_H_
