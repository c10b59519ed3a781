// The shared vertex and index buffer pools: first-fit blocks from whole
// buffers, the free list's one-neighbour merge and its guard against
// double frees, and how tri-mesh implementations hold blocks, give them
// back and let go of a released device.

#include "test_trimesh_support.h"

#include "resources/KXDXBufferEvents.h"
#include "resources/KXDXIbManager.h"
#include "resources/KXDXVbManager.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using namespace meshtest;

constexpr DWORD POSITION_NORMAL = D3DFVF_XYZ | D3DFVF_NORMAL;

// A pool's free list as (buffer, count, start).
using Blocks = std::vector<std::tuple<IUnknown*, uint32_t, uint32_t>>;
Blocks freeBlocks(const KXDXBufferPool& pool)
{
    Blocks blocks;
    for (const KXDXBufferPool::Block& block : pool.getFreeBlocks())
        blocks.emplace_back(block.buffer, block.count, block.start);
    return blocks;
}

class BufferPools : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(target.device); }

    KXDXVbManager& vertices() { return *target.device->getVbManager(); }
    KXDXIbManager& indices() { return *target.device->getIbManager(); }
    Blocks freeVertices() { return freeBlocks(vertices().getPool(KXDXVbManager::KXDXVBPOOL_POSITIONNORMAL)); }
    // Gives a vertex block back the way a mesh implementation does.
    void giveBack(IDirect3DVertexBuffer9* buffer, uint32_t count, uint32_t start)
    {
        KXObservable sender;
        vertices().update(&sender, KXDXTriMeshEvent(0, buffer, count, start, nullptr, 0, 0));
    }

    DeviceWindow target;
};

TEST_F(BufferPools, BlocksAreHandedOutFirstFitAndRefusalsMakeNoBuffer)
{
    IDirect3DVertexBuffer9 *first = nullptr, *second = nullptr;
    uint32_t firstBase = 99, secondBase = 99, base = 99;
    ASSERT_EQ(vertices().allocate(100, POSITION_NORMAL, first, firstBase), 0);
    ASSERT_EQ(vertices().allocate(100, POSITION_NORMAL, second, secondBase), 0);
    EXPECT_EQ(first, second);
    EXPECT_EQ(secondBase, firstBase + 100);
    EXPECT_EQ(freeVertices(), (Blocks{{first, 130872, 200}}));
    IDirect3DIndexBuffer9 *wide = nullptr, *none = nullptr;
    ASSERT_EQ(indices().allocate(3, D3DFMT_INDEX32, wide, base), 0);
    D3DINDEXBUFFER_DESC desc{};
    ASSERT_EQ(wide->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Format, D3DFMT_INDEX32);

    const UINT live = SwD3D9GetLiveObjectCount();
    EXPECT_EQ(vertices().allocate(KXDXVbManager::BUFFER_VERTICES + 1, POSITION_NORMAL, first, base), -1);
    EXPECT_EQ(vertices().allocate(10, D3DFVF_XYZ, first, base), -1);
    EXPECT_EQ(vertices().allocate(0, POSITION_NORMAL, first, base), -1);
    EXPECT_EQ(indices().allocate(KXDXIbManager::BUFFER_INDICES + 1, D3DFMT_INDEX16, none, base), -1);
    EXPECT_EQ(indices().allocate(0, D3DFMT_INDEX16, none, base), -1);
    EXPECT_EQ(indices().allocate(3, D3DFMT_UNKNOWN, none, base), -1);
    EXPECT_EQ(SwD3D9GetLiveObjectCount(), live) << "a refused request created a buffer";

    KXDXDevice uninitialised;
    EXPECT_EQ(uninitialised.getVbManager()->allocate(10, POSITION_NORMAL, first, base), -1);
    EXPECT_EQ(uninitialised.getIbManager()->allocate(10, D3DFMT_INDEX16, none, base), -1);
}

// A whole buffer leaves an empty free block behind, which serves nobody but
// takes the block back when it is given back.
TEST_F(BufferPools, AWholeBufferRequestLeavesAnEmptyBlockThatMerges)
{
    IDirect3DVertexBuffer9 *buffer = nullptr, *next = nullptr;
    uint32_t base = 99;
    ASSERT_EQ(vertices().allocate(KXDXVbManager::BUFFER_VERTICES, POSITION_NORMAL, buffer, base), 0);
    EXPECT_EQ(freeVertices(), (Blocks{{buffer, 0, 131072}}));
    ASSERT_EQ(vertices().allocate(1, POSITION_NORMAL, next, base), 0);
    EXPECT_NE(next, buffer);
    giveBack(buffer, 131072, 0);
    EXPECT_EQ(freeVertices(), (Blocks{{buffer, 131072, 0}, {next, 131071, 1}}));
}

