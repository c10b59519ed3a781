// The drawing threads' pool: every task runs once, a task that throws is
// reported and leaves the pool ready for the next run, a run from inside a
// task or from another thread while the pool is busy runs on its caller, and
// threads that cannot start leave fewer workers.

#include "pipeline/WorkerPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

using swd3d9::pipeline::WorkerPool;
using swd3d9::pipeline::limitWorkerThreadStarts;

namespace {

struct Counts {
    std::vector<std::atomic<int>> runs;
    explicit Counts(unsigned n) : runs(n) {}
    static void count(void* context, unsigned index) { ++static_cast<Counts*>(context)->runs[index]; }
};

// Task `index` throws when it is the chosen one, after counting itself.
struct Throwing {
    Counts counts;
    unsigned thrower;
    static void task(void* context, unsigned index)
    {
        auto& self = *static_cast<Throwing*>(context);
        Counts::count(&self.counts, index);
        if (index == self.thrower)
            throw std::runtime_error("task failed");
    }
};

} // namespace

TEST(WorkerPool, RunsEveryTaskOnceWhateverTheThreadCount)
{
    for (unsigned threads : {1u, 2u, 5u}) {
        WorkerPool pool;
        ASSERT_EQ(threads, pool.setThreadCount(threads));
        for (unsigned count : {0u, 1u, 3u, 257u}) {
            Counts counts(count);
            EXPECT_TRUE(pool.run(count, Counts::count, &counts));
            for (unsigned i = 0; i < count; ++i)
                EXPECT_EQ(1, counts.runs[i].load()) << threads << " threads, task " << i << " of " << count;
        }
    }
}

TEST(WorkerPool, ATaskThatThrowsFailsItsRunAndLeavesThePoolReady)
{
    WorkerPool pool;
    pool.setThreadCount(4);
    // Many rounds, the thrower early, late and in between, to catch a count
    // left raised or a lock released twice (the next run would hang or
    // fail).
    for (unsigned round = 0; round < 300; ++round) {
        Throwing job{Counts(64), (round * 7) % 64};
        EXPECT_FALSE(pool.run(64, Throwing::task, &job)) << "round " << round;
        EXPECT_EQ(1, job.counts.runs[job.thrower].load());
        for (unsigned i = 0; i < 64; ++i)
            EXPECT_LE(job.counts.runs[i].load(), 1);
        Counts after(64);
        ASSERT_TRUE(pool.run(64, Counts::count, &after)) << "round " << round;
        for (unsigned i = 0; i < 64; ++i)
            ASSERT_EQ(1, after.runs[i].load());
    }
    // The calling-thread path reports the same way.
    WorkerPool alone;
    Throwing job{Counts(3), 1};
    EXPECT_FALSE(alone.run(3, Throwing::task, &job));
    EXPECT_EQ(0, job.counts.runs[2].load()) << "tasks after a failure are skipped";
}

TEST(WorkerPool, ARunFromInsideATaskRunsOnItsCaller)
{
    WorkerPool pool;
    pool.setThreadCount(3);
    struct Nested {
        WorkerPool* pool;
        Counts inner{8 * 16};
        std::atomic<int> failures{0};
        std::atomic<int> sameThread{0};
        static void outerTask(void* context, unsigned index)
        {
            auto& self = *static_cast<Nested*>(context);
            struct Slice {
                Nested* nested;
                unsigned base;
                std::thread::id caller;
            } slice{&self, index * 16, std::this_thread::get_id()};
            const bool ok = self.pool->run(
                16,
                [](void* c, unsigned i) {
                    auto& s = *static_cast<Slice*>(c);
                    Counts::count(&s.nested->inner, s.base + i);
                    if (std::this_thread::get_id() == s.caller)
                        ++s.nested->sameThread;
                },
                &slice);
            if (!ok)
                ++self.failures;
            // Changing the threads of a busy pool changes nothing.
            self.pool->setThreadCount(7);
        }
    } nested;
    nested.pool = &pool;
    ASSERT_TRUE(pool.run(8, Nested::outerTask, &nested));
    EXPECT_EQ(0, nested.failures.load());
    EXPECT_EQ(8 * 16, nested.sameThread.load());
    for (unsigned i = 0; i < 8 * 16; ++i)
        EXPECT_EQ(1, nested.inner.runs[i].load());
    EXPECT_EQ(3u, pool.threadCount());
}

TEST(WorkerPool, ARunFromAnotherThreadWhileBusyRunsOnThatThread)
{
    WorkerPool pool;
    pool.setThreadCount(3);
    // The first run holds the pool until the second one has finished.
    struct Blocking {
        std::atomic<bool> started{false}, release{false};
        static void task(void* context, unsigned)
        {
            auto& self = *static_cast<Blocking*>(context);
            self.started = true;
            while (!self.release)
                std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    } blocking;
    std::thread first([&] { EXPECT_TRUE(pool.run(4, Blocking::task, &blocking)); });
    while (!blocking.started)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    struct OnCaller {
        std::thread::id caller = std::this_thread::get_id();
        std::atomic<int> elsewhere{0};
        static void task(void* context, unsigned)
        {
            auto& self = *static_cast<OnCaller*>(context);
            if (std::this_thread::get_id() != self.caller)
                ++self.elsewhere;
        }
    } second;
    EXPECT_TRUE(pool.run(32, OnCaller::task, &second));
    EXPECT_EQ(0, second.elsewhere.load());
    blocking.release = true;
    first.join();
    Counts after(40);
    EXPECT_TRUE(pool.run(40, Counts::count, &after));
    for (unsigned i = 0; i < 40; ++i)
        EXPECT_EQ(1, after.runs[i].load());
}

TEST(WorkerPool, ThreadsThatCannotStartLeaveFewerWorkers)
{
    WorkerPool pool;
    limitWorkerThreadStarts(2);
    EXPECT_EQ(3u, pool.setThreadCount(8));
    limitWorkerThreadStarts(0);
    EXPECT_EQ(1u, pool.setThreadCount(4));
    Counts counts(100);
    EXPECT_TRUE(pool.run(100, Counts::count, &counts));
    for (unsigned i = 0; i < 100; ++i)
        EXPECT_EQ(1, counts.runs[i].load());
    limitWorkerThreadStarts(-1);
    EXPECT_EQ(4u, pool.setThreadCount(4));
}
