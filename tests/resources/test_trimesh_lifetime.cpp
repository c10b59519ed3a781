// How tri-mesh implementations live with their device and its buffer
// pools: blocks given back on destruction and on device release, nothing
// drawn or touched after the device is gone, and shared pool buffers bound
// once for many meshes.

#include "test_trimesh_support.h"

#include "resources/KXDXBufferEvents.h"
#include "resources/KXDXIbManager.h"
#include "resources/KXDXVbManager.h"

#include <gtest/gtest.h>

namespace {

using kxdxtest::PresentedImage;
using meshtest::DeviceWindow;

// Records the tri-mesh events an implementation sends.
class EventRecorder : public KXObserver
{
public:
    void update(KXObservable*, const KXEvent& event) override
    {
        if (const auto* meshEvent = dynamic_cast<const KXDXTriMeshEvent*>(&event))
            events.push_back(*meshEvent);
    }
    std::vector<KXDXTriMeshEvent> events;
};

KXDXTriMeshImpl* makeImpl(DeviceWindow& target, KXTriMesh& mesh)
{
    return new KXDXTriMeshImpl(target.device.get(), target.device->getD3DCaps(), &mesh);
}

TEST(TriMeshLifetime, DestructionGivesTheBlocksBackToThePools)
{
    DeviceWindow target;
    ASSERT_TRUE(target.device);
    KXDXVbManager& vertices = *target.device->getVbManager();
    KXDXIbManager& indices = *target.device->getIbManager();

    KXTriMesh first, second;
    meshtest::makeGrid(first, 3, 3, true, false); // 16 vertices, 54 indices
    meshtest::makeGrid(second, 2, 2, true, false); // 9 vertices, 24 indices
    second.setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
    first.setImplementation(makeImpl(target, first));
    second.setImplementation(makeImpl(target, second));

    const KXDXBufferPool& vertexPool = vertices.getPool(KXDXVbManager::KXDXVBPOOL_POSITIONNORMAL);
    const KXDXBufferPool& indexPool = indices.getPool(D3DFMT_INDEX16);
    ASSERT_EQ(vertexPool.getFreeBlocks().size(), 1u);
    EXPECT_EQ(vertexPool.getFreeBlocks()[0].start, 16u + 9u + 9u); // the second mesh has a back side
    EXPECT_EQ(indexPool.getFreeBlocks()[0].start, 54u + 24u);
    EXPECT_EQ(vertices.getNumObservers(), 2);
    EXPECT_EQ(indices.getNumObservers(), 2);

    // The second mesh's events: front vertices with the indices, then the
    // back vertices alone.
    EventRecorder recorder;
    auto* secondImpl = static_cast<KXDXTriMeshImpl*>(second.getImplementation());
    secondImpl->registerObserver(&recorder);
    second.setImplementation(nullptr);
    ASSERT_EQ(recorder.events.size(), 2u);
    IDirect3DVertexBuffer9* pooled = static_cast<IDirect3DVertexBuffer9*>(vertexPool.getBuffers()[0]);
    const KXDXTriMeshEvent& front = recorder.events[0];
    EXPECT_EQ(front.getKind(), 0);
    EXPECT_EQ(front.getVertexBuffer(), pooled);
    EXPECT_EQ(front.getVertexCount(), 9u);
    EXPECT_EQ(front.getBaseVertex(), 25u);
    EXPECT_EQ(front.getIndexBuffer(), static_cast<IDirect3DIndexBuffer9*>(indexPool.getBuffers()[0]));
    EXPECT_EQ(front.getIndexCount(), 24u);
    EXPECT_EQ(front.getStartIndex(), 54u);
    const KXDXTriMeshEvent& back = recorder.events[1];
    EXPECT_EQ(back.getVertexBuffer(), pooled);
    EXPECT_EQ(back.getBaseVertex(), 16u); // the back side was filled first
    EXPECT_EQ(back.getVertexCount(), 9u);
    EXPECT_EQ(back.getIndexBuffer(), nullptr);
    EXPECT_EQ(vertices.getNumObservers(), 1);
    EXPECT_EQ(indices.getNumObservers(), 1);

    first.setImplementation(nullptr);
    EXPECT_EQ(vertices.getNumObservers(), 0);
    EXPECT_EQ(indices.getNumObservers(), 0);
    // Given back in that order, the blocks merge as far as one neighbour
    // each allows: every unit is free exactly once.
    uint32_t freeVertices = 0, freeIndices = 0;
    for (const KXDXBufferPool::Block& block : vertexPool.getFreeBlocks())
        freeVertices += block.count;
    for (const KXDXBufferPool::Block& block : indexPool.getFreeBlocks())
        freeIndices += block.count;
    EXPECT_EQ(freeVertices, KXDXVbManager::BUFFER_VERTICES);
    EXPECT_EQ(freeIndices, KXDXIbManager::BUFFER_INDICES);
}

TEST(TriMeshLifetime, ImplementationsLetGoOfAReleasedDeviceAndNewOnesDrawAfterItIsCreatedAgain)
{
    kxdxtest::LiveObjectCheck live;
    KXTriMesh pooled, own, system;
    meshtest::makeGrid(pooled, 3, 3, true, false);
    meshtest::makeGrid(own, 3, 3, false, true);
    meshtest::makeGrid(system, 3, 3);
    system.setTexCoordsArray(std::vector<KXPosition2D>(system.getVertexArray().size()));
    system.setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
    {
        DeviceWindow target;
        ASSERT_TRUE(target.device);
        KXTriMesh* meshes[] = {&pooled, &own, &system};
        for (KXTriMesh* mesh : meshes)
            mesh->setImplementation(makeImpl(target, *mesh));
        auto implOf = [](KXTriMesh* mesh) { return static_cast<KXDXTriMeshImpl*>(mesh->getImplementation()); };
        EXPECT_EQ(implOf(&own)->getStorage(), KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_BUFFERS);
        EXPECT_EQ(implOf(&system)->getStorage(), KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_SYSTEMMEMORY);
        const PresentedImage before = meshtest::renderFrame(target, {}, [&] { implOf(&own)->draw(); });
        ASSERT_GT(meshtest::countNonBlack(before), 1000);

        target.device->release();
        for (KXTriMesh* mesh : meshes) {
            EXPECT_EQ(implOf(mesh)->getDevice(), nullptr);
            EXPECT_EQ(implOf(mesh)->getStorage(), KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_NONE);
            implOf(mesh)->draw();
        }

        // Created again on the same window, without pools: a new
        // implementation uses buffers of its own.
        KXAdapterFormat settings;
        ASSERT_EQ(KXAdapterFormatUtils::getBestFormat(target.device->getCapabilities().adapterFormats,
                                                      KXAdapterFormat::KXWINDOWMODE_WINDOWED, settings),
                  0);
        settings.multisampling = KXAdapterFormat::KXMULTISAMPLING_NONE;
        ASSERT_EQ(target.device->initialize(target.window.get(), settings), 0);
        EXPECT_EQ(target.device->getVbManager(), nullptr);
        KXDXTriMeshImpl again(target.device.get(), target.device->getD3DCaps(), &pooled);
        EXPECT_EQ(again.getDevice(), target.device.get());
        EXPECT_EQ(again.getStorage(), KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_BUFFERS);
        EXPECT_FALSE(again.hasPoolVertices());
        const PresentedImage after = meshtest::renderFrame(target, {}, [&] {
            for (KXTriMesh* mesh : meshes)
                implOf(mesh)->draw(); // draw nothing
            again.draw();
        });
        EXPECT_EQ(meshtest::countNonBlack(after), meshtest::countNonBlack(before));
        // The device goes first; the implementations it leaves behind are
        // destroyed with their meshes.
    }
    live.expectBalanced();
}

TEST(TriMeshLifetime, PoolBuffersAreBoundOnceForManyMeshes)
{
    DeviceWindow target;
    ASSERT_TRUE(target.device);
    IDirect3DDevice9* d3d = target.d3d();
    KXTriMesh first, second;
    meshtest::makeGrid(first, 2, 2, true, false);
    meshtest::makeGrid(second, 3, 1, true, false);
    KXDXTriMeshImpl firstImpl(target.device.get(), target.device->getD3DCaps(), &first);
    KXDXTriMeshImpl secondImpl(target.device.get(), target.device->getD3DCaps(), &second);
    ASSERT_TRUE(firstImpl.hasPoolVertices() && secondImpl.hasPoolVertices());

    auto boundStream = [&] {
        IDirect3DVertexBuffer9* buffer = nullptr;
        UINT offset = 0, stride = 0;
        d3d->GetStreamSource(0, &buffer, &offset, &stride);
        if (buffer)
            buffer->Release();
        return buffer;
    };
    auto boundIndices = [&] {
        IDirect3DIndexBuffer9* buffer = nullptr;
        d3d->GetIndices(&buffer);
        if (buffer)
            buffer->Release();
        return buffer;
    };
    meshtest::renderFrame(target, {}, [&] {
        firstImpl.draw();
        IDirect3DVertexBuffer9* vertexBuffer = boundStream();
        IDirect3DIndexBuffer9* indexBuffer = boundIndices();
        ASSERT_NE(vertexBuffer, nullptr);
        EXPECT_EQ(target.device->getCurrentVertexBuffer(), vertexBuffer);
        EXPECT_EQ(target.device->getCurrentIndexBuffer(), indexBuffer);
        // Unbound behind the cache's back: the second mesh, in the same
        // buffers, trusts the cache and binds nothing.
        d3d->SetStreamSource(0, nullptr, 0, 0);
        d3d->SetIndices(nullptr);
        secondImpl.draw();
        EXPECT_EQ(boundStream(), nullptr);
        EXPECT_EQ(boundIndices(), nullptr);
        // Once the cache is forgotten, it binds them again.
        target.device->forgetBindings();
        secondImpl.draw();
        EXPECT_EQ(boundStream(), vertexBuffer);
        EXPECT_EQ(boundIndices(), indexBuffer);
    });
}

} // namespace