// A block already free, wholly or in part, is dropped: freed twice, it
// would be handed out twice.
TEST_F(BufferPools, FreedBlocksMergeWithOneNeighbourAndAreNeverFreedTwice)
{
    IDirect3DVertexBuffer9* buffer = nullptr;
    uint32_t first = 0, second = 0;
    ASSERT_EQ(vertices().allocate(100, POSITION_NORMAL, buffer, first), 0);
    ASSERT_EQ(vertices().allocate(100, POSITION_NORMAL, buffer, second), 0);
    giveBack(buffer, 100, first);
    EXPECT_EQ(freeVertices(), (Blocks{{buffer, 130872, 200}, {buffer, 100, 0}}));
    giveBack(buffer, 100, second);
    const Blocks merged = {{buffer, 130972, 100}, {buffer, 100, 0}};
    EXPECT_EQ(freeVertices(), merged);

    // Again; the first block once more (it touches the merged block at its
    // start); a block inside a free one; a buffer the pools do not own.
    giveBack(buffer, 100, second);
    giveBack(buffer, 100, first);
    giveBack(buffer, 50, 1000);
    giveBack(nullptr, 100, 0);
    EXPECT_EQ(freeVertices(), merged);

    // First fit takes the first block large enough, in list order.
    uint32_t base = 0;
    ASSERT_EQ(vertices().allocate(100, POSITION_NORMAL, buffer, base), 0);
    EXPECT_EQ(base, 100u);
    ASSERT_EQ(vertices().allocate(130872, POSITION_NORMAL, buffer, base), 0);
    EXPECT_EQ(base, 200u);
    EXPECT_EQ(freeVertices(), (Blocks{{buffer, 100, 0}}));
}

// Given back in that order, the blocks merge as far as one neighbour each
// allows: every unit is free exactly once.
TEST_F(BufferPools, MeshesGiveTheirBlocksBackWhenDestroyed)
{
    KXTriMesh first, second;
    makeGrid(first, 3, 3, true, false); // 16 vertices, 54 indices
    makeGrid(second, 2, 2, true, false); // 9 vertices, 24 indices
    second.setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
    auto firstImpl = target.make(first);
    auto secondImpl = target.make(second);
    const KXDXBufferPool& vertexPool = vertices().getPool(KXDXVbManager::KXDXVBPOOL_POSITIONNORMAL);
    const KXDXBufferPool& indexPool = indices().getPool(D3DFMT_INDEX16);
    EXPECT_EQ(std::get<2>(freeBlocks(vertexPool).at(0)), 16u + 9u + 9u); // and the back side
    EXPECT_EQ(std::get<2>(freeBlocks(indexPool).at(0)), 54u + 24u);
    secondImpl.reset();
    firstImpl.reset();
    EXPECT_EQ(vertices().getNumObservers(), 0);
    EXPECT_EQ(indices().getNumObservers(), 0);
    for (const KXDXBufferPool* pool : {&vertexPool, &indexPool}) {
        uint32_t free = 0;
        for (const auto& block : freeBlocks(*pool))
            free += std::get<1>(block);
        EXPECT_EQ(free, pool->getCapacity());
    }
}

// Records the kinds of manager events it hears.
struct ManagerListener : KXObserver {
    void update(KXObservable*, const KXEvent& event) override
    {
        if (const auto* managerEvent = dynamic_cast<const KXDXVbIbMgrEvent*>(&event))
            kinds.push_back(managerEvent->getKind());
    }
    std::vector<int> kinds;
};

// Implementations left in the meshes' slots let go of a released device:
// the managers tell them and release their buffers; nothing is drawn after.
// Created again without pools, the device draws new implementations from
// buffers of their own; the old ones go with their meshes, after the device.
TEST(BufferPoolsLifetime, ImplementationsLetGoOfAReleasedDevice)
{
    kxdxtest::LiveObjectCheck live;
    ManagerListener listener;
    KXTriMesh pooled, own, system;
    makeGrid(pooled, 3, 3, true, false);
    makeGrid(own, 3, 3, false, true);
    makeGrid(system, 3, 3);
    system.setTexCoordsArray(std::vector<KXPosition2D>(system.getVertexArray().size()));
    system.setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
    {
        DeviceWindow target;
        ASSERT_TRUE(target.device);
        KXTriMesh* meshes[] = {&pooled, &own, &system};
        for (KXTriMesh* mesh : meshes)
            mesh->setImplementation(target.make(*mesh).release());
        auto implOf = [](KXTriMesh* mesh) { return static_cast<KXDXTriMeshImpl*>(mesh->getImplementation()); };
        EXPECT_EQ(implOf(&system)->getStorage(), KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_SYSTEMMEMORY);
        const PresentedImage before = renderFrame(target, {}, [&] { implOf(&pooled)->draw(); });
        ASSERT_GT(countNonBlack(before), 1000);
        target.device->getVbManager()->registerObserver(&listener);
        target.device->getIbManager()->registerObserver(&listener);

        target.device->release();
        for (KXTriMesh* mesh : meshes) {
            EXPECT_EQ(implOf(mesh)->getDevice(), nullptr);
            EXPECT_EQ(implOf(mesh)->getStorage(), KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_NONE);
        }
        KXAdapterFormat settings;
        ASSERT_EQ(KXAdapterFormatUtils::getBestFormat(target.device->getCapabilities().adapterFormats,
                                                      KXAdapterFormat::KXWINDOWMODE_WINDOWED, settings),
                  0);
        settings.multisampling = KXAdapterFormat::KXMULTISAMPLING_NONE;
        ASSERT_EQ(target.device->initialize(target.window.get(), settings), 0);
        EXPECT_EQ(target.device->getVbManager(), nullptr);
        auto again = target.make(pooled);
        EXPECT_EQ(again->getStorage(), KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_BUFFERS);
        const PresentedImage after = renderFrame(target, {}, [&] {
            for (KXTriMesh* mesh : meshes)
                implOf(mesh)->draw(); // nothing
            again->draw();
        });
        EXPECT_EQ(after.pixels, before.pixels);
    }
    EXPECT_EQ(listener.kinds, (std::vector<int>{0, 1}));
    live.expectBalanced();
}

} // namespace
