#include "events/event_framer.h"

#include <cstring>
#include <new>

#include "events/event_record.h"

namespace qnvtab {

EventFramer::EventFramer(const layout::EventHeadLayout& head, size_t capacity)
    : head_(head),
      capacity_(capacity),
      buffer_(new (std::nothrow) uint8_t[capacity_ > 0 ? capacity_ : 1]) {}

std::span<uint8_t> EventFramer::freeSpace() {
  if (framed_ > 0) {
    const size_t rest = used_ - framed_;
    if (rest > 0) std::memmove(buffer_.get(), buffer_.get() + framed_, rest);
    used_ = rest;
    framed_ = 0;
  }
  return {buffer_.get() + used_, capacity_ - used_};
}

RecordRun EventFramer::takeRecords() {
  RecordRun run;
  run.bytes = buffer_.get() + framed_;
  run.firstNumber = static_cast<int32_t>(eventCounter_ + 1);
  size_t pos = framed_;
  while (used_ - pos >= head_.size && used_ - pos >= recordSize(buffer_.get() + pos, head_)) {
    pos += recordSize(buffer_.get() + pos, head_);
    ++run.count;
  }
  run.size = pos - framed_;
  framed_ = pos;
  eventCounter_ += run.count;
  return run;
}

}  // namespace qnvtab
