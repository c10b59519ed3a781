// The shared vertex and index buffer pools: first-fit blocks, growth by
// whole buffers, the free list's one-neighbour merge, and the events
// between the pools and the meshes that hold blocks.

#include "test_trimesh_support.h"

#include "resources/KXDXBufferEvents.h"
#include "resources/KXDXIbManager.h"
#include "resources/KXDXVbManager.h"

#include <gtest/gtest.h>

namespace {

constexpr DWORD POSITION_NORMAL = D3DFVF_XYZ | D3DFVF_NORMAL;
constexpr DWORD POSITION_NORMAL_TEX = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

using Block = KXDXBufferPool::Block;

std::vector<Block> freeList(const KXDXVbManager& manager, KXDXVbManager::KXDXVBPOOL pool)
{
    return manager.getPool(pool).getFreeBlocks();
}

void expectBlocks(const std::vector<Block>& actual, const std::vector<Block>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(actual[k].buffer, expected[k].buffer) << "block " << k;
        EXPECT_EQ(actual[k].count, expected[k].count) << "block " << k;
        EXPECT_EQ(actual[k].start, expected[k].start) << "block " << k;
    }
}

// Gives a vertex block back the way a mesh implementation does.
void giveBackVertices(KXDXVbManager& manager, IDirect3DVertexBuffer9* buffer, uint32_t count, uint32_t start)
{
    KXObservable sender;
    manager.update(&sender, KXDXTriMeshEvent(0, buffer, count, start, nullptr, 0, 0));
}

class BufferPools : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(target.device); }

    KXDXVbManager& vertices() { return *target.device->getVbManager(); }
    KXDXIbManager& indices() { return *target.device->getIbManager(); }

    meshtest::DeviceWindow target;
};

TEST_F(BufferPools, VertexBlocksAreHandedOutFirstFitFromOneBuffer)
{
    IDirect3DVertexBuffer9 *first = nullptr, *second = nullptr;
    uint32_t firstBase = 99, secondBase = 99;
    ASSERT_EQ(vertices().allocate(100, POSITION_NORMAL, first, firstBase), 0);
    ASSERT_EQ(vertices().allocate(100, POSITION_NORMAL, second, secondBase), 0);
    EXPECT_EQ(first, second);
    EXPECT_EQ(firstBase, 0u);
    EXPECT_EQ(secondBase, 100u);
    EXPECT_EQ(vertices().getPool(KXDXVbManager::KXDXVBPOOL_POSITIONNORMAL).getBuffers().size(), 1u);
    expectBlocks(freeList(vertices(), KXDXVbManager::KXDXVBPOOL_POSITIONNORMAL), {{first, 130872, 200}});

    // The buffer holds 131072 vertices of 24 bytes.
    D3DVERTEXBUFFER_DESC desc{};
    ASSERT_EQ(first->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Size, 0x300000u);
    EXPECT_EQ(desc.FVF, POSITION_NORMAL);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(desc.Usage & D3DUSAGE_WRITEONLY, DWORD(D3DUSAGE_WRITEONLY));

    // The other layout has a pool of its own.
    IDirect3DVertexBuffer9* textured = nullptr;
    uint32_t base = 99;
    ASSERT_EQ(vertices().allocate(10, POSITION_NORMAL_TEX, textured, base), 0);
    EXPECT_NE(textured, first);
    EXPECT_EQ(base, 0u);
    ASSERT_EQ(textured->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Size, 0x400000u);
}

