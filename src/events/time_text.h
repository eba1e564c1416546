// Time as text, in one place: the Date and Local Time cells of a second,
// kept because consecutive events nearly always share it; the ISO 8601
// text of an instant, kept the same way; and the ISO 8601 text of the
// header's dates, times and GMT offsets.
#ifndef QNVTAB_EVENTS_TIME_TEXT_H_
#define QNVTAB_EVENTS_TIME_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "events/event_clock.h"
#include "trace/trace_header.h"

namespace qnvtab {

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

// The header's dates, times and GMT offsets in ISO 8601: "2008-05-19",
// "10:20:30", "+02:00".
std::string isoDate(TraceDate date);
std::string isoTime(TraceTime time);
std::string isoOffset(GmtOffset offset);

}  // namespace qnvtab

#endif  // QNVTAB_EVENTS_TIME_TEXT_H_
