#include "cli/trace_input.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include "cli/diagnosis.h"
#include "cli/printable_name.h"
#include "trace/trace_header.h"

namespace qnvtab {
namespace {

// Enough for the header of every version and the magic of every format.
constexpr size_t kHeadSize = 4096;

// Owns a descriptor until it is released.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// Waits until `fd` has bytes or its end, asking `watch` four times a
// second: a pipe that stalls must not hold up a run that was interrupted.
// False, with errno EINTR, once a signal came.
bool awaitBytes(int fd, const InterruptionWatch& watch) {
  pollfd ready{fd, POLLIN, 0};
  while (watch.received() == 0) {
    const int got = ::poll(&ready, 1, 250);
    // Readable, at its end, or failed: read() says which.
    if (got > 0 || (got < 0 && errno != EINTR)) return true;
  }
  errno = EINTR;
  return false;
}

// Reads up to `size` bytes, fewer only at the end; -1 with errno.
long readFully(int fd, uint8_t* destination, size_t size, const InterruptionWatch& watch) {
  size_t got = 0;
  while (got < size) {
    if (!awaitBytes(fd, watch)) return -1;
    const ssize_t read = ::read(fd, destination + got, size - got);
    if (read < 0 && errno == EINTR) continue;
    if (read < 0) return -1;
    if (read == 0) break;
    got += static_cast<size_t>(read);
  }
  return static_cast<long>(got);
}

// The descriptor's bytes after those of the head, read already.
class DescriptorInput : public CompressedInput {
 public:
  DescriptorInput(int fd, const uint8_t* head, size_t headSize, const InterruptionWatch& watch)
      : fd_(fd), head_(head), headLeft_(headSize), watch_(watch) {}
  long read(uint8_t* destination, size_t size) override {
    if (headLeft_ == 0) return readFully(fd_, destination, size, watch_);
    const size_t count = std::min(size, headLeft_);
    std::copy(head_, head_ + count, destination);
    head_ += count;
    headLeft_ -= count;
    return static_cast<long>(count);
  }

 private:
  int fd_;
  const uint8_t* head_;
  size_t headLeft_;
  const InterruptionWatch& watch_;
};

// A temporary file without a name, in TMPDIR or /tmp. Where the file
// system cannot make one, a named file is removed at once instead.
class SpoolFile : public DecodedOutput {
 public:
  SpoolFile() {
    const char* tmpdir = std::getenv("TMPDIR");
    folder_ = tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp";
  }
  bool create() {
    fd_ = ::open(folder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR)) {
      std::string path = folder_ + "/qnvtab-XXXXXX";
      fd_ = ::mkostemp(path.data(), O_CLOEXEC);
      if (fd_ >= 0) ::unlink(path.c_str());
    }
    error_ = fd_ < 0 ? errno : 0;
    return fd_ >= 0;
  }
  ~SpoolFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  SpoolFile(const SpoolFile&) = delete;
  SpoolFile& operator=(const SpoolFile&) = delete;

  bool write(const uint8_t* data, size_t size) override {
    while (size > 0) {
      const ssize_t written = ::write(fd_, data, size);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        error_ = written < 0 ? errno : EIO;
        return false;
      }
      data += written;
      size -= static_cast<size_t>(written);
    }
    return true;
  }
  int release() { return std::exchange(fd_, -1); }
  const std::string& folder() const { return folder_; }
  int error() const { return error_; }

 private:
  std::string folder_;
  int fd_ = -1;
  int error_ = 0;
};

// Whether the bytes begin with a trace's header, also one recognised by
// its text alone: such a file is read as a trace whatever its next bytes.
bool beginsWithTraceHeader(const uint8_t* head, size_t size) {
  MemoryByteSource source(head, size);
  HeaderRead read;
  return !readTraceHeader(source, read) || !readHeaderByText(source, read);
}

InputRefusal cannotOpen(const std::string& path, int error) {
  return {printableName(path) + ": cannot open: " + systemReason(error), error};
}

// Copies or decodes all that `fd` holds into a spool file, read by `input`.
std::optional<InputRefusal> spool(const std::string& path, int fd, const uint8_t* head,
                                  size_t headSize, const InputRules& rules, TraceInput& input) {
  SpoolFile spool;
  if (!spool.create()) {
    return InputRefusal{printableName(spool.folder()) +
                        ": cannot make a temporary file: " + systemReason(spool.error())};
  }
  DescriptorInput source(fd, head, headSize, rules.watch);
  int readError = 0;
  bool writeFailed = false;
  if (input.compression == Compression::None) {
    uint8_t chunk[1 << 16];
    for (long got; (got = source.read(chunk, sizeof chunk)) != 0;) {
      if (got < 0) {
        readError = errno;
        break;
      }
      if (!spool.write(chunk, static_cast<size_t>(got))) {
        writeFailed = true;
        break;
      }
    }
  } else {
    input.decoded = decodeStream(input.compression, source, spool, rules.atDamage);
    if (input.decoded.outOfMemory) return InputRefusal{"", ENOMEM};
    readError = input.decoded.readError;
    writeFailed = input.decoded.writeFailed;
  }
  if (readError == EINTR && rules.watch.received() != 0) {
    return InputRefusal{"", 0, rules.watch.received()};
  }
  if (readError != 0) return cannotOpen(path, readError);
  if (writeFailed) {
    return InputRefusal{printableName(spool.folder()) + ": cannot hold the trace's " +
                        (input.compression == Compression::None ? "copy" : "decoded bytes") + ": " +
                        systemReason(spool.error())};
  }
  int error = 0;
  if (!input.source.adopt(spool.release(), error)) return InputRefusal{"", error};
  return std::nullopt;
}

}  // namespace

std::optional<InputRefusal> openTraceInput(const std::string& path, const InputRules& rules,
                                           TraceInput& input) {
  const bool standardInput = rules.dashIsStdin && path == "-";
  if (standardInput && ::isatty(STDIN_FILENO)) {
    return InputRefusal{
        "-: cannot open: standard input is a terminal; pipe the trace in, or "
        "name it with -iFILE"};
  }
  Descriptor fd(standardInput ? ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0)
                              : ::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return cannotOpen(path, errno);
  if (::fstat(fd.get(), &input.given) != 0) return cannotOpen(path, errno);
  if (S_ISDIR(input.given.st_mode)) return cannotOpen(path, EISDIR);
  uint8_t head[kHeadSize];
  size_t size = 0;
  if (S_ISREG(input.given.st_mode)) {
    // The head is read through the source's window, which the conversion
    // reads on from. A read that fails is the conversion's to report.
    int error = 0;
    const int file = fd.release();
    if (!input.source.adopt(file, error)) return InputRefusal{"", error};
    size = input.source.readAt(0, head, sizeof head).bytes;
    input.compression =
        beginsWithTraceHeader(head, size) ? Compression::None : compressionOf(head, size);
    if (input.compression == Compression::None) return std::nullopt;
    // The rest of the compressed bytes follow the head.
    if (::lseek(file, static_cast<off_t>(size), SEEK_SET) < 0) return cannotOpen(path, errno);
    return spool(path, file, head, size, rules, input);
  }
  const long headSize = readFully(fd.get(), head, sizeof head, rules.watch);
  if (headSize < 0 && rules.watch.received() != 0) {
    return InputRefusal{"", 0, rules.watch.received()};
  }
  if (headSize < 0) return cannotOpen(path, errno);
  size = static_cast<size_t>(headSize);
  input.compression =
      beginsWithTraceHeader(head, size) ? Compression::None : compressionOf(head, size);
  return spool(path, fd.get(), head, size, rules, input);
}

}  // namespace qnvtab
