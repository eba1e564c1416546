// Rows formatted on a worker pool in batches and written strictly in the
// order of their records, as the serial table writer would: records are
// copied into a batch, a worker writes the batch's rows into its own text
// buffer, and the oldest finished batch goes to the output first.
#ifndef QNVTAB_TABLE_ROW_BATCHES_H_
#define QNVTAB_TABLE_ROW_BATCHES_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "events/event_framer.h"
#include "parallel/worker_pool.h"
#include "table/output_buffer.h"
#include "table/row_formatter.h"

namespace qnvtab {

class RowBatches {
 public:
  // A batch holds at most this many bytes of records, and of their rows.
  static constexpr size_t kRecordCapacity = size_t{192} << 10;
  static constexpr size_t kTextCapacity = size_t{1} << 20;

  // Keeps up to `depth` batches in flight.
  RowBatches(WorkerPool& pool, size_t depth);
  // Waits for the batches still in flight; their rows are not written.
  ~RowBatches();
  RowBatches(const RowBatches&) = delete;
  RowBatches& operator=(const RowBatches&) = delete;

  bool allocated() const { return storage_ != nullptr; }
  size_t bufferSize() const { return batches_.size() * (kRecordCapacity + kTextCapacity); }

  // Every batch formats with a copy of `formatter`.
  void begin(const RowFormatter& formatter);
  // Copies the records of `run`; the rows of earlier batches that are
  // done may be written to `out` meanwhile.
  void add(const RecordRun& run, OutputBuffer& out);
  // Formats what is left and writes every row still held to `out`.
  void finish(OutputBuffer& out);

 private:
  struct Segment {
    size_t end = 0;  // in the batch's records
    int32_t firstNumber = 0;
  };
  struct Batch : PoolJob {
    void run() override;

    std::optional<RowFormatter> formatter;
    uint8_t* records = nullptr;  // kRecordCapacity bytes
    char* text = nullptr;        // kTextCapacity bytes
    std::vector<Segment> segments;
    size_t recordsUsed = 0;
    size_t textBound = 0;  // the most the rows of the records may take
    size_t textUsed = 0;
    uint32_t nextNumber = 0;
  };

  // The most bytes the rows of `count` records of `size` bytes may take.
  size_t textBoundOf(uint32_t count, size_t size) const;
  bool fits(const Batch& batch, uint32_t count, size_t size) const;
  void append(Batch& batch, const uint8_t* bytes, size_t size, uint32_t count, int32_t first);
  Batch& current() { return batches_[(oldest_ + inFlight_) % batches_.size()]; }
  void submitCurrent(OutputBuffer& out);
  void writeOldest(OutputBuffer& out);

  WorkerPool& pool_;
  std::unique_ptr<char[]> storage_;  // every batch's records and text
  std::vector<Batch> batches_;
  size_t oldest_ = 0;
  size_t inFlight_ = 0;
};

}  // namespace qnvtab

#endif  // QNVTAB_TABLE_ROW_BATCHES_H_
