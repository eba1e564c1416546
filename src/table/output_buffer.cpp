#include "table/output_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace qnvtab {

OutputBuffer::OutputBuffer(ByteSink& sink, size_t capacity)
    : sink_(sink), data_(new (std::nothrow) char[capacity]), capacity_(data_ ? capacity : 0) {}

bool OutputBuffer::flush() {
  if (used_ > 0 && !failed_ && !sink_.write(data_.get(), used_)) failed_ = true;
  used_ = 0;
  return !failed_;
}

void OutputBuffer::writeThrough(const char* text, size_t size) {
  flush();
  if (size > 0 && !failed_ && !sink_.write(text, size)) failed_ = true;
}

void OutputBuffer::append(const char* text, size_t size) {
  while (size > 0) {
    if (used_ == capacity_) flush();
    const size_t chunk = std::min(size, capacity_ - used_);
    std::memcpy(data_.get() + used_, text, chunk);
    used_ += chunk;
    text += chunk;
    size -= chunk;
  }
}

}  // namespace qnvtab