TEST_F(BufferPools, WholeBufferRequestsAndRefusals)
{
    const UINT live = SwD3D9GetLiveObjectCount();
    IDirect3DVertexBuffer9* buffer = nullptr;
    uint32_t base = 99;
    EXPECT_EQ(vertices().allocate(131073, POSITION_NORMAL, buffer, base), -1);
    EXPECT_EQ(vertices().allocate(10, D3DFVF_XYZ, buffer, base), -1);
    EXPECT_EQ(vertices().allocate(10, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE, buffer, base), -1);
    EXPECT_EQ(vertices().allocate(0, POSITION_NORMAL, buffer, base), -1);
    EXPECT_EQ(SwD3D9GetLiveObjectCount(), live) << "a refused request created a buffer";

    ASSERT_EQ(vertices().allocate(131072, POSITION_NORMAL, buffer, base), 0);
    EXPECT_EQ(base, 0u);
    expectBlocks(freeList(vertices(), KXDXVbManager::KXDXVBPOOL_POSITIONNORMAL), {{buffer, 0, 131072}});
    // The empty block serves nobody: the next request starts a new buffer.
    IDirect3DVertexBuffer9* next = nullptr;
    ASSERT_EQ(vertices().allocate(1, POSITION_NORMAL, next, base), 0);
    EXPECT_NE(next, buffer);
    EXPECT_EQ(base, 0u);

    // Given back, the whole first buffer is one free block again.
    giveBackVertices(vertices(), buffer, 131072, 0);
    expectBlocks(freeList(vertices(), KXDXVbManager::KXDXVBPOOL_POSITIONNORMAL),
                 {{buffer, 131072, 0}, {next, 131071, 1}});
}

TEST_F(BufferPools, FreedBlocksMergeWithOneNeighbourAndAreNeverFreedTwice)
{
    IDirect3DVertexBuffer9* buffer = nullptr;
    uint32_t first = 0, second = 0;
    ASSERT_EQ(vertices().allocate(100, POSITION_NORMAL, buffer, first), 0);
    ASSERT_EQ(vertices().allocate(100, POSITION_NORMAL, buffer, second), 0);

    giveBackVertices(vertices(), buffer, 100, first);
    expectBlocks(freeList(vertices(), KXDXVbManager::KXDXVBPOOL_POSITIONNORMAL),
                 {{buffer, 130872, 200}, {buffer, 100, 0}});
    giveBackVertices(vertices(), buffer, 100, second);
    const std::vector<Block> merged = {{buffer, 130972, 100}, {buffer, 100, 0}};
    expectBlocks(freeList(vertices(), KXDXVbManager::KXDXVBPOOL_POSITIONNORMAL), merged);

    // Again, and the first block once more: it touches the merged block at
    // its start, but is already free.
    giveBackVertices(vertices(), buffer, 100, second);
    giveBackVertices(vertices(), buffer, 100, first);
    // A block inside a free one.
    giveBackVertices(vertices(), buffer, 50, 1000);
    expectBlocks(freeList(vertices(), KXDXVbManager::KXDXVBPOOL_POSITIONNORMAL), merged);

    // Buffers the pools do not own free nothing.
    giveBackVertices(vertices(), nullptr, 100, 0);
    expectBlocks(freeList(vertices(), KXDXVbManager::KXDXVBPOOL_POSITIONNORMAL), merged);

    // First fit takes the first block large enough, in list order.
    IDirect3DVertexBuffer9* again = nullptr;
    uint32_t base = 0;
    ASSERT_EQ(vertices().allocate(100, POSITION_NORMAL, again, base), 0);
    EXPECT_EQ(base, 100u);
    ASSERT_EQ(vertices().allocate(100, POSITION_NORMAL, again, base), 0);
    EXPECT_EQ(base, 200u);
    ASSERT_EQ(vertices().allocate(130772, POSITION_NORMAL, again, base), 0);
    EXPECT_EQ(base, 300u);
    expectBlocks(freeList(vertices(), KXDXVbManager::KXDXVBPOOL_POSITIONNORMAL), {{buffer, 100, 0}});
}

