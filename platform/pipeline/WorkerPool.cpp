#include "pipeline/WorkerPool.h"

#include <atomic>
#include <exception>

namespace swd3d9 {
namespace pipeline {

namespace {

std::atomic<int64_t> g_threadStartsLeft{-1};

// Takes one start from the test limit; false once the limit is used up.
bool threadStartAllowed()
{
    int64_t left = g_threadStartsLeft.load();
    while (left > 0) {
        if (g_threadStartsLeft.compare_exchange_weak(left, left - 1))
            return true;
    }
    return left < 0;
}

// Runs one task; false when it threw. Nothing a task throws may reach a
// worker thread's entry (that would terminate the process) or the caller.
bool runTask(WorkerPool::Task task, void* context, unsigned index) noexcept
{
    try {
        task(context, index);
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

void limitWorkerThreadStarts(int64_t starts) { g_threadStartsLeft.store(starts < 0 ? -1 : starts); }

WorkerPool::~WorkerPool() { stopWorkers(); }

void WorkerPool::stopWorkers()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_workers)
        t.join();
    m_workers.clear();
    m_stopping = false;
}

unsigned WorkerPool::setThreadCount(unsigned threads)
{
    const unsigned workers = threads > 1 ? threads - 1 : 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_running || workers == m_workers.size())
            return threadCount();
        // Runs from other threads meanwhile stay on their own thread.
        m_running = true;
    }
    stopWorkers();
    try {
        m_workers.reserve(workers);
    } catch (const std::exception&) {
        // Threads are still started one by one while memory allows.
    }
    for (unsigned i = 0; i < workers; ++i) {
        if (!threadStartAllowed())
            break;
        // std::thread reports a thread the system will not start with
        // std::system_error, and its own state that cannot be allocated
        // with std::bad_alloc; either way the pool keeps the threads it has.
        try {
            m_workers.emplace_back([this] { workerLoop(); });
        } catch (const std::exception&) {
            break;
        }
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_running = false;
    return threadCount();
}

// Takes task indices until none are left; called with the lock held and
// returns with it held.
void WorkerPool::runTasks(std::unique_lock<std::mutex>& lock)
{
    while (m_next < m_count) {
        const unsigned index = m_next++;
        Task task = m_task;
        void* context = m_context;
        lock.unlock();
        const bool succeeded = runTask(task, context, index);
        lock.lock();
        if (!succeeded) {
            // Tasks not yet handed out are dropped; those running finish.
            m_failed = true;
            m_next = m_count;
        }
    }
}

void WorkerPool::workerLoop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    uint64_t seen = m_generation;
    for (;;) {
        m_wake.wait(lock, [&] { return m_stopping || m_generation != seen; });
        if (m_stopping)
            return;
        seen = m_generation;
        ++m_busy;
        runTasks(lock);
        if (--m_busy == 0)
            m_done.notify_all();
    }
}

bool WorkerPool::run(unsigned count, Task task, void* context)
{
    if (count == 0)
        return true;
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_running || m_workers.empty() || count == 1) {
        lock.unlock();
        for (unsigned i = 0; i < count; ++i) {
            if (!runTask(task, context, i))
                return false;
        }
        return true;
    }
    m_running = true;
    m_task = task;
    m_context = context;
    m_count = count;
    m_next = 0;
    m_failed = false;
    ++m_generation;
    m_wake.notify_all();
    ++m_busy;
    runTasks(lock);
    --m_busy;
    m_done.wait(lock, [&] { return m_busy == 0 && m_next >= m_count; });
    m_running = false;
    return !m_failed;
}

} // namespace pipeline
} // namespace swd3d9
