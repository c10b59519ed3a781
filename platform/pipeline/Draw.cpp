// The drawing pipeline for one validated draw, stage by stage: the state
// compiled into keys (StateCompiler, by the device's translation), vertex
// fetch and shading
// (VertexProcessing), primitive assembly with clipping, culling and
// triangle setup (PrimitiveAssembly), binning into tiles, and the
// rasterisation of tiles by the worker pool (DrawBatch, Rasterizer).
//
// Triangles wait in a batch that spans draws and is rasterised tile by
// tile when something is about to look at or change what they draw into or
// read from (flushBatch): many small draws then share the worker threads
// and each tile's pixels stay in cache across draws. Within a tile,
// triangles keep their draw and primitive order, so the image is the same
// as drawing each call at once. Lines and points are drawn at once.

#include "pipeline/Draw.h"

#include "pipeline/PrimitiveAssembly.h"
#include "pipeline/StateCompiler.h"
#include "pipeline/VertexProcessing.h"

namespace swd3d9 {
namespace pipeline {

bool drawInto(PipelineContext& c, DrawStateTranslator& translator, const DrawDescription& draw, BatchMark& mark)
{
    CompiledDraw compiled;
    if (!translator.compileDrawState(c, draw, compiled))
        return true;
    UINT first, count;
    if (!drawnVertices(c, draw, compiled.layout, compiled.programmedVertices, first, count))
        return true;
    const SetupParameters setup = setupParameters(c, compiled);
    const DWORD fillMode = compiled.fillMode;
    if (!processVertices(c, draw, compiled.layout, compiled.programmedVertices, setup, fillMode, first, count))
        return false;

    const bool drawsLines = draw.primitiveType == D3DPT_POINTLIST || draw.primitiveType == D3DPT_LINELIST ||
                            draw.primitiveType == D3DPT_LINESTRIP || fillMode != D3DFILL_SOLID;
    const uint16_t context = enterBatch(c, compiled.objects, drawsLines, compiled.pixelsChanged, mark);
    if (drawsLines)
        c.output.clear();
    if (!assemblePrimitives(c, draw, setup, fillMode, first, count, drawsLines ? c.output : c.batch))
        return false;
    if (drawsLines)
        return drawLinesNow(c, *compiled.objects.target);
    binNewTriangles(c, mark, context);
    return true;
}

} // namespace pipeline
} // namespace swd3d9
