#include "cli/output_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

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
  } else if (S_ISREG(output.st_mode) && ::ftruncate(fd, 0) != 0) {
    lastError_ = errno;
  } else {
    fd_ = fd;
    return true;
  }
  ::close(fd);
  return false;
}

bool OutputFile::write(const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd_, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      lastError_ = written < 0 ? errno : EIO;  // a write that makes no progress
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
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
