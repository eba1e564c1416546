// The exact TSV table as a row sink: the optional informative header, the
// title line, then one row per event, into a large output buffer. Given
// workers, rows are formatted on them in batches and written in order.
#ifndef QNVTAB_TABLE_TSV_SINK_H_
#define QNVTAB_TABLE_TSV_SINK_H_

#include <cstdint>
#include <optional>

#include "events/row_sink.h"
#include "parallel/worker_pool.h"
#include "table/output_buffer.h"
#include "table/row_batches.h"
#include "table/row_formatter.h"

namespace qnvtab {

class TsvSink : public RowSink {
 public:
  // The buffer always has room for the widest row.
  static constexpr size_t kMaxRowSize = RowFormatter::kMaxRowSize;

  explicit TsvSink(ByteSink& sink, size_t bufferCapacity = OutputBuffer::kDefaultCapacity,
                   WorkerPool* workers = nullptr);

  // False when the output buffer could not be allocated.
  bool allocated() const { return out_.allocated() && (!batches_ || batches_->allocated()); }

  void begin(const TraceHeader& header, TraceVersion version, const RowOptions& options) override;
  bool write(const RecordRun& run) override;
  // With batches, the output is written on the workers until finish().
  bool failed() const override { return batches_ ? batches_->failed() : out_.failed(); }
  bool finish() override;
  std::string failureReason() const override;

 private:
  ByteSink& sink_;
  OutputBuffer out_;
  std::optional<RowFormatter> formatter_;
  std::optional<RowBatches> batches_;
};

}  // namespace qnvtab

#endif  // QNVTAB_TABLE_TSV_SINK_H_
