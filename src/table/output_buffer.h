// The table's output path: one large buffer in front of a byte sink, so that
// hundreds of megabytes of small cells cost few system calls. A failed write
// is remembered and reported; it is never silently lost.
#ifndef QNVTAB_TABLE_OUTPUT_BUFFER_H_
#define QNVTAB_TABLE_OUTPUT_BUFFER_H_

#include <cstddef>
#include <memory>
#include <string>

namespace qnvtab {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes all `size` bytes; false on failure.
  virtual bool write(const char* data, size_t size) = 0;
  // The system's error number of the last failure, 0 when none is known.
  virtual int lastError() const { return 0; }
};

class OutputBuffer {
 public:
  static constexpr size_t kDefaultCapacity = size_t{1} << 20;

  // Allocates without throwing: check allocated() before use.
  explicit OutputBuffer(ByteSink& sink, size_t capacity = kDefaultCapacity);
  OutputBuffer(const OutputBuffer&) = delete;
  OutputBuffer& operator=(const OutputBuffer&) = delete;

  // Returns a cursor with room for `size` bytes, at most the capacity,
  // flushing first if needed; pass the advanced cursor to commit(). After a
  // failure the bytes are accepted and dropped.
  char* reserve(size_t size) {
    if (capacity_ - used_ < size) flush();
    return data_.get() + used_;
  }
  void commit(char* end) { used_ = static_cast<size_t>(end - data_.get()); }

  void append(const char* text, size_t size);
  // Writes what is buffered, then `text` straight to the sink: for text
  // already in a buffer of its own.
  void writeThrough(const char* text, size_t size);

  // Hands the buffered bytes to the sink and empties the buffer, also after
  // a failure, so that writers need no checks of their own. False once any
  // write has failed.
  bool flush();
  bool failed() const { return failed_; }
  bool allocated() const { return data_ != nullptr; }

 private:
  ByteSink& sink_;
  std::unique_ptr<char[]> data_;
  size_t capacity_;
  size_t used_ = 0;
  bool failed_ = false;
};

}  // namespace qnvtab

#endif  // QNVTAB_TABLE_OUTPUT_BUFFER_H_
