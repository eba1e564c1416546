#include "summary/event_stats.h"

#include <new>

namespace qnvtab {

KeyCounts::KeyCounts()
    : low_(new (std::nothrow) uint8_t[kEventKeys * 65536]()),
      high_(new (std::nothrow) uint32_t[kEventKeys * 65536]()) {}

void KeyCounts::flush() {
  // Locals: a byte store may alias any member, which would be read again
  // after every count.
  const size_t batched = batched_;
  for (int key = 0; key < kEventKeys; ++key) {
    const uint16_t* const values = batch_[key].data();
    uint8_t* const low = &low_[static_cast<size_t>(key) * 65536];
    uint32_t* const high = &high_[static_cast<size_t>(key) * 65536];
    for (size_t i = 0; i < batched; ++i) {
      // A table outgrows the first-level cache; fetching ahead halves the
      // time of this loop on values spread wide.
      __builtin_prefetch(&low[values[i + kAhead]], 1);
      if (++low[values[i]] == 0) ++high[values[i]];
    }
  }
  batched_ = 0;
}

void EventStats::begin(const TraceHeader& header, TraceVersion version, const RowOptions&) {
  head_ = &version.eventHead();
  clock_.emplace(header, version);
}

bool EventStats::write(const RecordRun& run) {
  forEachRecord(run, *head_, [&](const RunRecord& record) {
    if (tally_.events == 0) firstNumber_ = record.number;
    lastNumber_ = record.number;
    count(decodeEventHead(record.bytes, *head_));
  });
  return true;
}

void EventStats::count(const EventRecord& record) {
  const bool error = record.RC == 0xFF;
  const EventTime time = clock_->timeOf(record.TimeStamp);
  if (tally_.events > 0 && record.TimeStamp < lastStamp_) ++backSteps_;
  tally_.add(time, error);
  lastStamp_ = record.TimeStamp;
  if (record.ContentLength > longestData_) longestData_ = record.ContentLength;

  CommandCount& command = commands_[record.Cmd];
  ++command.events;
  command.errors += error ? 1 : 0;
  command.dataBytes += record.ContentLength;
  ++returnCodes_[record.RC];
  const uint16_t keys[kEventKeys] = {record.PoIn, record.LsnIn, record.PoOut, record.LsnOut};
  keyEvents_.add(keys);
  keyErrors_.add(keys, error);
  histogram_.add(time.milliseconds(), error);
  countSecond(time.seconds);
}

void EventStats::countSecond(uint32_t second) {
  const size_t slot = second % kSecondsTracked;
  if (seconds_[slot].second != second) {
    closeSecond(slot);
    seconds_[slot] = {second, 0};
  }
  ++seconds_[slot].events;
}

// The earliest second wins a tie: the first burst of that size.
void EventStats::closeSecond(size_t slot) {
  const SecondSlot& closed = seconds_[slot];
  if (closed.events > busiestSecondEvents_ ||
      (closed.events == busiestSecondEvents_ && closed.second < busiestSecond_)) {
    busiestSecond_ = closed.second;
    busiestSecondEvents_ = closed.events;
  }
}

bool EventStats::finish() {
  keyEvents_.flush();
  keyErrors_.flush();
  for (size_t slot = 0; slot < kSecondsTracked; ++slot) closeSecond(slot);
  return true;
}

}  // namespace qnvtab
