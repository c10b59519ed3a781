// Device-side meshes, polylines and images made while memory runs out, each
// allocation of their making failed in turn: nothing is thrown, and each is
// either whole (the same picture as when memory is plenty) or holds nothing,
// draws nothing and links to no device, so that the renderer makes it again
// at its next draw. The pools they draw from take every block back without
// memory, and refuse, changing nothing, what they could not take back.

#include "../renderer/KXAllocationFailures.h"

#include "KXDXTestSupport.h"

#include "resources/KXDXBufferPool.h"
#include "resources/KXDXIbManager.h"
#include "resources/KXDXImage2DImpl.h"
#include "resources/KXDXPolylineImpl.h"
#include "resources/KXDXTriMeshImpl.h"
#include "resources/KXDXVbManager.h"
#include "sceneapi/KXPolyline.h"
#include "sceneapi/KXTriMesh.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <numeric>
#include <optional>
#include <vector>

using namespace kxdxtest;
using kxalloc::CountingAllocations;
using kxalloc::FailingAllocations;

namespace {

// Failing every allocation from the k-th on (memory gone for good), or the
// k-th alone (memory back at once).
enum class Failure { FromThereOn, OnlyThatOne };

long failuresOf(Failure failure)
{
    return failure == Failure::FromThereOn ? -1 : 1;
}

// A 64 x 64 window with a device without multisampling; the device is
// created under the capabilities given, if any.
struct Target {
    explicit Target(const std::optional<D3DCAPS9>& caps = std::nullopt)
    {
        CapsOverride override;
        if (caps) {
            override.caps() = *caps;
            override.apply();
        }
        device = makeDevice(window.get(), nullptr, false);
    }

