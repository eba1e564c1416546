#include "parallel/worker_pool.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <system_error>

namespace qnvtab {

WorkerPool::WorkerPool(unsigned threads) {
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  // New threads inherit the mask of the thread that creates them.
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  workers_.reserve(threads);
  for (unsigned i = 0; i < threads; ++i) {
    try {
      workers_.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
      break;  // the system gives no more threads: run with those started
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  queued_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void WorkerPool::submit(PoolJob& job) {
  {
    std::lock_guard lock(mutex_);
    job.done_ = false;
    queue_.push_back(&job);
  }
  queued_.notify_one();
}

void WorkerPool::wait(PoolJob& job) {
  std::unique_lock lock(mutex_);
  while (!job.done_) {
    if (queue_.empty()) {
      finished_.wait(lock);
      continue;
    }
    const auto queued = std::find(queue_.begin(), queue_.end(), &job);
    const auto taken = queued != queue_.end() ? queued : queue_.begin();
    PoolJob& next = **taken;
    queue_.erase(taken);
    lock.unlock();
    next.run();
    lock.lock();
    next.done_ = true;
  }
}

void WorkerPool::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;
    PoolJob* job = queue_.front();
    queue_.pop_front();
    lock.unlock();
    job->run();
    lock.lock();
    job->done_ = true;
    finished_.notify_all();
  }
}

}  // namespace qnvtab
