#include "resources/KXDXBufferPool.h"

#include "renderer/KXOutOfMemory.h"

#include <algorithm>

KXDXBufferPool::~KXDXBufferPool()
{
    for (IUnknown* buffer : m_buffers)
        buffer->Release();
}

bool KXDXBufferPool::reserveFreeEntries(size_t extra)
{
    // A block given back adds at most one entry, so a free list with room
    // for one more entry per block out takes every block back without
    // growing. It grows by doubling, as push_back would.
    const size_t needed = m_free.size() + m_handedOut + extra;
    if (m_free.capacity() >= needed)
        return true;
    return kxRunWithinMemory([&] { m_free.reserve(std::max(needed, 2 * m_free.capacity())); });
}

bool KXDXBufferPool::allocateFree(uint32_t count, Block& block)
{
    if (!reserveFreeEntries(1))
        return false;
    for (auto it = m_free.begin(); it != m_free.end(); ++it) {
        if (it->count < count)
            continue;
        block = {it->buffer, count, it->start};
        if (it->count == count) {
            m_free.erase(it);
        } else {
            it->count -= count;
            it->start += count;
        }
        ++m_handedOut;
        return true;
    }
    return false;
}

bool KXDXBufferPool::addBuffer(IUnknown* buffer, uint32_t count, Block& block)
{
    // Room in both lists first, so that nothing changes unless all of it
    // fits.
    if (!reserveFreeEntries(2))
        return false;
    if (m_buffers.size() == m_buffers.capacity() &&
        !kxRunWithinMemory([&] { m_buffers.reserve(std::max<size_t>(4, 2 * m_buffers.capacity())); }))
        return false;
    m_buffers.push_back(buffer);
    block = {buffer, count, 0};
    m_free.push_back({buffer, m_capacity - count, count});
    ++m_handedOut;
    return true;
}

bool KXDXBufferPool::owns(const IUnknown* buffer) const
{
    return buffer && std::find(m_buffers.begin(), m_buffers.end(), buffer) != m_buffers.end();
}

void KXDXBufferPool::giveBack(const Block& block)
{
    // A block that is already free, wholly or in part (freed twice, or
    // merged into a neighbour since), would make the free list hand the
    // same units out twice.
    for (const Block& free : m_free) {
        if (free.buffer == block.buffer && free.start < block.start + block.count &&
            block.start < free.start + free.count)
            return;
    }
    bool merged = false;
    for (Block& free : m_free) {
        if (free.buffer != block.buffer)
            continue;
        if (free.start == block.start + block.count) {
            free.start = block.start;
            free.count += block.count;
            merged = true;
            break;
        }
        if (block.start == free.start + free.count) {
            free.count += block.count;
            merged = true;
            break;
        }
        if (block.start == free.start)
            return;
    }
    // Only a block that was never handed out can find the list full; it is
    // dropped rather than grown for.
    if (!merged && !kxRunWithinMemory([&] { m_free.push_back(block); }))
        return;
    if (m_handedOut > 0)
        --m_handedOut;
}