TEST_F(BufferPools, IndexBlocksTakeThePoolOfTheirWidth)
{
    IDirect3DIndexBuffer9 *narrow = nullptr, *wide = nullptr, *none = nullptr;
    uint32_t start = 99;
    ASSERT_EQ(indices().allocate(65535, D3DFMT_INDEX16, narrow, start), 0);
    EXPECT_EQ(start, 0u);
    ASSERT_EQ(indices().allocate(65536, D3DFMT_INDEX32, wide, start), 0);
    EXPECT_EQ(start, 0u);
    D3DINDEXBUFFER_DESC desc{};
    ASSERT_EQ(narrow->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Format, D3DFMT_INDEX16);
    EXPECT_EQ(desc.Size, 0x80000u);
    ASSERT_EQ(wide->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Format, D3DFMT_INDEX32);
    EXPECT_EQ(desc.Size, 0x100000u);

    // Few indices of a large vertex number are 32-bit too.
    IDirect3DIndexBuffer9* few = nullptr;
    ASSERT_EQ(indices().allocate(3, D3DFMT_INDEX32, few, start), 0);
    EXPECT_EQ(few, wide);
    EXPECT_EQ(start, 65536u);

    EXPECT_EQ(indices().allocate(262145, D3DFMT_INDEX16, none, start), -1);
    EXPECT_EQ(indices().allocate(0, D3DFMT_INDEX16, none, start), -1);
    EXPECT_EQ(indices().allocate(3, D3DFMT_UNKNOWN, none, start), -1);
    EXPECT_EQ(indices().getPool(D3DFMT_INDEX16).getBuffers().size(), 1u);
    EXPECT_EQ(indices().getPool(D3DFMT_INDEX32).getBuffers().size(), 1u);

    KXObservable sender;
    indices().update(&sender, KXDXTriMeshEvent(0, nullptr, 0, 0, wide, 3, 65536));
    expectBlocks(indices().getPool(D3DFMT_INDEX32).getFreeBlocks(), {{wide, 262144 - 65536, 65536}});
}

TEST(BufferPoolsWithoutDevice, RequestsFailBeforeTheDeviceExists)
{
    KXDXDevice device; // never initialised
    ASSERT_TRUE(device.getVbManager());
    IDirect3DVertexBuffer9* vertices = nullptr;
    IDirect3DIndexBuffer9* indices = nullptr;
    uint32_t start = 0;
    EXPECT_EQ(device.getVbManager()->allocate(10, POSITION_NORMAL, vertices, start), -1);
    EXPECT_EQ(device.getIbManager()->allocate(10, D3DFMT_INDEX16, indices, start), -1);
}

// Observes a manager and records the kinds of manager events it hears.
class ManagerListener : public KXObserver
{
public:
    void update(KXObservable*, const KXEvent& event) override
    {
        if (const auto* managerEvent = dynamic_cast<const KXDXVbIbMgrEvent*>(&event))
            kinds.push_back(managerEvent->getKind());
    }
    std::vector<int> kinds;
};

TEST(BufferPoolsLifetime, ManagersTellTheirObserversAndReleaseTheirBuffersWithTheDevice)
{
    kxdxtest::LiveObjectCheck live;
    ManagerListener listener;
    {
        meshtest::DeviceWindow target;
        ASSERT_TRUE(target.device);
        IDirect3DVertexBuffer9* vertices = nullptr;
        IDirect3DIndexBuffer9* indices = nullptr;
        uint32_t start = 0;
        ASSERT_EQ(target.device->getVbManager()->allocate(10, POSITION_NORMAL, vertices, start), 0);
        ASSERT_EQ(target.device->getIbManager()->allocate(10, D3DFMT_INDEX16, indices, start), 0);
        target.device->getVbManager()->registerObserver(&listener);
        target.device->getIbManager()->registerObserver(&listener);
        target.device->release();
        EXPECT_EQ(target.device->getVbManager(), nullptr);
        EXPECT_EQ(target.device->getIbManager(), nullptr);
    }
    EXPECT_EQ(listener.kinds, (std::vector<int>{0, 1}));
    live.expectBalanced();
}

} // namespace
