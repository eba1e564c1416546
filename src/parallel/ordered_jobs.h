// The ordering rules of all parallel work in qnvtab, stated once, and the
// two small mechanisms that keep them.
//
// Order. Work is cut into jobs in the order of the data (groups of blocks
// read ahead, batches of rows) and handed to the pool in that order, each
// with the next sequence number. Results are taken back oldest first: a
// JobRing's caller waits for its oldest job and no other, so it sees the
// results in data order whatever the thread count and the timing. Where
// jobs write their own results (the table's row batches), an
// InOrderWriter lets only the job whose result is next in sequence write,
// and that writer goes on to every later result already there: the output
// is in sequence order too, one writer at a time.
//
// Deadlock freedom. A job never waits, for another job or for the caller;
// only the caller waits, and only for the oldest job of its ring, which is
// queued or running. WorkerPool::wait runs queued jobs itself while it
// waits, so the oldest job runs even with no worker free. The writer never
// waits either: a result that comes while another job writes is left to
// that writer, which looks for it before it lets go.
//
// A job that leaves its result to the active writer is done before its
// result is written, so an owner that writes through an InOrderWriter
// reuses a job only once waitWritten() says its result is out; the writer
// is a running job that never waits, so that wait ends.
#ifndef QNVTAB_PARALLEL_ORDERED_JOBS_H_
#define QNVTAB_PARALLEL_ORDERED_JOBS_H_

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "parallel/worker_pool.h"

namespace qnvtab {

// Jobs in flight on a pool, handed out and taken back in ring order.
template <typename Job>
class JobRing {
 public:
  JobRing(WorkerPool& pool, size_t size) : pool_(pool), jobs_(size) {}
  // Waits for the jobs still in flight.
  ~JobRing() { drain(); }
  JobRing(const JobRing&) = delete;
  JobRing& operator=(const JobRing&) = delete;

  // Every job, to set them up before any is in flight.
  std::vector<Job>& jobs() { return jobs_; }
  size_t size() const { return jobs_.size(); }
  size_t inFlight() const { return inFlight_; }
  bool full() const { return inFlight_ == jobs_.size(); }

  // The job to fill next; valid while the ring is not full.
  Job& next() { return jobs_[(oldest_ + inFlight_) % jobs_.size()]; }
  // Hands next() to the pool.
  void submitNext() {
    pool_.submit(next());
    ++inFlight_;
  }
  // The oldest job in flight, once it is done.
  Job& waitOldest() {
    pool_.wait(jobs_[oldest_]);
    return jobs_[oldest_];
  }
  const Job& oldest() const { return jobs_[oldest_]; }
  // The oldest job, waited for, may be filled again.
  void releaseOldest() {
    oldest_ = (oldest_ + 1) % jobs_.size();
    --inFlight_;
  }
  // Waits for every job in flight; `done(job)` for each, oldest first.
  template <typename Done>
  void drain(Done&& done) {
    while (inFlight_ > 0) {
      done(waitOldest());
      releaseOldest();
    }
  }
  void drain() {
    drain([](Job&) {});
  }

 private:
  WorkerPool& pool_;
  std::vector<Job> jobs_;
  size_t oldest_ = 0;
  size_t inFlight_ = 0;
};

// Results written in sequence order by whichever job finds its own next:
// the writer baton of the order rules above. Sequence numbers are given
// out by number(), in the order the jobs are handed to the pool, and at
// most `window` of them are unwritten at once.
class InOrderWriter {
 public:
  explicit InOrderWriter(size_t window) : ready_(window, 0) {}

  // The sequence number of the next job handed out.
  uint64_t number() { return nextNumber_++; }
  // Called by job `sequence` once its result is ready: writes it with
  // `write(sequence)` if it is next, and every later ready one after it,
  // unless another job is writing, which then comes to it.
  template <typename Write>
  void ready(uint64_t sequence, Write&& write) {
    std::unique_lock lock(mutex_);
    ready_[sequence % ready_.size()] = 1;
    if (writing_) return;
    writing_ = true;
    while (ready_[nextToWrite_ % ready_.size()] != 0) {
      lock.unlock();
      write(nextToWrite_);
      lock.lock();
      ready_[nextToWrite_ % ready_.size()] = 0;
      ++nextToWrite_;
      written_.notify_all();
    }
    writing_ = false;
  }
  // Returns once the result of job `sequence` is written.
  void waitWritten(uint64_t sequence) {
    std::unique_lock lock(mutex_);
    written_.wait(lock, [&] { return nextToWrite_ > sequence; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable written_;
  std::vector<uint8_t> ready_;  // per sequence modulo the window; guarded by mutex_
  uint64_t nextToWrite_ = 0;    // guarded by mutex_
  bool writing_ = false;        // guarded by mutex_
  uint64_t nextNumber_ = 0;     // the caller's alone
};

}  // namespace qnvtab

#endif  // QNVTAB_PARALLEL_ORDERED_JOBS_H_
