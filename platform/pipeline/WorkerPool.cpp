#include "pipeline/WorkerPool.h"

namespace swd3d9 {
namespace pipeline {

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

void WorkerPool::setThreadCount(unsigned threads)
{
    const unsigned workers = threads > 1 ? threads - 1 : 0;
    if (workers == m_workers.size())
        return;
    stopWorkers();
    for (unsigned i = 0; i < workers; ++i)
        m_workers.emplace_back([this] { workerLoop(); });
}

// Takes task indices until none are left; called with the mutex held and
// returns with it held.
void WorkerPool::runTasks()
{
    while (m_next < m_count) {
        const unsigned index = m_next++;
        Task task = m_task;
        void* context = m_context;
        m_mutex.unlock();
        task(context, index);
        m_mutex.lock();
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
        runTasks();
        if (--m_busy == 0)
            m_done.notify_all();
    }
}

void WorkerPool::run(unsigned count, Task task, void* context)
{
    if (count == 0)
        return;
    if (m_workers.empty() || count == 1) {
        for (unsigned i = 0; i < count; ++i)
            task(context, i);
        return;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    m_task = task;
    m_context = context;
    m_count = count;
    m_next = 0;
    ++m_generation;
    m_wake.notify_all();
    ++m_busy;
    runTasks();
    --m_busy;
    m_done.wait(lock, [&] { return m_busy == 0 && m_next >= m_count; });
}

} // namespace pipeline
} // namespace swd3d9
