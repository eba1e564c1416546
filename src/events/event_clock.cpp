#include "events/event_clock.h"

#include "events/calendar.h"

namespace qnvtab {

EventClock::EventClock(const TraceHeader& header, TraceVersion version)
    : firstEventStamp_(header.firstEventStamp()), signedDistance_(version.recordsFirstEvent()) {
  const TraceDate date = header.firstEventDate();
  const TraceTime time = header.firstEventTime();
  const DateTime firstEvent{time.second, time.minute, time.hour, date.day, date.month, date.year};
  firstEventSeconds_ = dateTimeToSeconds(&firstEvent, kEpochYear);
}

EventTime EventClock::timeOf(uint32_t timeStamp) const {
  const uint32_t distance = timeStamp - firstEventStamp_;
  if (!signedDistance_) return {firstEventSeconds_ + distance / 1000, distance % 1000};
  // Round toward minus infinity: 1 ms before the first event lies in the
  // second before it.
  const int32_t signedDistance = static_cast<int32_t>(distance);
  int32_t wholeSeconds = signedDistance / 1000;
  int32_t millisecond = signedDistance % 1000;
  if (millisecond < 0) {
    --wholeSeconds;
    millisecond += 1000;
  }
  return {firstEventSeconds_ + static_cast<uint32_t>(wholeSeconds),
          static_cast<uint32_t>(millisecond)};
}

int32_t secondsEast(GmtOffset offset) {
  const int32_t seconds = offset.hours * 3600 + offset.minutes * 60;
  return offset.sign == 0xFF ? -seconds : seconds;
}

std::optional<EventTime> utcOf(EventTime local, int32_t secondsEast) {
  const int64_t seconds = int64_t{local.seconds} - secondsEast;
  if (seconds < 0 || seconds > UINT32_MAX) return std::nullopt;
  return EventTime{static_cast<uint32_t>(seconds), local.millisecond};
}

}  // namespace qnvtab
