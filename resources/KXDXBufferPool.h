#pragma once

#include "renderer/KXExport.h"

#include <d3d9.h>

#include <cstdint>
#include <vector>

// The bookkeeping of one pool of shared Direct3D buffers of equal capacity:
// the buffers in creation order (one reference each, released with the
// pool) and a free list of blocks handed out first fit. Counts and starts
// are in vertices or indices, whichever the pool's buffers hold.
class KXDXRENDERER_API KXDXBufferPool
{
public:
    struct Block {
        IUnknown* buffer = nullptr;
        uint32_t count = 0;
        uint32_t start = 0;
    };

    explicit KXDXBufferPool(uint32_t capacity) : m_capacity(capacity) {}
    ~KXDXBufferPool();
    KXDXBufferPool(const KXDXBufferPool&) = delete;
    KXDXBufferPool& operator=(const KXDXBufferPool&) = delete;

    uint32_t getCapacity() const { return m_capacity; }

    // Takes count units from the first free block large enough; false when
    // none is, or when the free list has no room to take the block back.
    bool allocateFree(uint32_t count, Block& block);
    // Adopts a new buffer (one reference) and hands out its first count
    // units; the rest of it joins the end of the free list, even when empty.
    // False, adopting nothing, when the lists have no room for it.
    bool addBuffer(IUnknown* buffer, uint32_t count, Block& block);

    bool owns(const IUnknown* buffer) const;
    // Returns a block to the free list, merged with at most one free
    // neighbour of the same buffer. A block that overlaps a free one, or
    // starts where one starts, is already free and is dropped.
    void giveBack(const Block& block);

    const std::vector<IUnknown*>& getBuffers() const { return m_buffers; }
    const std::vector<Block>& getFreeBlocks() const { return m_free; }

private:
    // Makes room in the free list for extra more entries beyond one for
    // every block handed out, so that giving blocks back never needs
    // memory; false when there is none.
    bool reserveFreeEntries(size_t extra);

    uint32_t m_capacity;
    std::vector<IUnknown*> m_buffers;
    std::vector<Block> m_free;
    // Blocks handed out and not given back.
    size_t m_handedOut = 0;
};
