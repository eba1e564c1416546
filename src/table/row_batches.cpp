#include "table/row_batches.h"

#include <cstring>
#include <new>

#include "events/event_record.h"

namespace qnvtab {

RowBatches::RowBatches(WorkerPool& pool, size_t depth, OutputBuffer& out)
    : pool_(pool),
      out_(out),
      storage_(new (std::nothrow) char[depth * (kRecordCapacity + kTextCapacity)]),
      batches_(depth) {
  if (!storage_) return;
  char* next = storage_.get();
  for (Batch& batch : batches_) {
    batch.owner = this;
    batch.records = reinterpret_cast<uint8_t*>(next);
    batch.text = next + kRecordCapacity;
    next += kRecordCapacity + kTextCapacity;
  }
}

RowBatches::~RowBatches() {
  for (; inFlight_ > 0; --inFlight_) {
    pool_.wait(batches_[oldest_]);
    oldest_ = (oldest_ + 1) % batches_.size();
  }
}

void RowBatches::begin(const RowFormatter& formatter) {
  for (Batch& batch : batches_) batch.formatter.emplace(formatter);
}

void RowBatches::Batch::run() {
  format();
  owner->writeInOrder(*this);
}

void RowBatches::Batch::format() {
  const layout::EventHeadLayout& head = formatter->head();
  char* out = text;
  size_t start = 0;
  for (const Segment& segment : segments) {
    const RecordRun run{records + start, segment.end - start, 0, segment.firstNumber};
    forEachRecord(run, head, [&](const RunRecord& record) {
      out = formatter->writeRow(record.number, decodeEventHead(record.bytes, head), record.bytes,
                                out);
    });
    start = segment.end;
  }
  textUsed = static_cast<size_t>(out - text);
}

void RowBatches::writeInOrder(Batch& batch) {
  std::unique_lock lock(writing_);
  batch.formatted = true;
  if (writerActive_) return;  // the active writer comes to this batch
  writerActive_ = true;
  for (;;) {
    Batch& next = batches_[nextToWrite_ % batches_.size()];
    if (next.sequence != nextToWrite_ || !next.formatted) break;
    lock.unlock();
    out_.writeThrough(next.text, next.textUsed);
    if (out_.failed()) failed_.store(true, std::memory_order_relaxed);
    lock.lock();
    next.formatted = false;
    ++nextToWrite_;
  }
  writerActive_ = false;
}

bool RowBatches::fits(const Batch& batch, uint32_t count, size_t size) const {
  return batch.recordsUsed + size <= kRecordCapacity &&
         batch.textBound + batch.formatter->maxRowsSize(count, size) <= kTextCapacity;
}

void RowBatches::append(Batch& batch, const uint8_t* bytes, size_t size, uint32_t count,
                        int32_t first) {
  std::memcpy(batch.records + batch.recordsUsed, bytes, size);
  batch.recordsUsed += size;
  batch.textBound += batch.formatter->maxRowsSize(count, size);
  // Numbers that do not follow on (rows left out before) begin a segment.
  if (batch.segments.empty() || batch.nextNumber != static_cast<uint32_t>(first)) {
    batch.segments.push_back({batch.recordsUsed, first});
  } else {
    batch.segments.back().end = batch.recordsUsed;
  }
  batch.nextNumber = static_cast<uint32_t>(first) + count;
}

void RowBatches::add(const RecordRun& run) {
  if (run.count == 0) return;
  if (!fits(current(), run.count, run.size) && current().recordsUsed > 0) submitCurrent();
  if (fits(current(), run.count, run.size)) {
    append(current(), run.bytes, run.size, run.count, run.firstNumber);
    return;
  }
  // A run larger than a batch goes in record by record; one record always
  // fits an empty batch.
  forEachRecord(run, current().formatter->head(), [&](const RunRecord& record) {
    if (!fits(current(), 1, record.size)) submitCurrent();
    append(current(), record.bytes, record.size, 1, record.number);
  });
}

void RowBatches::submitCurrent() {
  {
    // The writer reads the sequence of the batch it looks for: until it is
    // set here, a recycled batch carries its old, already written one.
    std::lock_guard lock(writing_);
    current().sequence = nextSequence_++;
  }
  pool_.submit(current());
  ++inFlight_;
  if (inFlight_ == batches_.size()) recycleOldest();
}

// The oldest batch's job is done, and with it every job before: so its
// rows are written (by its job, or by the job of a batch before it).
void RowBatches::recycleOldest() {
  Batch& oldest = batches_[oldest_];
  pool_.wait(oldest);
  oldest.segments.clear();
  oldest.recordsUsed = 0;
  oldest.textBound = 0;
  oldest_ = (oldest_ + 1) % batches_.size();
  --inFlight_;
}

void RowBatches::finish() {
  if (current().recordsUsed > 0) submitCurrent();
  while (inFlight_ > 0) recycleOldest();
}

}  // namespace qnvtab
