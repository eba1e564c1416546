#include "cli/output_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <string_view>

#include "cli/diagnosis.h"

namespace qnvtab {

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool OutputFile::open(const std::string& path, const struct stat& input) {
  // Opened without O_TRUNC so that the identity check comes before anything
  // of the file is destroyed.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    lastError_ = errno;
    return false;
  }
  struct stat output;
  if (::fstat(fd, &output) != 0) {
    lastError_ = errno;
  } else if (output.st_dev == input.st_dev && output.st_ino == input.st_ino) {
    lastError_ = EEXIST;
    namesInput_ = true;
    // An empty file, a new one most often, is not truncated: ext4 takes a
    // truncation to zero for a file being replaced, and on close waits for
    // the blocks of all that was written to be allocated.
  } else if (S_ISREG(output.st_mode) && output.st_size > 0 && ::ftruncate(fd, 0) != 0) {
    lastError_ = errno;
  } else {
    fd_ = fd;
    regular_ = S_ISREG(output.st_mode);
    return true;
  }
  ::close(fd);
  return false;
}

bool OutputFile::openStandardOutput(const struct stat& input) {
  const int fd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
  struct stat output;
  if (fd < 0 || ::fstat(fd, &output) != 0) {
    lastError_ = errno;
  } else if (output.st_dev == input.st_dev && output.st_ino == input.st_ino) {
    lastError_ = EEXIST;
    namesInput_ = true;
  } else {
    fd_ = fd;
    return true;
  }
  if (fd >= 0) ::close(fd);
  return false;
}

std::string OutputFile::openFailureReason() const {
  return namesInput_ ? "the output is the input file" : systemReason(lastError_);
}

bool OutputFile::write(const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd_, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      lastError_ = written < 0 ? errno : EIO;  // a write that makes no progress
      dropPartialLine();
      return false;
    }
    const size_t lineFeed = std::string_view(data, static_cast<size_t>(written)).rfind('\n');
    if (lineFeed != std::string_view::npos) lineEnd_ = size_ + lineFeed + 1;
    size_ += static_cast<uint64_t>(written);
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// A table cut by a full disk or the file-size limit then ends with a whole
// row. Devices and pipes keep what they were given.
void OutputFile::dropPartialLine() {
  if (regular_ && size_ != lineEnd_ && ::ftruncate(fd_, static_cast<off_t>(lineEnd_)) == 0) {
    size_ = lineEnd_;
  }
}

bool OutputFile::isSameFileAs(int fd) const {
  struct stat output;
  struct stat other;
  return fd_ >= 0 && ::fstat(fd_, &output) == 0 && ::fstat(fd, &other) == 0 &&
         output.st_dev == other.st_dev && output.st_ino == other.st_ino;
}

bool OutputFile::close() {
  const int fd = fd_;
  fd_ = -1;
  if (fd >= 0 && ::close(fd) != 0) {
    lastError_ = errno;
    return false;
  }
  return true;
}

}  // namespace qnvtab
