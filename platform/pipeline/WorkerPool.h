#pragma once

// Worker threads that run the tiles of a draw. The calling thread takes part,
// so a pool of one thread runs everything on the caller (the deterministic
// path of the tests); the tasks decide what is computed, never the thread
// that happens to run them.

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

    // Threads that run tasks, the caller included (0 counts as 1).
    void setThreadCount(unsigned threads);
    unsigned threadCount() const { return static_cast<unsigned>(m_workers.size()) + 1; }

    // Runs task(context, i) for every i below count and returns when all are done.
    void run(unsigned count, Task task, void* context);

private:
    void workerLoop();
    void runTasks();
    void stopWorkers();

    std::vector<std::thread> m_workers;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    uint64_t m_generation = 0;
    bool m_stopping = false;
    unsigned m_busy = 0;

    Task m_task = nullptr;
    void* m_context = nullptr;
    unsigned m_count = 0;
    unsigned m_next = 0;
};

} // namespace pipeline
} // namespace swd3d9
