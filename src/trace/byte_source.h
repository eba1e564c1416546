// Where the trace's bytes come from: a file read in large chunks, or bytes
// in memory for unit tests and the fuzz target. Readers ask for bytes at an
// offset, so nothing depends on a stream position.
#ifndef QNVTAB_TRACE_BYTE_SOURCE_H_
#define QNVTAB_TRACE_BYTE_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qnvtab {

struct SourceRead {
  size_t bytes = 0;  // fewer than asked for: the end of the source, or an error
  int error = 0;     // the system's reason when reading failed, else 0
};

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // The size in bytes, or -1 when the source cannot be sized (a pipe).
  virtual int64_t size() const = 0;
  virtual SourceRead readAt(uint64_t offset, uint8_t* destination, size_t size) = 0;
};

class MemoryByteSource : public ByteSource {
 public:
  MemoryByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  int64_t size() const override { return static_cast<int64_t>(size_); }
  SourceRead readAt(uint64_t offset, uint8_t* destination, size_t size) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

// Reads a file through a window of kWindowSize bytes, so that the small
// reads of block headers cost no system call each. Owns the descriptor.
class FileByteSource : public ByteSource {
 public:
  static constexpr size_t kWindowSize = size_t{1} << 18;

  FileByteSource() = default;
  ~FileByteSource() override;
  FileByteSource(const FileByteSource&) = delete;
  FileByteSource& operator=(const FileByteSource&) = delete;

  // Opens `path` for reading; false with the system's reason in `error`.
  // A directory is refused (EISDIR).
  bool open(const std::string& path, int& error);
  // Reads the open descriptor `fd`, which it then owns, closed also on a
  // failure (ENOMEM); the descriptor it read before is closed.
  bool adopt(int fd, int& error);
  int descriptor() const { return fd_; }

  int64_t size() const override;
  SourceRead readAt(uint64_t offset, uint8_t* destination, size_t size) override;

 private:
  bool fill(uint64_t offset, int& error);

  int fd_ = -1;
  std::unique_ptr<uint8_t[]> window_;
  uint64_t windowOffset_ = 0;
  size_t windowSize_ = 0;
};

}  // namespace qnvtab

#endif  // QNVTAB_TRACE_BYTE_SOURCE_H_
