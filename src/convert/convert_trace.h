// One conversion, from the header check to the last row: the block loop
// that reads, checks and expands every block and hands the records it
// completes to a row sink. Knows nothing of file names or the console.
#ifndef QNVTAB_CONVERT_CONVERT_TRACE_H_
#define QNVTAB_CONVERT_CONVERT_TRACE_H_

#include <cstdint>
#include <optional>

#include "convert/salvage.h"
#include "events/row_sink.h"
#include "parallel/worker_pool.h"
#include "trace/byte_source.h"
#include "trace/trace_footer.h"
#include "trace/trace_header.h"
#include "trace/trace_fault.h"

namespace qnvtab {

struct ConversionSettings {
  RowOptions rows;
  // Go on past damage (reported to the reporter given to convertTrace)
  // instead of stopping at the first fault.
  bool salvage = false;
  // Threads that read ahead and expand blocks; without them, or with an
  // empty pool, every block is expanded in turn by the calling thread.
  WorkerPool* workers = nullptr;
};

struct ConversionOutcome {
  std::optional<Fault> fault;  // the fault that ended the run
  bool writeFailed = false;    // the sink's output failed
  // -th or -ferts asked for on a trace whose version does not support them.
  bool optionsSwitchedOff = false;
  // The observer asked to stop; the rows of the blocks before are written.
  bool stopped = false;
  int32_t events = 0;
  // Bytes of an incomplete last event left when the blocks ran out.
  uint64_t droppedBytes = 0;
  SalvageSummary salvage;  // with salvage on
  BlockTally blocks;       // the blocks read, checked and expanded
  // The header as taken (by its text alone too, where salvage confirmed
  // it), and the footer when its checksum is right.
  std::optional<HeaderRead> header;
  std::optional<TraceFooter> footer;
};

// Observes a conversion block by block, e.g. to show progress.
class ConversionObserver {
 public:
  virtual ~ConversionObserver() = default;
  // `blockBytes` of the footer's `dataLength` have been read, block headers
  // included, and `events` rows written.
  virtual void blockConverted(uint64_t blockBytes, uint32_t dataLength, int32_t events) = 0;
  // Asked before each block: true ends the run there, at a row boundary.
  virtual bool stopRequested() { return false; }
};

// Converts the trace in `source` into `sink`, which is finished before
// returning. Without salvage the first fault of the input ends the run and
// is returned; rows written before it stay. With salvage, `reporter` hears
// of every incident as it is met.
ConversionOutcome convertTrace(ByteSource& source, const ConversionSettings& settings,
                               RowSink& sink, ConversionObserver* observer = nullptr,
                               IncidentReporter* reporter = nullptr);

}  // namespace qnvtab

#endif  // QNVTAB_CONVERT_CONVERT_TRACE_H_
