// One conversion, from the header check to the last row: the block loop
// that reads, checks and expands every block and hands the records it
// completes to a row sink. Knows nothing of file names or the console.
#ifndef QNVTAB_CONVERT_CONVERT_TRACE_H_
#define QNVTAB_CONVERT_CONVERT_TRACE_H_

#include <cstdint>
#include <optional>

#include "events/row_sink.h"
#include "trace/byte_source.h"
#include "trace/trace_fault.h"

namespace qnvtab {

struct ConversionSettings {
  RowOptions rows;
};

struct ConversionOutcome {
  std::optional<Fault> fault;  // the fault that ended the run
  bool writeFailed = false;    // the sink's output failed
  // -th or -ferts asked for on a trace whose version does not support them.
  bool optionsSwitchedOff = false;
  int32_t events = 0;
  // Bytes of an incomplete last event left when the blocks ran out.
  uint64_t droppedBytes = 0;
};

// Observes a conversion block by block, e.g. to show progress.
class ConversionObserver {
 public:
  virtual ~ConversionObserver() = default;
  // `blockBytes` of the footer's `dataLength` have been read, block headers
  // included, and `events` rows written.
  virtual void blockConverted(uint64_t blockBytes, uint32_t dataLength, int32_t events) = 0;
};

// Converts the trace in `source` into `sink`, which is finished before
// returning. The first fault of the input ends the run and is returned;
// rows written before it stay.
ConversionOutcome convertTrace(ByteSource& source, const ConversionSettings& settings,
                               RowSink& sink, ConversionObserver* observer = nullptr);

}  // namespace qnvtab

#endif  // QNVTAB_CONVERT_CONVERT_TRACE_H_
