// How a trace's bytes reach its run. A plain trace in a file is read where
// it lies. A compressed one (gzip, zstd, xz, told by their magic bytes once
// the bytes are not a trace's header), or any trace on standard input, is
// first decoded or copied into a temporary file under TMPDIR, so that the
// conversion may read it at any offset as it reads a file. That file has
// no name from the start: nothing of it is left behind, however the
// process ends.
#ifndef QNVTAB_CLI_TRACE_INPUT_H_
#define QNVTAB_CLI_TRACE_INPUT_H_

#include <sys/stat.h>

#include <optional>
#include <string>

#include "cli/interruption.h"
#include "decompress/stream_decoder.h"
#include "trace/byte_source.h"

namespace qnvtab {

struct TraceInput {
  FileByteSource source;  // the trace's own bytes
  // The file or pipe given, which no output may be.
  struct stat given {};
  Compression compression = Compression::None;
  DecodedStream decoded;  // with a compression
};

struct InputRefusal {
  std::string diagnosis;  // "PATH: cannot open: REASON", as standard error shows it
  int error = 0;          // ENOMEM: the machine lacks the memory, not a fault
  int signal = 0;         // a signal came while the bytes were read: not a fault
};

struct InputRules {
  bool dashIsStdin = true;             // "-" is standard input
  AtDamage atDamage = AtDamage::Stop;  // for a compressed trace
  const InterruptionWatch& watch;      // asked while a pipe is read
};

// Opens `path` into `input`.
std::optional<InputRefusal> openTraceInput(const std::string& path, const InputRules& rules,
                                           TraceInput& input);

}  // namespace qnvtab

#endif  // QNVTAB_CLI_TRACE_INPUT_H_
