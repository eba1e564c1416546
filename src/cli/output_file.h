// The output table file: opened without ever truncating the input, written
// with plain system calls, every failure kept with the system's reason. A
// regular file whose write fails is cut back to its last whole line.
#ifndef QNVTAB_CLI_OUTPUT_FILE_H_
#define QNVTAB_CLI_OUTPUT_FILE_H_

#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "table/output_buffer.h"

namespace qnvtab {

class OutputFile : public ByteSink {
 public:
  OutputFile() = default;
  ~OutputFile() override;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates or empties `path`. Refuses a path that names the input file
  // itself (`input`, also through a link), leaving it untouched.
  bool open(const std::string& path, const struct stat& input);
  // Writes to standard output (-o-), refused when that is the input file.
  // What the shell opened there is left as it is, also on a failure.
  bool openStandardOutput(const struct stat& input);
  // Whether the open output is the file open as descriptor `fd`.
  bool isSameFileAs(int fd) const;
  int descriptor() const { return fd_; }

  bool write(const char* data, size_t size) override;
  // False when the close reports an error (a delayed write failure).
  bool close();

  // The system's reason for the last failure.
  int lastError() const override { return lastError_; }
  // Why open() failed: "the output is the input file", or the system's reason.
  std::string openFailureReason() const;

 private:
  void dropPartialLine();

  int fd_ = -1;
  int lastError_ = 0;
  bool namesInput_ = false;
  bool regular_ = false;
  uint64_t size_ = 0;     // bytes written
  uint64_t lineEnd_ = 0;  // just after the last line feed written
};

}  // namespace qnvtab

#endif  // QNVTAB_CLI_OUTPUT_FILE_H_
