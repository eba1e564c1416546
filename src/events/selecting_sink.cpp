#include "events/selecting_sink.h"

#include "events/calendar.h"

namespace qnvtab {
namespace {

constexpr uint32_t kSecondsPerDay = 86400;

}  // namespace

void SelectingSink::begin(const TraceHeader& header, TraceVersion version,
                          const RowOptions& options) {
  head_ = &version.eventHead();
  referenceStamp_ = options.timesRelativeToFirstEvent ? header.firstEventStamp() : 0;
  clock_.emplace(header, version);
  if (version.recordsFirstEvent()) {
    const TraceDate date = header.firstEventDate();
    const DateTime midnight{0, 0, 0, date.day, date.month, date.year};
    resolveWindow(dateTimeToSeconds(&midnight, kEpochYear));
  }
  next_.begin(header, version, options);
}

void SelectingSink::resolveWindow(uint32_t firstEventDay) {
  firstEventDay_ = firstEventDay;
  if (selection_.begin)
    beginMilliseconds_ = millisecondsOf(*selection_.begin, firstEventDay, false);
  if (selection_.end) endMilliseconds_ = millisecondsOf(*selection_.end, firstEventDay, true);
}

uint64_t SelectingSink::millisecondsOf(const WindowTime& bound, uint32_t day, bool end) {
  const TraceTime time = bound.time;
  uint32_t seconds = day + time.hour * 3600 + time.minute * 60 + time.second;
  if (bound.date) {
    const DateTime dateTime{time.second,     time.minute,       time.hour,
                            bound.date->day, bound.date->month, bound.date->year};
    seconds = dateTimeToSeconds(&dateTime, kEpochYear);
  }
  return EventTime{seconds, bound.millisecond.value_or(end ? 999 : 0)}.milliseconds();
}

bool SelectingSink::keeps(int32_t number, const EventRecord& record) {
  const EventSelection& selection = selection_;
  if (selection.events) {
    complete_ = selection.events->to && number >= *selection.events->to;
    if (!selection.events->contains(number)) return false;
  }
  if (selection.commands && !(*selection.commands)[record.Cmd]) return false;
  if (selection.errorsOnly && record.RC != 0xFF) return false;
  if (selection.msec &&
      !selection.msec->contains(static_cast<int32_t>(record.TimeStamp - referenceStamp_))) {
    return false;
  }
  if (!selection.begin && !selection.end) return true;
  const EventTime time = clock_->timeOf(record.TimeStamp);
  // Without a recorded first event, a time alone is taken on the day of
  // the first event read, as its Date cell shows it.
  if (!firstEventDay_) resolveWindow(time.seconds / kSecondsPerDay * kSecondsPerDay);
  return time.milliseconds() >= beginMilliseconds_ && time.milliseconds() <= endMilliseconds_;
}

bool SelectingSink::write(const RecordRun& run) {
  RecordRun kept;
  bool goOn = true;
  const auto passOn = [&] {
    if (kept.count > 0 && goOn) goOn = next_.write(kept);
    rowsKept_ += kept.count;
    kept.count = 0;
  };
  forEachRecord(run, *head_, [&](const RunRecord& record) {
    if (complete_) return;  // nothing after the last event asked for is kept
    if (keeps(record.number, decodeEventHead(record.bytes, *head_))) {
      if (kept.count == 0) kept = RecordRun{record.bytes, 0, 0, record.number};
      kept.size += record.size;
      ++kept.count;
    } else {
      passOn();
    }
  });
  passOn();
  return goOn && !(stopsEarly_ && complete_);
}

}  // namespace qnvtab
