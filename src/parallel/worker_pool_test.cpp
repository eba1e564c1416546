#include "parallel/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace qnvtab {
namespace {

// Runs until another job lets it go, or gives up after ten seconds.
struct HeldJob : PoolJob {
  void run() override {
    started.store(true);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!release.load() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::yield();
    }
    released = release.load();
  }

  std::atomic<bool> started = false;
  std::atomic<bool> release = false;
  bool released = false;
};

struct ReleasingJob : PoolJob {
  explicit ReleasingJob(HeldJob& held) : held(held) {}
  void run() override { held.release.store(true); }

  HeldJob& held;
};

// With the only worker busy on the job waited for, the waiting thread runs
// the job queued behind it rather than sleep.
TEST(WorkerPool, WaitingThreadRunsTheJobsQueuedBehind) {
  HeldJob held;
  ReleasingJob releasing(held);
  WorkerPool pool(1);
  ASSERT_EQ(pool.size(), 1u);
  pool.submit(held);
  while (!held.started.load()) std::this_thread::yield();
  pool.submit(releasing);
  pool.wait(held);
  EXPECT_TRUE(held.released);
  pool.wait(releasing);
}

}  // namespace
}  // namespace qnvtab
