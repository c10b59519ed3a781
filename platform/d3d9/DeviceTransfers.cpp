// Clears and copies between surfaces and textures, with the pool, format
// and size rules of Direct3D 9.

#include "d3d9/Device.h"

#include "d3d9/Blit.h"
#include "pipeline/Formats.h"
#include "d3d9/Pipeline.h"
#include "d3d9/SwapChain.h"

#include <algorithm>
#include <cstring>

namespace swd3d9 {

namespace {

RECT wholeRect(const Surface& surface)
{
    return RECT{0, 0, static_cast<LONG>(surface.desc().Width), static_cast<LONG>(surface.desc().Height)};
}

RECT intersect(const RECT& a, const RECT& b)
{
    return RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                std::min(a.bottom, b.bottom)};
}

bool isEmpty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

// A clear's fill of one rectangle: a pixel value, or for a depth-stencil
// word the bits to keep (outside depthMask) and the new ones.
struct ClearFill {
    PixelBuffer* pixels;
    const uint8_t* pixel;
    uint32_t depthMask, depthValue;
    RECT rect;
};

constexpr LONG CLEAR_BAND_ROWS = 64;

// Rows top to bottom of the fill's rectangle, in every sample.
void fillRows(const ClearFill& f, LONG top, LONG bottom)
{
    const RECT r{f.rect.left, top, f.rect.right, bottom};
    if (f.depthMask == 0 || f.depthMask == 0xFFFFFFFFu) {
        fillRect(*f.pixels, r, f.pixel);
        return;
    }
    const UINT width = static_cast<UINT>(r.right - r.left);
    for (UINT s = 0; s < f.pixels->samples(); ++s)
        for (LONG y = r.top; y < r.bottom; ++y) {
            uint32_t* p =
                reinterpret_cast<uint32_t*>(f.pixels->pixel(static_cast<UINT>(r.left), static_cast<UINT>(y), 0, s));
            for (UINT x = 0; x < width; ++x)
                p[x] = (p[x] & ~f.depthMask) | f.depthValue;
        }
}

void fillBand(void* context, unsigned band)
{
    const ClearFill& f = *static_cast<const ClearFill*>(context);
    const LONG top = f.rect.top + static_cast<LONG>(band) * CLEAR_BAND_ROWS;
    fillRows(f, top, std::min(f.rect.bottom, top + CLEAR_BAND_ROWS));
}

} // namespace

