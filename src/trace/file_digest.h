// The SHA-256 of a whole byte source, as 64 lowercase hexadecimal digits:
// what tells one trace file from another whatever its name, so that a
// database holds each trace once.
#ifndef QNVTAB_TRACE_FILE_DIGEST_H_
#define QNVTAB_TRACE_FILE_DIGEST_H_

#include <string>

#include "trace/byte_source.h"

namespace qnvtab {

struct FileDigest {
  std::string sha256;  // empty when reading failed
  int error = 0;       // the system's reason then
};

// Reads `source` from its first byte to its end.
FileDigest sha256Of(ByteSource& source);

}  // namespace qnvtab

#endif  // QNVTAB_TRACE_FILE_DIGEST_H_
