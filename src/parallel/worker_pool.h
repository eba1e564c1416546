// A fixed set of threads that run queued jobs, oldest first. Jobs are
// independent computations: a worker never waits for another job, so the
// only thread that waits is the one that queued them, and always for a job
// already queued. That keeps the pool free of deadlocks by construction;
// parallel/ordered_jobs.h states how the jobs keep their order.
// The waiting thread runs queued jobs itself: it is one of the threads of
// the pool in all but name, and handing work to a sleeping thread costs a
// wake-up, which on a virtual machine can cost more than a small job.
#ifndef QNVTAB_PARALLEL_WORKER_POOL_H_
#define QNVTAB_PARALLEL_WORKER_POOL_H_

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace qnvtab {

class PoolJob {
 public:
  virtual ~PoolJob() = default;
  // Runs on a worker; touches nothing but the job's own members.
  virtual void run() = 0;

 private:
  friend class WorkerPool;
  bool done_ = true;  // guarded by the pool's mutex
};

class WorkerPool {
 public:
  // Starts up to `threads` workers (fewer when the system refuses more;
  // see size()). Workers block every signal, so that signals reach the
  // converting thread, which stops the run at a row boundary, as in a run
  // without workers.
  explicit WorkerPool(unsigned threads);
  // Lets the workers finish the queued jobs, then joins them.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  unsigned size() const { return static_cast<unsigned>(workers_.size()); }

  // The job must stay alive until wait() has returned for it.
  void submit(PoolJob& job);
  // Returns once `job` is done. Until then the caller, which would
  // otherwise sit idle, runs `job` if no worker has begun it, or else the
  // oldest job queued; it sleeps only when no job is left to take.
  void wait(PoolJob& job);

 private:
  void work();

  std::mutex mutex_;
  std::condition_variable queued_;
  std::condition_variable finished_;
  std::deque<PoolJob*> queue_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace qnvtab

#endif  // QNVTAB_PARALLEL_WORKER_POOL_H_
