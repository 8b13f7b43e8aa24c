#include "batch/worker_pool.hpp"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace jdpricer {

namespace {

class WorkerPool {
 public:
  // Runs `task` on a pool thread: an idle one, or a new one while the pool
  // has fewer than `maxThreads` (calls from several threads at once each
  // get theirs); otherwise it queues.
  void submit(std::function<void()> task, std::size_t maxThreads) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (idle_ <= tasks_.size() && threads_.size() < maxThreads) {
      threads_.emplace_back([this] { serve(); });
    }
    tasks_.push_back(std::move(task));
    wake_.notify_one();
  }

  // Lets the threads drain the queue, then joins them.
  void shutdown() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quitting_ = true;
      wake_.notify_all();
    }
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
    quitting_ = false;
  }

  std::size_t threads() {
    std::lock_guard<std::mutex> lock(mutex_);
    return threads_.size();
  }

 private:
  void serve() {
    for (;;) {
      std::function<void()> task;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ++idle_;
        wake_.wait(lock, [this] { return quitting_ || !tasks_.empty(); });
        --idle_;
        if (tasks_.empty()) return;  // quitting, nothing left
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();  // never throws: runSegmentJobs' tasks catch everything
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  std::vector<std::thread> threads_;
  std::size_t idle_ = 0;  // threads waiting for a task
  bool quitting_ = false;
};

// The pool of this process, and the lock under which it is created or shut
// down. Held across fork() (see forkHandlers).
std::mutex creationMutex;
WorkerPool* currentPool = nullptr;  // never deleted (see the header)

void lockForFork() { creationMutex.lock(); }
void unlockAfterFork() { creationMutex.unlock(); }
void forgetPoolInChild() {
  currentPool = nullptr;  // its threads are the parent's
  creationMutex.unlock();
}

WorkerPool& pool() {
  static const bool registered = [] {
    return pthread_atfork(lockForFork, unlockAfterFork, forgetPoolInChild) == 0;
  }();
  (void)registered;
  std::lock_guard<std::mutex> lock(creationMutex);
  if (currentPool == nullptr) currentPool = new WorkerPool;
  return *currentPool;
}

constexpr std::size_t kThreadsPerCore = 4;

// What the jobs of one call share; kept alive by every task that uses it.
struct CallState {
  std::mutex mutex;
  std::condition_variable finished;
  std::size_t running = 0;  // pool jobs not yet returned
  std::exception_ptr error;
  std::atomic<bool> stop{false};
};

}  // namespace

void runSegmentJobs(std::size_t segments, const SegmentJob& job,
                    const std::function<void()>& poll) {
  if (segments == 0) return;
  if (segments == 1) {
    const std::atomic<bool> never{false};
    job(0, never, poll);
    return;
  }
  auto state = std::make_shared<CallState>();
  state->running = segments - 1;
  static const std::function<void()> nothing = [] {};
  auto waitForAll = [&state] {
    std::unique_lock<std::mutex> lock(state->mutex);
    state->finished.wait(lock, [&state] { return state->running == 0; });
  };
  // Beyond this many threads in the pool, segments queue for the ones there are.
  const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t threads = kThreadsPerCore * cores;
  WorkerPool& workers = pool();
  for (std::size_t s = 1; s < segments; ++s) {
    try {
      workers.submit(
        [state, &job, s] {
          try {
            if (!state->stop.load(std::memory_order_relaxed)) job(s, state->stop, nothing);
          } catch (...) {
            std::lock_guard<std::mutex> lock(state->mutex);
            if (!state->error) state->error = std::current_exception();
            state->stop.store(true);
          }
          std::lock_guard<std::mutex> lock(state->mutex);
          --state->running;
          state->finished.notify_all();
        },
        threads);
    } catch (...) {  // no thread or no memory for the task: end the call
      {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->running -= segments - s;
        state->stop.store(true);
      }
      waitForAll();
      throw;
    }
  }
  try {
    job(0, state->stop, poll);
    std::unique_lock<std::mutex> lock(state->mutex);
    while (state->running > 0) {
      if (state->finished.wait_for(lock, std::chrono::milliseconds(5),
                                   [&state] { return state->running == 0; })) {
        break;
      }
      lock.unlock();
      poll();
      lock.lock();
    }
  } catch (...) {
    state->stop.store(true);
    waitForAll();
    throw;
  }
  if (state->error) std::rethrow_exception(state->error);
}

void shutdownWorkerPool() {
  std::lock_guard<std::mutex> lock(creationMutex);
  if (currentPool != nullptr) currentPool->shutdown();
}

std::size_t workerPoolThreads() {
  std::lock_guard<std::mutex> lock(creationMutex);
  return currentPool != nullptr ? currentPool->threads() : 0;
}

}  // namespace jdpricer
