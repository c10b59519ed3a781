// The device's side of drawing: its pipeline context (made at first use)
// and the calls that hand draws to the pipeline (pipeline/Draw.h), draw
// what waits in the batch, or drop it.

#include "d3d9/Pipeline.h"

#include "d3d9/Device.h"
#include "d3d9/DrawStateTranslation.h"
#include "pipeline/Draw.h"

#include <swd3d9.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <thread>

namespace swd3d9 {

using namespace pipeline;

namespace {

// The device's pipeline context, made at its first use; null when memory
// for it runs out. Its threads are as many as the machine has cores, or as
// many as start.
PipelineContext* contextOf(Device& device) noexcept
{
    std::shared_ptr<PipelineContext>& context = device.pipelineContext();
    if (!context) {
        try {
            context = std::make_shared<PipelineContext>();
        } catch (const std::exception&) {
            return nullptr;
        }
        context->pool.setThreadCount(std::max(1u, std::thread::hardware_concurrency()));
    }
    return context.get();
}

} // namespace

HRESULT drawPrimitives(Device& device, const DrawDescription& draw)
{
    PipelineContext* c = contextOf(device);
    if (!c)
        return E_OUTOFMEMORY;
    BatchMark mark{};
    try {
        DeviceStateTranslator translator(device.state());
        if (drawInto(*c, translator, draw, mark))
            return D3D_OK;
    } catch (const std::exception&) {
        // Memory ran out (std::bad_alloc, or a container's length_error).
    }
    if (mark.taken)
        rollBack(*c, mark);
    // The state this draw compiled may not have reached the batch: the
    // next draw compiles it again.
    c->pixelsValid = false;
    return E_OUTOFMEMORY;
}

void flushDraws(Device& device)
{
    if (PipelineContext* c = device.pipelineContext().get())
        flushBatch(*c);
}

bool runOnDrawingThreads(Device& device, unsigned count, void (*work)(void* context, unsigned index),
                         void* context)
{
    if (PipelineContext* c = contextOf(device))
        return c->pool.run(count, work, context);
    // Without a context (memory ran out) the caller does the work alone.
    try {
        for (unsigned i = 0; i < count; ++i)
            work(context, i);
    } catch (...) {
        return false;
    }
    return true;
}

void discardDraws(Device& device)
{
    if (PipelineContext* c = device.pipelineContext().get()) {
        discardBatch(*c);
    }
}

} // namespace swd3d9

extern "C" HRESULT WINAPI SwD3D9SetRasterThreadCount(IDirect3DDevice9* pDevice, UINT count)
{
    swd3d9::Device* device = swd3d9::toDevice(pDevice);
    if (!device)
        return D3DERR_INVALIDCALL;
    swd3d9::flushDraws(*device);
    swd3d9::pipeline::PipelineContext* context = swd3d9::contextOf(*device);
    if (!context)
        return E_OUTOFMEMORY;
    context->pool.setThreadCount(std::min(count, 64u));
    return D3D_OK;
}

extern "C" HRESULT WINAPI SwD3D9GetRasterThreadCount(IDirect3DDevice9* pDevice, UINT* pCount)
{
    swd3d9::Device* device = swd3d9::toDevice(pDevice);
    if (!device || !pCount)
        return D3DERR_INVALIDCALL;
    swd3d9::pipeline::PipelineContext* context = swd3d9::contextOf(*device);
    if (!context)
        return E_OUTOFMEMORY;
    *pCount = context->pool.threadCount();
    return D3D_OK;
}

extern "C" void WINAPI SwD3D9LimitThreadStarts(UINT count)
{
    swd3d9::pipeline::limitWorkerThreadStarts(count == SWD3D9_UNLIMITED_THREAD_STARTS ? -1 : int64_t{count});
}
