#include "trace/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace qnvtab {

SourceRead MemoryByteSource::readAt(uint64_t offset, uint8_t* destination, size_t size) {
  if (offset >= size_) return {};
  const size_t available = size_ - static_cast<size_t>(offset);
  const size_t count = size < available ? size : available;
  std::memcpy(destination, data_ + offset, count);
  return {count, 0};
}

FileByteSource::~FileByteSource() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileByteSource::open(const std::string& path, int& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return false;
  }
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    error = S_ISDIR(info.st_mode) ? EISDIR : errno;
    ::close(fd);
    return false;
  }
  return adopt(fd, error);
}

bool FileByteSource::adopt(int fd, int& error) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  windowOffset_ = 0;
  windowSize_ = 0;
  if (!window_) window_.reset(new (std::nothrow) uint8_t[kWindowSize]);
  if (!window_) {
    error = ENOMEM;
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

int64_t FileByteSource::size() const {
  struct stat info;
  if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
    const off_t end = ::lseek(fd_, 0, SEEK_END);
    return end < 0 ? -1 : static_cast<int64_t>(end);
  }
  return static_cast<int64_t>(info.st_size);
}

bool FileByteSource::fill(uint64_t offset, int& error) {
  windowOffset_ = offset;
  windowSize_ = 0;
  while (windowSize_ < kWindowSize) {
    const ssize_t got = ::pread(fd_, window_.get() + windowSize_, kWindowSize - windowSize_,
                                static_cast<off_t>(offset + windowSize_));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = errno;
      return false;
    }
    if (got == 0) break;
    windowSize_ += static_cast<size_t>(got);
  }
  return true;
}

SourceRead FileByteSource::readAt(uint64_t offset, uint8_t* destination, size_t size) {
  SourceRead read;
  while (read.bytes < size) {
    const uint64_t at = offset + read.bytes;
    if (at < windowOffset_ || at >= windowOffset_ + windowSize_) {
      if (!fill(at, read.error)) return read;
      if (windowSize_ == 0) return read;
    }
    const size_t inWindow = static_cast<size_t>(windowOffset_ + windowSize_ - at);
    const size_t count = size - read.bytes < inWindow ? size - read.bytes : inWindow;
    std::memcpy(destination + read.bytes, window_.get() + (at - windowOffset_), count);
    read.bytes += count;
  }
  return read;
}

}  // namespace qnvtab
