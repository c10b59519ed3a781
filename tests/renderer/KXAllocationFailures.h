#pragma once

// Allocations that fail on demand, for the tests of what the library does
// when memory runs out.
//
// This header replaces the global operator new and delete of the program
// (every form: plain, array, nothrow, sized, aligned) with ones that take
// memory from malloc and give it back with free, so that the sanitizers
// still see every block. It must be included by exactly one source file of
// a test program; a second one is a duplicate-symbol link error.
//
// A FailingAllocations object arms the failures while it lives: after a
// number of allocations that go through, the next ones fail (all of them,
// or a given number), on the calling thread only or on every thread. With
// no failure asked for, it only counts, which is how a test finds the
// allocations an operation makes before failing each of them in turn.

#include <atomic>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace kxalloc {

inline std::atomic<bool> g_armed{false};
inline std::atomic<bool> g_everyThread{false};
inline std::atomic<long> g_allowed{0};  // allocations still let through
inline std::atomic<long> g_failures{0}; // allocations still to refuse; -1 for all
inline std::atomic<long> g_seen{0};
inline std::atomic<long> g_refused{0};
inline thread_local bool t_armingThread = false;

// Whether the allocation asked for now fails.
inline bool refuseNext()
{
    if (!g_armed.load(std::memory_order_acquire))
        return false;
    if (!t_armingThread && !g_everyThread.load(std::memory_order_relaxed))
        return false;
    g_seen.fetch_add(1, std::memory_order_relaxed);
    if (g_allowed.fetch_sub(1, std::memory_order_relaxed) > 0)
        return false;
    long left = g_failures.load(std::memory_order_relaxed);
    while (left != 0) {
        if (left < 0 || g_failures.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
            g_refused.fetch_add(1, std::memory_order_relaxed);
            return true;
        }
    }
    return false;
}

inline void* allocate(std::size_t size)
{
    return refuseNext() ? nullptr : std::malloc(size ? size : 1);
}

inline void* allocateAligned(std::size_t size, std::align_val_t alignment)
{
    if (refuseNext())
        return nullptr;
    std::size_t align = static_cast<std::size_t>(alignment);
    if (align < sizeof(void*))
        align = sizeof(void*);
    void* block = nullptr;
    return posix_memalign(&block, align, size ? size : 1) == 0 ? block : nullptr;
}

// Out of line, so that the compiler does not pair a free it sees inlined
// into a delete with the operator new it saw the block come from.
[[gnu::noinline]] inline void release(void* block) noexcept
{
    std::free(block);
}

enum class Threads { This, Every };

class FailingAllocations
{
public:
    // The first `allowed` allocations go through, then `failures` of them
    // fail (-1: every one until this object goes).
    explicit FailingAllocations(long allowed, long failures = -1, Threads threads = Threads::This)
    {
        g_allowed.store(allowed);
        g_failures.store(failures);
        g_seen.store(0);
        g_refused.store(0);
        g_everyThread.store(threads == Threads::Every);
        t_armingThread = true;
        g_armed.store(true, std::memory_order_release);
    }
    ~FailingAllocations() { disarm(); }
    FailingAllocations(const FailingAllocations&) = delete;
    FailingAllocations& operator=(const FailingAllocations&) = delete;

    // Ends the failures early; the counts stay readable.
    void disarm()
    {
        g_armed.store(false, std::memory_order_release);
        t_armingThread = false;
    }
    // Allocations asked for while armed, and how many of them failed.
    long seen() const { return g_seen.load(); }
    long refused() const { return g_refused.load(); }
};

// Only counts the allocations asked for while it lives.
class CountingAllocations : public FailingAllocations
{
public:
    explicit CountingAllocations(Threads threads = Threads::This) : FailingAllocations(LONG_MAX, 0, threads) {}
};

} // namespace kxalloc

void* operator new(std::size_t size)
{
    if (void* block = kxalloc::allocate(size))
        return block;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size)
{
    if (void* block = kxalloc::allocate(size))
        return block;
    throw std::bad_alloc();
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return kxalloc::allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return kxalloc::allocate(size);
}

void* operator new(std::size_t size, std::align_val_t alignment)
{
    if (void* block = kxalloc::allocateAligned(size, alignment))
        return block;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size, std::align_val_t alignment)
{
    if (void* block = kxalloc::allocateAligned(size, alignment))
        return block;
    throw std::bad_alloc();
}

void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return kxalloc::allocateAligned(size, alignment);
}

void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return kxalloc::allocateAligned(size, alignment);
}

void operator delete(void* block) noexcept { kxalloc::release(block); }
void operator delete[](void* block) noexcept { kxalloc::release(block); }
void operator delete(void* block, std::size_t) noexcept { kxalloc::release(block); }
void operator delete[](void* block, std::size_t) noexcept { kxalloc::release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { kxalloc::release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { kxalloc::release(block); }
void operator delete(void* block, std::align_val_t) noexcept { kxalloc::release(block); }
void operator delete[](void* block, std::align_val_t) noexcept { kxalloc::release(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { kxalloc::release(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { kxalloc::release(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept { kxalloc::release(block); }
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept { kxalloc::release(block); }
