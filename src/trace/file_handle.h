// Owning handle for a C stream: the stream is closed on every path.
#ifndef QNVTAB_TRACE_FILE_HANDLE_H_
#define QNVTAB_TRACE_FILE_HANDLE_H_

#include <cstdio>
#include <memory>

namespace qnvtab {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace qnvtab

#endif  // QNVTAB_TRACE_FILE_HANDLE_H_
