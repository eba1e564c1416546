// Rows formatted on a worker pool in batches and written strictly in the
// order of their records, as the serial table writer would: records are
// copied into a batch, a job writes the batch's rows into its own text
// buffer, and the output is written in batch order by the rules of
// parallel/ordered_jobs.h. The thread that adds records writes too when it
// runs a batch's job while it waits.
#ifndef QNVTAB_TABLE_ROW_BATCHES_H_
#define QNVTAB_TABLE_ROW_BATCHES_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "events/record_run.h"
#include "parallel/ordered_jobs.h"
#include "parallel/worker_pool.h"
#include "table/output_buffer.h"
#include "table/row_formatter.h"

namespace qnvtab {

class RowBatches {
 public:
  // A batch holds at most this many bytes of records, and of their rows.
  static constexpr size_t kRecordCapacity = size_t{192} << 10;
  static constexpr size_t kTextCapacity = size_t{1} << 20;

  // Keeps up to `depth` batches in flight, written to `out`.
  RowBatches(WorkerPool& pool, size_t depth, OutputBuffer& out);
  // Waits for the batches still in flight; their rows are not written.
  ~RowBatches();
  RowBatches(const RowBatches&) = delete;
  RowBatches& operator=(const RowBatches&) = delete;

  bool allocated() const { return storage_ != nullptr; }

  // Every batch formats with a copy of `formatter`.
  void begin(const RowFormatter& formatter);
  // Copies the records of `run`, waiting for the oldest batch when every
  // batch is in flight.
  void add(const RecordRun& run);
  // Formats and writes every row still held.
  void finish();
  // True once a write has failed; safe to ask while batches are in flight.
  bool failed() const { return failed_.load(std::memory_order_relaxed); }

 private:
  struct Segment {
    size_t end = 0;  // in the batch's records
    int32_t firstNumber = 0;
  };
  struct Batch : PoolJob {
    void run() override;
    void format();

    RowBatches* owner = nullptr;
    uint64_t sequence = 0;  // in the order of the records
    std::optional<RowFormatter> formatter;
    uint8_t* records = nullptr;  // kRecordCapacity bytes
    char* text = nullptr;        // kTextCapacity bytes
    std::vector<Segment> segments;
    size_t recordsUsed = 0;
    size_t textBound = 0;  // the most the rows of the records may take
    size_t textUsed = 0;
    uint32_t nextNumber = 0;
  };

  bool fits(const Batch& batch, uint32_t count, size_t size) const;
  void append(Batch& batch, const uint8_t* bytes, size_t size, uint32_t count, int32_t first);
  Batch& current() { return batches_.next(); }
  void submitCurrent();
  void recycleOldest();
  // By the writer of the order rules: the rows of the batch numbered
  // `sequence`.
  void write(uint64_t sequence);

  OutputBuffer& out_;
  std::atomic<bool> failed_ = false;
  std::unique_ptr<char[]> storage_;  // every batch's records and text
  InOrderWriter writer_;
  // Last: its jobs are waited for before anything they use goes.
  JobRing<Batch> batches_;
};

}  // namespace qnvtab

#endif  // QNVTAB_TABLE_ROW_BATCHES_H_
