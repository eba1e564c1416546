// The event stream: owns the carry-over buffer into which blocks expand,
// frames the whole event records at its front and numbers them. Records do
// not follow block boundaries, so the bytes of an incomplete last record
// stay for the next block.
#ifndef QNVTAB_EVENTS_EVENT_FRAMER_H_
#define QNVTAB_EVENTS_EVENT_FRAMER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "events/record_run.h"
#include "trace/trace_format.h"

namespace qnvtab {

class EventFramer {
 public:
  // The buffer holds `capacity` bytes: for a conversion two blocks, the
  // carried start of a record and the next block's bytes.
  EventFramer(const layout::EventHeadLayout& head, size_t capacity);

  // False when the buffer could not be allocated.
  bool allocated() const { return buffer_ != nullptr; }

  // The room behind the carried bytes, where the next block expands. Drops
  // the records of the last run first, which ends that run's life.
  std::span<uint8_t> freeSpace();
  // `produced` bytes were placed at the front of the free space.
  void commit(size_t produced) { used_ += produced; }

  // Frames and numbers every whole record held; the incomplete rest stays.
  RecordRun takeRecords();

  // The bytes not yet in a run, and dropping some of them from the front,
  // for a stream that must find its next record boundary after a gap.
  std::span<const uint8_t> held() const { return {buffer_.get() + framed_, used_ - framed_}; }
  void discard(size_t bytes) { framed_ += bytes; }

  // Bytes of an incomplete record not yet in a run.
  size_t carriedBytes() const { return used_ - framed_; }
  int32_t lastEventNumber() const { return static_cast<int32_t>(eventCounter_); }

 private:
  const layout::EventHeadLayout& head_;
  size_t capacity_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t used_ = 0;
  size_t framed_ = 0;  // bytes at the front handed out as a run
  uint32_t eventCounter_ = 0;
};

}  // namespace qnvtab

#endif  // QNVTAB_EVENTS_EVENT_FRAMER_H_
