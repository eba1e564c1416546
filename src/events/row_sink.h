// The seam between the event stream and an output: a sink receives the
// trace's header once, then runs of whole numbered records in file order.
// Every output format is a sink; the run knows none of them.
#ifndef QNVTAB_EVENTS_ROW_SINK_H_
#define QNVTAB_EVENTS_ROW_SINK_H_

#include <cstdint>
#include <string>
#include <vector>

#include "events/record_run.h"
#include "trace/trace_header.h"
#include "trace/trace_version.h"

namespace qnvtab {

enum class DataFormat : int { Hex = 0, Ascii = 1, HexAscii = 2 };

// How rows are shown, as the command line asks for them.
struct RowOptions {
  bool informativeHeader = false;          // -th
  bool timesRelativeToFirstEvent = false;  // -ferts
  DataFormat dataFormat = DataFormat::Hex;  // -d
};

// Something the reader of an output should know of it: `count` times
// `what`, e.g. 3 times "dumps longer than a cell's 32767 characters cut
// after a whole byte and marked with ' ...'".
struct OutputWarning {
  uint64_t count = 0;
  std::string what;
};

class RowSink {
 public:
  virtual ~RowSink() = default;
  // Before any run. `options` are those the trace's version supports.
  virtual void begin(const TraceHeader& header, TraceVersion version,
                     const RowOptions& options) = 0;
  // Whether to go on: false once the output has failed (failed() says
  // so), or once no later record can be written, where reading ends as at
  // the end of the trace, with nothing lost.
  virtual bool write(const RecordRun& run) = 0;
  // True once the output has failed.
  virtual bool failed() const = 0;
  // Writes out what is still held; false when the output failed.
  virtual bool finish() = 0;
  // Why the output failed, once it has: the system's or a library's reason.
  virtual std::string failureReason() const = 0;
  // What the output's reader should know of it, once finished.
  virtual std::vector<OutputWarning> warnings() const { return {}; }
};

}  // namespace qnvtab

#endif  // QNVTAB_EVENTS_ROW_SINK_H_
