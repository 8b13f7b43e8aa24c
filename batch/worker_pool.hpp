// The library's own threads: one process-wide pool, started on first use
// and reused by every call, that runs the parts of a book side by side.
//
// Lifetime. The pool is created lazily and starts a thread whenever a task
// finds no idle one, up to four threads per core (beyond, tasks queue), so
// that calls made from several threads at once each get their workers. shutdownWorkerPool() joins every thread
// (the Python module calls it at interpreter exit); a later call starts a
// new pool. The pool object itself is never destroyed by a static
// destructor, so a process that exits without the shutdown (os._exit, a
// crash) never runs into joinable threads.
//
// fork. Only the forking thread survives in a child: the child drops the
// parent's pool (its threads do not exist there; the memory is left alone)
// and starts a new one on first use, so a child forked after a
// multi-worker call still prices. The pool's creation lock is held across
// fork() so that the child never inherits it locked.
//
// Stopping. runSegmentJobs runs job 0 on the calling thread, which calls
// `poll` between its chunks and, once its own part is done, every few
// milliseconds while it waits for the others; an exception from poll (an
// interrupt) or from any job sets the stop flag that every job checks
// between chunks, waits for every job to return, and is rethrown. Jobs
// return within a chunk (milliseconds), their storage freed.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>

namespace jdpricer {

// One part of a call's work. `stop` is set when the call is ending early;
// `betweenChunks` is to be called between chunks (it may throw).
using SegmentJob = std::function<void(std::size_t segment, const std::atomic<bool>& stop,
                                      const std::function<void()>& betweenChunks)>;

// Runs job(0 .. segments - 1), job 0 on the calling thread (betweenChunks =
// poll) and the others on the pool (betweenChunks does nothing); returns
// once all have returned, rethrowing the first exception.
void runSegmentJobs(std::size_t segments, const SegmentJob& job, const std::function<void()>& poll);

// Joins the pool's threads; the next runSegmentJobs with more than one
// segment starts them again.
void shutdownWorkerPool();

// Threads the pool holds now (for tests of its lifetime).
std::size_t workerPoolThreads();

}  // namespace jdpricer