    TestWindow window{64, 64};
    Made<KXDXDevice> device;
};

// One frame on black drawing what draw draws, unlit, identity transforms.
PresentedImage drawn(Target& target, const std::function<void()>& draw)
{
    IDirect3DDevice9* d3d = target.device->getD3DDevice();
    target.device->forgetBindings();
    setIdentityTransforms(d3d);
    d3d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d3d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    return drawFrame(d3d, target.window.get(), draw);
}

long countLit(const PresentedImage& image)
{
    return std::count_if(image.pixels.begin(), image.pixels.end(), [](uint32_t p) { return (p & 0xFFFFFF) != 0; });
}

// Every unit of every buffer of the pool is free.
bool wholeAgain(const KXDXBufferPool& pool)
{
    uint64_t free = 0;
    for (const KXDXBufferPool::Block& block : pool.getFreeBlocks())
        free += block.count;
    return free == uint64_t(pool.getCapacity()) * pool.getBuffers().size();
}

bool poolsWholeAgain(const KXDXDevice& device)
{
    const KXDXVbManager* vertices = device.getVbManager();
    const KXDXIbManager* indices = device.getIbManager();
    return wholeAgain(vertices->getPool(KXDXVbManager::KXDXVBPOOL_POSITIONNORMAL)) &&
           wholeAgain(vertices->getPool(KXDXVbManager::KXDXVBPOOL_POSITIONNORMALTEX)) &&
           wholeAgain(indices->getPool(D3DFMT_INDEX16)) && wholeAgain(indices->getPool(D3DFMT_INDEX32));
}

// A grid of cells over most of the view, two triangles per cell, with the
// arrays asked for.
void makeGrid(KXTriMesh& mesh, int cells, bool normals, bool colors, bool texCoords)
{
    std::vector<KXPosition> positions;
    std::vector<KXUnitVector> normalArray;
    std::vector<KXColor> colorArray;
    std::vector<KXPosition2D> coords;
    for (int r = 0; r <= cells; ++r) {
        for (int c = 0; c <= cells; ++c) {
            const float u = float(c) / float(cells), v = float(r) / float(cells);
            positions.emplace_back(-0.9f + 1.8f * u, 0.9f - 1.8f * v, 0.5f);
            normalArray.emplace_back(0.0f, 0.0f, -1.0f);
            colorArray.emplace_back(u, v, 1.0f - u * v, 1.0f);
            coords.emplace_back(u, v);
        }
    }
    std::vector<uint32_t> indices;
    const uint32_t row = uint32_t(cells) + 1;
    for (uint32_t r = 0; r < uint32_t(cells); ++r)
        for (uint32_t c = 0; c < uint32_t(cells); ++c) {
            const uint32_t i = r * row + c;
            indices.insert(indices.end(), {i, i + 1, i + row, i + 1, i + row + 1, i + row});
        }
    mesh.set(KXTriMesh::KXTRIMESHTYPE_LIST, std::move(positions), std::move(indices),
             normals ? std::move(normalArray) : std::vector<KXUnitVector>{},
             colors ? std::move(colorArray) : std::vector<KXColor>{});
    if (texCoords)
        mesh.setTexCoordsArray(std::move(coords));
}

// Makes an implementation of the object on target's device while
// allocations fail as asked; whether anything was thrown.
template <class Impl, class Make>
bool makeFailing(std::unique_ptr<Impl>& impl, long allowed, Failure failure, Make&& make)
{
    bool threw = false;
    {
        FailingAllocations failing(allowed, failuresOf(failure));
        try {
            impl.reset(make());
        } catch (...) {
            threw = true;
        }
    }
    return threw;
}

// Each way a tri-mesh is stored: pool blocks (positions and normals), buffers
// of its own (with colours, which no pool takes), system memory (the layout
// kept there) and rebased chunks (a device addressing 21 vertices a draw).
TEST(TriMeshOutOfMemory, EveryFailedAllocationLeavesAWholeMeshOrNone)
{
    struct Case {
        const char* name;
        bool normals, colors, texCoords;
        DWORD maxVertexIndex;
        KXDXTriMeshImpl::KXDXTRIMESHSTORAGE storage;
    };
    const Case cases[] = {
        {"pool", true, false, false, 0xFFFFFF, KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_BUFFERS},
        {"own buffers", false, true, false, 0xFFFFFF, KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_BUFFERS},
        {"system memory", true, true, true, 0xFFFFFF, KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_SYSTEMMEMORY},
        {"chunks", false, true, false, 20, KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_SYSTEMMEMORY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        D3DCAPS9 caps;
        SwD3D9GetDefaultCaps(&caps);
        caps.MaxVertexIndex = c.maxVertexIndex;
        KXTriMesh mesh;
        makeGrid(mesh, 6, c.normals, c.colors, c.texCoords);
        auto make = [&](Target& target) {
            return new (std::nothrow) KXDXTriMeshImpl(target.device.get(), target.device->getD3DCaps(), &mesh);
        };

        PresentedImage reference;
        long allocations = 0;
        {
            Target target(caps);
            ASSERT_TRUE(target.device);
            std::unique_ptr<KXDXTriMeshImpl> impl;
            {
                CountingAllocations counting;
                impl.reset(make(target));
                allocations = counting.seen();
            }
            ASSERT_EQ(impl->getStorage(), c.storage);
            reference = drawn(target, [&] { impl->draw(); });
            ASSERT_GT(countLit(reference), 1000);
        }
        ASSERT_GT(allocations, 0);

        for (Failure failure : {Failure::FromThereOn, Failure::OnlyThatOne}) {
            for (long k = 0; k < allocations; ++k) {
                SCOPED_TRACE(testing::Message() << "allocation " << k << (failure == Failure::OnlyThatOne ? " alone" : ""));
                LiveObjectCheck live;
                {
                    Target target(caps);
                    ASSERT_TRUE(target.device);
                    std::unique_ptr<KXDXTriMeshImpl> impl;
                    EXPECT_FALSE(makeFailing(impl, k, failure, [&] { return make(target); }));
                    if (impl) {
                        const PresentedImage image = drawn(target, [&] { impl->draw(); });
                        if (impl->getDevice()) {
                            EXPECT_EQ(image.pixels, reference.pixels) << "a mesh made in part";
                        } else {
                            EXPECT_EQ(impl->getStorage(), KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_NONE);
                            EXPECT_EQ(countLit(image), 0);
                        }
                    }
                    impl.reset();
                    EXPECT_TRUE(poolsWholeAgain(*target.device)) << "a pool block was not given back";
                }
                live.expectBalanced();
                if (HasFailure())
                    return;
            }
        }
    }
}

// A polyline either draws all its segments or nothing, linked to no device.
TEST(PolylineOutOfMemory, EveryFailedAllocationLeavesAWholePolylineOrNone)
{
    auto lines = KXMake<KXPolyline>();
    const KXPosition points[] = {{-0.8f, 0.5f, 0.5f}, {0.8f, 0.5f, 0.5f}, {0.5f, -0.8f, 0.5f}, {0.5f, 0.8f, 0.5f}};
    lines->set(KXPolyline::KXPOLYLINETYPE_CLOSED, points, 4);
    auto make = [&](Target& target) { return new (std::nothrow) KXDXPolylineImpl(target.device.get(), lines.get()); };

    PresentedImage reference;
    long allocations = 0;
    {
        Target target;
        ASSERT_TRUE(target.device);
        std::unique_ptr<KXDXPolylineImpl> impl;
        {
            CountingAllocations counting;
            impl.reset(make(target));
            allocations = counting.seen();
        }
        reference = drawn(target, [&] { impl->draw(); });
        ASSERT_GT(countLit(reference), 100);
    }
    for (long k = 0; k < allocations; ++k) {
        SCOPED_TRACE(testing::Message() << "allocation " << k);
        LiveObjectCheck live;
        {
            Target target;
            ASSERT_TRUE(target.device);
            std::unique_ptr<KXDXPolylineImpl> impl;
            EXPECT_FALSE(makeFailing(impl, k, Failure::FromThereOn, [&] { return make(target); }));
            if (impl) {
                const PresentedImage image = drawn(target, [&] { impl->draw(); });
                if (impl->getDevice()) {
                    EXPECT_EQ(image.pixels, reference.pixels);
                } else {
                    EXPECT_EQ(countLit(image), 0);
                }
            }
        }
        live.expectBalanced();
    }
}

// An image either has its texture, or none and no device (and is made
// again at its next use).
TEST(ImageOutOfMemory, EveryFailedAllocationLeavesATextureOrNone)
{
    KXRef<KXImage2D> png = solidPng(KXColor(0.2f, 0.4f, 0.6f, 1.0f));
    auto make = [&](Target& target) { return new (std::nothrow) KXDXImage2DImpl(target.device.get(), png.get()); };
    long allocations = 0;
    {
        Target target;
        ASSERT_TRUE(target.device);
        CountingAllocations counting;
        std::unique_ptr<KXDXImage2DImpl> impl(make(target));
        allocations = counting.seen();
        counting.disarm();
        ASSERT_TRUE(impl->getTexture());
    }
    for (long k = 0; k < allocations; ++k) {
        SCOPED_TRACE(testing::Message() << "allocation " << k);
        LiveObjectCheck live;
        {
            Target target;
            ASSERT_TRUE(target.device);
            std::unique_ptr<KXDXImage2DImpl> impl;
            EXPECT_FALSE(makeFailing(impl, k, Failure::FromThereOn, [&] { return make(target); }));
            if (impl && impl->getDevice()) {
                EXPECT_NE(impl->getTexture(), nullptr) << "a texture that found no memory is never made again";
            } else if (impl) {
                EXPECT_EQ(impl->getTexture(), nullptr);
            }
        }
        live.expectBalanced();
    }
}

// A pool buffer that only counts its references.
struct CountedBuffer : IUnknown {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    ULONG references = 1;
};

// Giving blocks back asks for no memory at all, even when the free list is
// at its longest (every other block first: none of them can merge), and
// all of the buffer is free again.
TEST(BufferPoolOutOfMemory, GivingBlocksBackNeedsNoMemory)
{
    CountedBuffer buffer;
    {
        KXDXBufferPool pool(1000);
        std::vector<KXDXBufferPool::Block> out(1);
        ASSERT_TRUE(pool.addBuffer(&buffer, 5, out[0]));
        KXDXBufferPool::Block block;
        while (pool.allocateFree(5, block))
            out.push_back(block);
        ASSERT_EQ(out.size(), 200u);

        FailingAllocations failing(0);
        for (size_t parity : {0, 1})
            for (size_t k = parity; k < out.size(); k += 2)
                pool.giveBack(out[k]);
        failing.disarm();
        EXPECT_EQ(failing.seen(), 0);
        EXPECT_TRUE(wholeAgain(pool));
    }
    EXPECT_EQ(buffer.references, 0u);
}

// Without memory to track a block, the pool refuses it and stays as it was:
// a buffer it cannot list is not adopted (its reference stays the caller's),
// a free block it could not take back is not handed out.
TEST(BufferPoolOutOfMemory, WhatCannotBeTakenBackIsRefusedChangingNothing)
{
    CountedBuffer buffer, refused;
    KXDXBufferPool pool(100);
    KXDXBufferPool::Block block;
    {
        FailingAllocations failing(0);
        EXPECT_FALSE(pool.addBuffer(&refused, 10, block));
    }
    EXPECT_TRUE(pool.getBuffers().empty());
    EXPECT_TRUE(pool.getFreeBlocks().empty());
    EXPECT_EQ(refused.references, 1u);

    ASSERT_TRUE(pool.addBuffer(&buffer, 10, block));
    // Take blocks until taking one more needs the free list to grow.
    std::vector<KXDXBufferPool::Block> out = {block};
    for (;;) {
        const size_t capacity = pool.getFreeBlocks().capacity();
        FailingAllocations failing(0);
        const bool taken = pool.allocateFree(10, block);
        failing.disarm();
        if (failing.refused() > 0) {
            EXPECT_FALSE(taken);
            EXPECT_EQ(pool.getFreeBlocks().capacity(), capacity);
            break;
        }
        ASSERT_TRUE(taken) << "the pool ran dry before its free list had to grow";
        out.push_back(block);
    }
    const std::vector<KXDXBufferPool::Block> before = pool.getFreeBlocks();
    ASSERT_EQ(before.size(), 1u);
    EXPECT_EQ(before[0].start, 10u * out.size());
    for (const KXDXBufferPool::Block& given : out)
        pool.giveBack(given);
    EXPECT_TRUE(wholeAgain(pool));
}

// Events such as a device's release must reach every observer even when no
// memory is left: a notification asks for none, also when observers leave
// during it and when it is nested in another one.
TEST(ObservableOutOfMemory, NotificationsReachEveryObserverWithoutMemory)
{
    struct Counter : KXObserver {
        std::function<void()> onUpdate;
        int calls = 0;
        void update(KXObservable*, const KXEvent&) override
        {
            ++calls;
            if (onUpdate)
                onUpdate();
        }
    };
    KXObservable subject;
    Counter first, leaving, nesting, last;
    for (Counter* observer : {&first, &leaving, &nesting, &last})
        subject.registerObserver(observer);
    leaving.onUpdate = [&] { subject.unregisterObserver(&leaving); };
    bool nested = false;
    nesting.onUpdate = [&] {
        if (!nested) {
            nested = true;
            subject.notify(KXEvent(1));
        }
    };
    {
        FailingAllocations failing(0);
        subject.notify(KXEvent(0));
        failing.disarm();
        EXPECT_EQ(failing.seen(), 0);
    }
    // The outer walk reaches everyone once, the nested one everyone still
    // registered; the observer that left is gone from the list afterwards.
    EXPECT_EQ(first.calls, 2);
    EXPECT_EQ(leaving.calls, 1);
    EXPECT_EQ(nesting.calls, 2);
    EXPECT_EQ(last.calls, 2);
    EXPECT_EQ(subject.getNumObservers(), 3);
    subject.notify(KXEvent(2));
    EXPECT_EQ(leaving.calls, 1);
    EXPECT_EQ(last.calls, 3);
}

} // namespace
