#include "split/split_sink.h"

#include "events/event_record.h"

namespace qnvtab {
namespace {

constexpr uint32_t kSecondsPerDay = 86400;

}  // namespace

void SplitSink::begin(const TraceHeader& header, TraceVersion version, const RowOptions& options) {
  header_ = header;
  version_ = version;
  options_ = options;
  if (rule_.intervalSeconds > 0) clock_.emplace(header, version);
  current_->begin(header, version, options);
}

bool SplitSink::startsNewPart(const uint8_t* head) {
  const bool full = rule_.rowsPerPart > 0 && rowsInPart_ == rule_.rowsPerPart;
  if (!clock_) return full;
  const layout::EventHeadLayout& layout = version_.eventHead();
  const uint32_t seconds = clock_->secondsOf(loadU32(head + layout.timeStamp));
  const uint64_t interval =
      uint64_t{seconds / kSecondsPerDay} << 32 | (seconds % kSecondsPerDay) / rule_.intervalSeconds;
  const bool moved = rowsInPart_ > 0 && interval != interval_;
  interval_ = interval;
  return full || moved;
}

bool SplitSink::nextPart() {
  RowSink* next = current_->finish() ? parts_.makePart(partNumber_ + 1) : nullptr;
  if (next == nullptr) {
    partFailed_ = true;
    return false;
  }
  current_ = next;
  ++partNumber_;
  rowsInPart_ = 0;
  current_->begin(header_, version_, options_);
  return true;
}

// The run goes on to the current part in pieces of consecutive records,
// cut where a part ends.
bool SplitSink::write(const RecordRun& run) {
  RecordRun piece{run.bytes, 0, 0, run.firstNumber};
  forEachRecord(run, version_.eventHead(), [&](const RunRecord& record) {
    if (partFailed_) return;
    if (startsNewPart(record.bytes)) {
      if (piece.count > 0) current_->write(piece);
      if (!nextPart()) return;
      piece = RecordRun{record.bytes, 0, 0, record.number};
    }
    piece.size += record.size;
    ++piece.count;
    ++rowsInPart_;
  });
  if (!partFailed_ && piece.count > 0) current_->write(piece);
  return !failed();
}

}  // namespace qnvtab
