#pragma once

// Worker threads that run the tiles of a draw. The calling thread takes part,
// so a pool of one thread runs everything on the caller (the deterministic
// path of the tests); the tasks decide what is computed, never the thread
// that happens to run them.
//
// The pool never throws. A thread the system will not start leaves the pool
// with fewer workers (down to none: the caller alone). A task that throws
// ends the run early and makes run report the failure. A run that finds the
// pool busy (called from one of its own tasks, or from another thread while
// a run is in progress) runs its tasks on the calling thread alone, so it
// can neither wait for itself nor disturb the run in progress.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace swd3d9 {
namespace pipeline {

class WorkerPool
{
public:
    using Task = void (*)(void* context, unsigned index);

    WorkerPool() = default;
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Asks for this many threads, the caller included (0 counts as 1), and
    // returns how many there are: fewer when the system refuses to start
    // some. While a run is in progress nothing changes.
    unsigned setThreadCount(unsigned threads);
    unsigned threadCount() const { return static_cast<unsigned>(m_workers.size()) + 1; }

    // Runs task(context, i) for every i below count and returns when all
    // are done: true when every task returned normally. After a task
    // throws, tasks not yet started are skipped and the result is false.
    bool run(unsigned count, Task task, void* context);

private:
    void workerLoop();
    void runTasks(std::unique_lock<std::mutex>& lock);
    void stopWorkers();

    std::vector<std::thread> m_workers;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    uint64_t m_generation = 0;
    bool m_stopping = false;
    // A run on the workers is in progress.
    bool m_running = false;
    unsigned m_busy = 0;

    Task m_task = nullptr;
    void* m_context = nullptr;
    unsigned m_count = 0;
    unsigned m_next = 0;
    bool m_failed = false;
};

// For tests: worker threads that may still start before every later start
// fails as if the system had refused it; a negative count lifts the limit.
// Process-wide.
void limitWorkerThreadStarts(int64_t starts);

} // namespace pipeline
} // namespace swd3d9
