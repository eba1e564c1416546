#include "split/split_sink.h"

#include "events/event_record.h"

namespace qnvtab {

void SplitSink::begin(const TraceHeader& header, TraceVersion version, const RowOptions& options) {
  header_ = header;
  version_ = version;
  options_ = options;
  current_->begin(header, version, options);
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

void SplitSink::write(const RecordRun& run) {
  const layout::EventHeadLayout& head = version_.eventHead();
  RecordRun rest = run;
  while (rest.count > 0 && !failed()) {
    if (rowsInPart_ == rowsPerPart_ && !nextPart()) return;
    const uint64_t room = rowsPerPart_ - rowsInPart_;
    if (rest.count <= room) {
      current_->write(rest);
      rowsInPart_ += rest.count;
      return;
    }
    RecordRun piece{rest.bytes, 0, static_cast<uint32_t>(room), rest.firstNumber};
    for (uint32_t i = 0; i < piece.count; ++i)
      piece.size += recordSize(rest.bytes + piece.size, head);
    current_->write(piece);
    rowsInPart_ += piece.count;
    rest.bytes += piece.size;
    rest.size -= piece.size;
    rest.count -= piece.count;
    rest.firstNumber = static_cast<int32_t>(static_cast<uint32_t>(rest.firstNumber) + piece.count);
  }
}

}  // namespace qnvtab
