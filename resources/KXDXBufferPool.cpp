#include "resources/KXDXBufferPool.h"

#include <algorithm>

KXDXBufferPool::~KXDXBufferPool()
{
    for (IUnknown* buffer : m_buffers)
        buffer->Release();
}

bool KXDXBufferPool::allocateFree(uint32_t count, Block& block)
{
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
        return true;
    }
    return false;
}

void KXDXBufferPool::addBuffer(IUnknown* buffer, uint32_t count, Block& block)
{
    m_buffers.push_back(buffer);
    block = {buffer, count, 0};
    m_free.push_back({buffer, m_capacity - count, count});
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
    for (Block& free : m_free) {
        if (free.buffer != block.buffer)
            continue;
        if (free.start == block.start + block.count) {
            free.start = block.start;
            free.count += block.count;
            return;
        }
        if (block.start == free.start + free.count) {
            free.count += block.count;
            return;
        }
        if (block.start == free.start)
            return;
    }
    m_free.push_back(block);
}
