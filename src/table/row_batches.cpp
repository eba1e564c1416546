#include "table/row_batches.h"

#include <cstring>
#include <new>

#include "events/event_record.h"

namespace qnvtab {

RowBatches::RowBatches(WorkerPool& pool, size_t depth, OutputBuffer& out)
    : out_(out),
      storage_(new (std::nothrow) char[depth * (kRecordCapacity + kTextCapacity)]),
      writer_(depth),
      batches_(pool, depth) {
  if (!storage_) return;
  char* next = storage_.get();
  for (Batch& batch : batches_.jobs()) {
    batch.owner = this;
    batch.records = reinterpret_cast<uint8_t*>(next);
    batch.text = next + kRecordCapacity;
    next += kRecordCapacity + kTextCapacity;
  }
}

RowBatches::~RowBatches() = default;

void RowBatches::begin(const RowFormatter& formatter) {
  for (Batch& batch : batches_.jobs()) batch.formatter.emplace(formatter);
}

void RowBatches::Batch::run() {
  format();
  owner->writer_.ready(sequence, [this](uint64_t next) { owner->write(next); });
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

// Batches are numbered in the order they are handed out, from the ring's
// first slot on, so batch `sequence` sits in slot `sequence` modulo the
// ring's size.
void RowBatches::write(uint64_t sequence) {
  const Batch& batch = batches_.jobs()[sequence % batches_.size()];
  out_.writeThrough(batch.text, batch.textUsed);
  if (out_.failed()) failed_.store(true, std::memory_order_relaxed);
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
  current().sequence = writer_.number();
  batches_.submitNext();
  if (batches_.full()) recycleOldest();
}

// A batch is filled again only once its rows are out: its job may have
// left them to a writer still at work on earlier ones.
void RowBatches::recycleOldest() {
  Batch& oldest = batches_.waitOldest();
  writer_.waitWritten(oldest.sequence);
  oldest.segments.clear();
  oldest.recordsUsed = 0;
  oldest.textBound = 0;
  batches_.releaseOldest();
}

void RowBatches::finish() {
  if (current().recordsUsed > 0) submitCurrent();
  while (batches_.inFlight() > 0) recycleOldest();
}

}  // namespace qnvtab