HRESULT Device::clearSurface(Surface* surface, const RECT& area, DWORD count, const D3DRECT* rects, DWORD flags,
                             D3DCOLOR color, float z, DWORD stencil)
{
    PixelBuffer& pixels = surface->pixels();
    const RECT bounds = intersect(area, wholeRect(*surface));
    uint8_t pixel[16];
    uint32_t depthMask = 0, depthValue = 0;
    if (surface->isDepthStencil()) {
        const D3DFORMAT format = surface->desc().Format;
        const bool clearsDepth = (flags & D3DCLEAR_ZBUFFER) != 0;
        const bool clearsStencil = (flags & D3DCLEAR_STENCIL) != 0 && format == D3DFMT_D24S8;
        if (format == D3DFMT_D16) {
            if (!clearsDepth)
                return D3D_OK;
            const uint16_t value = static_cast<uint16_t>(depthToBits(format, z));
            std::memcpy(pixel, &value, 2);
        } else {
            // Depth in the high 24 bits, stencil in the low 8; a clear of
            // one leaves the other.
            if (clearsDepth) {
                depthMask |= 0xFFFFFF00u;
                depthValue |= depthToBits(format, z) << 8;
            }
            if (clearsStencil) {
                depthMask |= 0xFFu;
                depthValue |= stencil & 0xFFu;
            }
            if (depthMask == 0)
                return D3D_OK;
        }
    } else {
        encodeColor(surface->desc().Format, color, pixel);
    }
    if (depthMask == 0xFFFFFFFFu)
        std::memcpy(pixel, &depthValue, 4);
    // Large rectangles are filled in bands of rows on the drawing threads:
    // the bands are disjoint, so the result is the same.
    auto fill = [&](const RECT& r) {
        if (isEmpty(r))
            return;
        ClearFill f{&pixels, pixel, depthMask, depthValue, r};
        const LONG rows = r.bottom - r.top;
        if (rows < 2 * CLEAR_BAND_ROWS)
            fillRows(f, r.top, r.bottom);
        else
            // Filling allocates nothing: the bands cannot fail.
            runOnDrawingThreads(*this, static_cast<unsigned>((rows + CLEAR_BAND_ROWS - 1) / CLEAR_BAND_ROWS),
                                fillBand, &f);
    };
    if (count == 0) {
        fill(bounds);
    } else {
        for (DWORD i = 0; i < count; ++i) {
            const RECT r{rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2};
            fill(intersect(r, bounds));
        }
    }
    surface->noteContentChanged(&bounds);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::Clear(DWORD Count, CONST D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z,
                                        DWORD Stencil)
{
    flushDraws(*this);
    if (Flags == 0 || (Flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)))
        return D3DERR_INVALIDCALL;
    Surface* depth = m_state.depthStencil;
    if ((Flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !depth)
        return D3DERR_INVALIDCALL;
    if ((Flags & D3DCLEAR_STENCIL) && depth->desc().Format != D3DFMT_D24S8)
        return D3DERR_INVALIDCALL;
    if ((Flags & D3DCLEAR_ZBUFFER) && !(Z >= 0.0f && Z <= 1.0f))
        return D3DERR_INVALIDCALL;
    // Rectangles given with a count of zero clear nothing; a count without
    // rectangles clears the whole viewport (drivers accept both).
    if (Count == 0 && pRects)
        return D3D_OK;
    if (isLost())
        return D3D_OK;
    // The clear covers the viewport, and the scissor rectangle when the
    // scissor test is on.
    const D3DVIEWPORT9& v = m_state.viewport;
    // (The viewport may reach past the target: its corners are kept within
    // what a RECT holds before the surfaces cut it.)
    auto corner = [](uint64_t value) { return static_cast<LONG>(std::min<uint64_t>(value, 0x7FFFFFFF)); };
    RECT area{corner(v.X), corner(v.Y), corner(uint64_t{v.X} + v.Width), corner(uint64_t{v.Y} + v.Height)};
    if (m_state.renderStates[D3DRS_SCISSORTESTENABLE])
        area = intersect(area, m_state.scissorRect);
    const DWORD count = pRects ? Count : 0;
    if (Flags & D3DCLEAR_TARGET) {
        for (Surface* target : m_state.renderTargets) {
            if (target)
                clearSurface(target, area, count, pRects, D3DCLEAR_TARGET, Color, Z, Stencil);
        }
    }
    if (Flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL))
        clearSurface(depth, area, count, pRects, Flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL), Color, Z, Stencil);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::UpdateSurface(IDirect3DSurface9* pSourceSurface, CONST RECT* pSourceRect,
                                                IDirect3DSurface9* pDestinationSurface, CONST POINT* pDestPoint)
{
    flushDraws(*this);
    Surface* source = toSurface(pSourceSurface);
    Surface* target = toSurface(pDestinationSurface);
    if (!source || !target || source == target)
        return D3DERR_INVALIDCALL;
    // From system memory to the default pool, same format, no
    // multisampling, no depth buffers.
    if (source->desc().Pool != D3DPOOL_SYSTEMMEM || target->desc().Pool != D3DPOOL_DEFAULT)
        return D3DERR_INVALIDCALL;
    if (source->desc().Format != target->desc().Format || source->samples() > 1 || target->samples() > 1 ||
        source->isDepthStencil() || target->isDepthStencil() || source->isLocked() || target->isLocked())
        return D3DERR_INVALIDCALL;
    const RECT sourceRect = pSourceRect ? *pSourceRect : wholeRect(*source);
    if (!isValidRect(sourceRect, source->desc().Width, source->desc().Height))
        return D3DERR_INVALIDCALL;
    const POINT point = pDestPoint ? *pDestPoint : POINT{0, 0};
    const LONG width = sourceRect.right - sourceRect.left;
    const LONG height = sourceRect.bottom - sourceRect.top;
    const RECT targetRect{point.x, point.y, point.x + width, point.y + height};
    if (!isValidRect(targetRect, target->desc().Width, target->desc().Height))
        return D3DERR_INVALIDCALL;
    copyRect(source->pixels(), sourceRect, target->pixels(), static_cast<UINT>(point.x), static_cast<UINT>(point.y));
    target->noteContentChanged(&targetRect);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::UpdateTexture(IDirect3DBaseTexture9* pSourceTexture,
                                                IDirect3DBaseTexture9* pDestinationTexture)
{
    flushDraws(*this);
    TextureCore* source = toTexture(pSourceTexture);
    TextureCore* target = toTexture(pDestinationTexture);
    if (!source || !target || source == target)
        return D3DERR_INVALIDCALL;
    if (source->pool() != D3DPOOL_SYSTEMMEM || target->pool() != D3DPOOL_DEFAULT)
        return D3DERR_INVALIDCALL;
    if (source->kind() != target->kind() || source->format() != target->format())
        return D3DERR_INVALIDCALL;
    // The destination's levels match the source's last ones: its top level
    // has the size of source level (source levels - destination levels).
    if (source->levelCount() < target->levelCount())
        return D3DERR_INVALIDCALL;
    const UINT skip = source->levelCount() - target->levelCount();
    if (source->width(skip) != target->width(0) || source->height(skip) != target->height(0) ||
        source->depth(skip) != target->depth(0))
        return D3DERR_INVALIDCALL;
    for (UINT face = 0; face < source->faceCount(); ++face) {
        DirtyRegion& dirty = source->dirtyRegion(face);
        if (!dirty.any)
            continue;
        for (UINT level = 0; level < target->levelCount(); ++level) {
            const UINT shift = skip + level;
            // The dirty region at this level, rounded outwards.
            const UINT left = dirty.left >> shift, top = dirty.top >> shift, front = dirty.front >> shift;
            const UINT right = std::min(source->width(shift), (dirty.right + (1u << shift) - 1) >> shift);
            const UINT bottom = std::min(source->height(shift), (dirty.bottom + (1u << shift) - 1) >> shift);
            const UINT back = std::min(source->depth(shift), (dirty.back + (1u << shift) - 1) >> shift);
            if (left >= right || top >= bottom)
                continue;
            const RECT rect{static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(right),
                            static_cast<LONG>(bottom)};
            if (source->kind() == D3DRTYPE_VOLUMETEXTURE) {
                PixelBuffer& from = source->volume(shift)->pixels();
                PixelBuffer& to = target->volume(level)->pixels();
                const size_t bytes = static_cast<size_t>(right - left) * from.bytesPerPixel();
                for (UINT z = front; z < back; ++z)
                    for (UINT y = top; y < bottom; ++y)
                        std::memcpy(to.pixel(left, y, z), from.pixel(left, y, z), bytes);
            } else {
                copyRect(source->surface(face, shift)->pixels(), rect, target->surface(face, level)->pixels(), left,
                         top);
            }
            target->noteLevelChanged(face, level, left, top, front, right, bottom, back, false);
        }
        dirty.clear();
    }
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetRenderTargetData(IDirect3DSurface9* pRenderTarget,
                                                      IDirect3DSurface9* pDestSurface)
{
    flushDraws(*this);
    Surface* source = toSurface(pRenderTarget);
    Surface* target = toSurface(pDestSurface);
    if (!source || !target)
        return D3DERR_INVALIDCALL;
    // From a render target (not multisampled) to system memory of the same
    // size and format.
    if (!source->isRenderTarget() || source->desc().Pool != D3DPOOL_DEFAULT || source->samples() > 1 ||
        target->desc().Pool != D3DPOOL_SYSTEMMEM || target->isLocked())
        return D3DERR_INVALIDCALL;
    if (source->desc().Format != target->desc().Format || source->desc().Width != target->desc().Width ||
        source->desc().Height != target->desc().Height)
        return D3DERR_INVALIDCALL;
    if (isLost())
        return D3DERR_DEVICELOST;
    copyRect(source->pixels(), wholeRect(*source), target->pixels(), 0, 0);
    target->noteContentChanged(nullptr);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetFrontBufferData(UINT iSwapChain, IDirect3DSurface9* pDestSurface)
{
    flushDraws(*this);
    if (iSwapChain != 0 || !m_swapChain)
        return D3DERR_INVALIDCALL;
    return m_swapChain->GetFrontBufferData(pDestSurface);
}

HRESULT STDMETHODCALLTYPE Device::StretchRect(IDirect3DSurface9* pSourceSurface, CONST RECT* pSourceRect,
                                              IDirect3DSurface9* pDestSurface, CONST RECT* pDestRect,
                                              D3DTEXTUREFILTERTYPE Filter)
{
    flushDraws(*this);
    Surface* source = toSurface(pSourceSurface);
    Surface* target = toSurface(pDestSurface);
    if (!source || !target)
        return D3DERR_INVALIDCALL;
    if (Filter != D3DTEXF_NONE && Filter != D3DTEXF_POINT && Filter != D3DTEXF_LINEAR)
        return D3DERR_INVALIDCALL;
    // A filter needs its StretchRectFilterCaps, and the levels of textures
    // take part only where the device says it copies from textures.
    const DWORD filterCaps = Filter == D3DTEXF_LINEAR ? D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MAGFLINEAR
                             : Filter == D3DTEXF_POINT ? D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MAGFPOINT
                                                       : 0;
    if ((caps().StretchRectFilterCaps & filterCaps) != filterCaps)
        return D3DERR_INVALIDCALL;
    if ((source->texture() || target->texture()) && !(caps().DevCaps2 & D3DDEVCAPS2_CAN_STRETCHRECT_FROM_TEXTURES))
        return D3DERR_INVALIDCALL;
    if (source->desc().Pool != D3DPOOL_DEFAULT || target->desc().Pool != D3DPOOL_DEFAULT || source->isLocked() ||
        target->isLocked())
        return D3DERR_INVALIDCALL;
    const RECT sourceRect = pSourceRect ? *pSourceRect : wholeRect(*source);
    const RECT targetRect = pDestRect ? *pDestRect : wholeRect(*target);
    if (!isValidRect(sourceRect, source->desc().Width, source->desc().Height) ||
        !isValidRect(targetRect, target->desc().Width, target->desc().Height))
        return D3DERR_INVALIDCALL;
    if (source == target && rectsOverlap(sourceRect, targetRect))
        return D3DERR_INVALIDCALL;
    const bool sameSize = sourceRect.right - sourceRect.left == targetRect.right - targetRect.left &&
                          sourceRect.bottom - sourceRect.top == targetRect.bottom - targetRect.top;

    if (source->isDepthStencil() || target->isDepthStencil()) {
        // Depth buffers copy whole (rectangles, when given, cover the whole
        // surface), unscaled, outside a scene. A multisampled buffer copied
        // into a single-sample one is resolved, as drivers do, by taking
        // each pixel's first sample.
        const RECT whole = wholeRect(*source);
        const bool wholeRects = (!pSourceRect || std::memcmp(&sourceRect, &whole, sizeof(RECT)) == 0) &&
                                (!pDestRect || std::memcmp(&targetRect, &whole, sizeof(RECT)) == 0);
        const bool samplesFit = source->samples() == target->samples() || target->samples() <= 1;
        if (!source->isDepthStencil() || !target->isDepthStencil() || m_inScene || !wholeRects ||
            source->desc().Format != target->desc().Format || source->desc().Width != target->desc().Width ||
            source->desc().Height != target->desc().Height || !samplesFit)
            return D3DERR_INVALIDCALL;
        if (isLost())
            return D3D_OK;
        if (source->samples() == target->samples()) {
            copyRect(source->pixels(), sourceRect, target->pixels(), 0, 0);
        } else {
            const PixelBuffer& from = source->pixels();
            PixelBuffer& to = target->pixels();
            const size_t bytes = static_cast<size_t>(from.width()) * from.bytesPerPixel();
            for (UINT y = 0; y < from.height(); ++y)
                std::memcpy(to.pixel(0, y), from.pixel(0, y, 0, 0), bytes);
        }
        return D3D_OK;
    }
    // The destination is a render target: drivers refuse off-screen plain
    // surfaces there, although the documentation's table lists same-size
    // copies into them.
    if (!target->isRenderTarget())
        return D3DERR_INVALIDCALL;
    // A multisampled destination takes only same-size copies of a surface
    // with the same samples; a multisampled source is resolved.
    if (target->samples() > 1 && (source->samples() != target->samples() || !sameSize))
        return D3DERR_INVALIDCALL;
    if (isLost())
        return D3D_OK;
    if (!stretchRect(source->pixels(), sourceRect, target->pixels(), targetRect, Filter == D3DTEXF_LINEAR))
        return E_OUTOFMEMORY;
    target->noteContentChanged(&targetRect);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::ColorFill(IDirect3DSurface9* pSurface, CONST RECT* pRect, D3DCOLOR color)
{
    flushDraws(*this);
    Surface* surface = toSurface(pSurface);
    if (!surface || surface->desc().Pool != D3DPOOL_DEFAULT || surface->isDepthStencil() || surface->isLocked())
        return D3DERR_INVALIDCALL;
    // Render targets and plain surfaces; not the parts of other textures.
    if (surface->texture() && !surface->isRenderTarget())
        return D3DERR_INVALIDCALL;
    const RECT rect = pRect ? *pRect : wholeRect(*surface);
    if (!isValidRect(rect, surface->desc().Width, surface->desc().Height))
        return D3DERR_INVALIDCALL;
    if (isLost())
        return D3D_OK;
    uint8_t pixel[16];
    encodeColor(surface->desc().Format, color, pixel);
    fillRect(surface->pixels(), rect, pixel);
    surface->noteContentChanged(&rect);
    return D3D_OK;
}

} // namespace swd3d9
