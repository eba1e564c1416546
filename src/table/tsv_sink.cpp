#include "table/tsv_sink.h"

#include <cstring>

#include "table/table_header.h"

namespace qnvtab {

TsvSink::TsvSink(ByteSink& sink, size_t bufferCapacity, WorkerPool* workers)
    : sink_(sink), out_(sink, bufferCapacity > kMaxRowSize ? bufferCapacity : kMaxRowSize) {
  // Enough batches for every worker to format one while one is filled and
  // the oldest is written, and two more queued: when the converting thread
  // takes a queued batch while it waits, the workers still find one, and
  // need not sleep until the next is filled.
  if (workers != nullptr && workers->size() > 0) {
    batches_.emplace(*workers, workers->size() + 4, out_);
  }
}

void TsvSink::begin(const TraceHeader& header, TraceVersion version, const RowOptions& options) {
  formatter_.emplace(header, version, options);
  if (batches_) batches_->begin(*formatter_);
  writeTableHeader(options.informativeHeader ? &header : nullptr, options.dataFormat,
                   version.hasGmtOffsets(), out_);
}

bool TsvSink::write(const RecordRun& run) {
  if (batches_) {
    batches_->add(run);
    return !failed();
  }
  const layout::EventHeadLayout& head = formatter_->head();
  forEachRecord(run, head, [&](const RunRecord& record) {
    const EventRecord fields = decodeEventHead(record.bytes, head);
    char* cursor = out_.reserve(formatter_->maxRowSize(fields));
    out_.commit(formatter_->writeRow(record.number, fields, record.bytes, cursor));
  });
  return !failed();
}

bool TsvSink::finish() {
  if (batches_ && formatter_) batches_->finish();
  return out_.flush();
}

std::string TsvSink::failureReason() const { return std::strerror(sink_.lastError()); }

}  // namespace qnvtab
