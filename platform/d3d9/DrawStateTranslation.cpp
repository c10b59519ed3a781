#include "d3d9/DrawStateTranslation.h"

#include "d3d9/PixelStateTranslation.h"
#include "d3d9/ProgramShaders.h"
#include "d3d9/Resources.h"
#include "d3d9/VertexStateTranslation.h"

#include <algorithm>
#include <cstring>

namespace swd3d9 {

using namespace pipeline;

namespace {

constexpr uint32_t PIXEL_STATE_BITS = DIRTY_RENDER_STATES | DIRTY_STAGE_STATES | DIRTY_SAMPLER_STATES |
                                      DIRTY_TEXTURES | DIRTY_TARGETS | DIRTY_VIEWPORT | DIRTY_SCISSOR |
                                      DIRTY_PROJECTION | DIRTY_SHADERS | DIRTY_SHADER_CONSTANTS;

// The target view of the current render target 0 and depth buffer: the
// viewport, intersected with the scissor rectangle and the surfaces.
bool buildTarget(const DeviceState& state, TargetView& target)
{
    Surface* color = state.renderTargets[0];
    if (!color)
        return false;
    target.color = &color->pixels();
    target.colorFormat = color->desc().Format;
    target.samples = std::max<UINT>(1, color->pixels().samples());
    int right = static_cast<int>(color->desc().Width);
    int bottom = static_cast<int>(color->desc().Height);
    target.depth = nullptr;
    target.depthFormat = D3DFMT_UNKNOWN;
    if (Surface* depth = state.depthStencil) {
        target.depth = &depth->pixels();
        target.depthFormat = depth->desc().Format;
        right = std::min(right, static_cast<int>(depth->desc().Width));
        bottom = std::min(bottom, static_cast<int>(depth->desc().Height));
    }
    const D3DVIEWPORT9& vp = state.viewport;
    target.viewportX = static_cast<float>(vp.X);
    target.viewportY = static_cast<float>(vp.Y);
    target.viewportWidth = static_cast<float>(vp.Width);
    target.viewportHeight = static_cast<float>(vp.Height);
    target.minZ = vp.MinZ;
    target.maxZ = vp.MaxZ;
    // The viewport may reach past the surfaces.
    int left = static_cast<int>(std::min<int64_t>(vp.X, right));
    int top = static_cast<int>(std::min<int64_t>(vp.Y, bottom));
    right = static_cast<int>(std::min<int64_t>(right, static_cast<int64_t>(vp.X) + vp.Width));
    bottom = static_cast<int>(std::min<int64_t>(bottom, static_cast<int64_t>(vp.Y) + vp.Height));
    if (state.renderStates[D3DRS_SCISSORTESTENABLE]) {
        const RECT& r = state.scissorRect;
        left = std::max<int>(left, r.left);
        top = std::max<int>(top, r.top);
        right = std::min<int>(right, r.right);
        bottom = std::min<int>(bottom, r.bottom);
    }
    target.clipLeft = left;
    target.clipTop = top;
    target.clipRight = right;
    target.clipBottom = bottom;
    return left < right && top < bottom;
}

// What the draw's pixel state reads and writes: the target, the depth
// buffer, the pixel shader and every sampler's texture.
void listDrawObjects(const DeviceState& state, DrawObjects& objects)
{
    static_assert(3 + SAMPLER_COUNT <= MAX_DRAW_OBJECTS, "every object fits");
    Surface* target = state.renderTargets[0];
    objects.target = target;
    objects.targetWidth = static_cast<int>(target->desc().Width);
    objects.targetHeight = static_cast<int>(target->desc().Height);
    int count = 0;
    auto hold = [&](Lifetime* object) {
        if (object)
            objects.held[count++] = object;
    };
    hold(target);
    hold(state.depthStencil);
    hold(state.pixelShader);
    for (TextureCore* texture : state.textures)
        if (texture)
            hold(&texture->resource());
    objects.heldCount = count;
}

} // namespace

bool compileDrawState(PipelineContext& c, DeviceState& state, const DrawDescription& draw, CompiledDraw& out)
{
    // A shader whose program cannot run draws nothing.
    auto runnable = [](const Shader* shader) {
        return !shader || (shader->program() && shader->program()->executable());
    };
    if (!runnable(state.vertexShader) || !runnable(state.pixelShader))
        return false;
    out.fillMode = state.renderStates[D3DRS_FILLMODE];
    out.cullMode = state.renderStates[D3DRS_CULLMODE];

    VertexLayout& layout = out.layout;
    bool haveLayout = draw.declaration ? layoutFromDeclaration(*draw.declaration, layout)
                                       : layoutFromFvf(draw.fvf, layout);
    // Transformed vertices bypass vertex processing, the program's too.
    out.programmedVertices = state.vertexShader && !(haveLayout && layout.pretransformed);
    const bool programmedVertices = out.programmedVertices;
    if (programmedVertices) {
        layout.pretransformed = false;
        haveLayout = true;
    }
    if (!haveLayout)
        return false;

    const uint32_t dirty = state.dirty;
    state.dirty = 0;
    if (dirty & (DIRTY_LIGHTS | DIRTY_VIEW))
        c.lightsPrepared = false;
    out.pixelsChanged = false;
    if (!c.pixelsValid || (dirty & PIXEL_STATE_BITS)) {
        std::memset(&c.pixels.target, 0, sizeof(c.pixels.target));
        c.pixelsValid = buildTarget(state, c.pixels.target);
        if (c.pixelsValid)
            buildPixelState(state, c.pixels);
        out.pixelsChanged = true;
    } else if (c.pixels.key.textured) {
        prepareSamplers(state, c.pixels);
        out.pixelsChanged = true;
    }
    if (!c.pixelsValid)
        return false;
    const PixelContext& pixels = c.pixels;
    if (programmedVertices) {
        std::memset(&c.vertexProgram, 0, sizeof(c.vertexProgram));
        if (!buildVertexProgram(state, state.vertexShader, draw, pixels.varyingCount, c.vertexSamplers,
                                c.vertexProgram))
            return false;
    } else {
        buildVertexState(state, layout, pixels.key.stageCount, c.vertexKey, c.vertexConstants, c.lightsPrepared);
        if (c.vertexKey.lighting)
            c.lightsPrepared = true;
    }
    listDrawObjects(state, out.objects);
    return true;
}

} // namespace swd3d9
