#include "d3d9/Resources.h"

#include "d3d9/Caps.h"
#include "pipeline/Formats.h"
#include "d3d9/Pipeline.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <new>

namespace swd3d9 {

namespace {

UINT levelSize(UINT size, UINT level) { return std::max(1u, size >> level); }

// Checks a lock rectangle against a surface; fills the whole surface for a
// null rectangle.
bool resolveRect(const RECT* rect, UINT width, UINT height, RECT& out)
{
    if (!rect) {
        out.left = 0;
        out.top = 0;
        out.right = static_cast<LONG>(width);
        out.bottom = static_cast<LONG>(height);
        return true;
    }
    if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
        rect->right > static_cast<LONG>(width) || rect->bottom > static_cast<LONG>(height))
        return false;
    out = *rect;
    return true;
}

bool resolveBox(const D3DBOX* box, UINT width, UINT height, UINT depth, D3DBOX& out)
{
    if (!box) {
        out = D3DBOX{0, 0, width, height, 0, depth};
        return true;
    }
    if (box->Left >= box->Right || box->Top >= box->Bottom || box->Front >= box->Back || box->Right > width ||
        box->Bottom > height || box->Back > depth)
        return false;
    out = *box;
    return true;
}

// Texture parts are lockable in every pool but the default one, and there
// only when dynamic; render-target and depth-stencil parts never.
bool partIsLockable(D3DPOOL pool, DWORD usage)
{
    if (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL))
        return false;
    return pool != D3DPOOL_DEFAULT || (usage & D3DUSAGE_DYNAMIC);
}

// Target texels of a mip level computed at a time, through buffers on the
// stack: generating mipmaps allocates nothing, so it cannot fail.
constexpr UINT MIP_SPAN = 64;

// A mip level from the level above it: each texel averages the 2x2(x2)
// block above it (point filtering takes its first texel); sides of odd or
// unit length repeat their last texel.
void downsampleLevel(D3DFORMAT format, const PixelBuffer& from, PixelBuffer& to, bool point)
{
    const UINT sw = from.width(), sh = from.height(), sd = from.depth();
    const UINT tw = to.width(), th = to.height(), td = to.depth();
    const UINT dz = (sd > 1 && !point) ? 2 : 1;
    const UINT dy = (sh > 1 && !point) ? 2 : 1;
    const UINT dx = (sw > 1 && !point) ? 2 : 1;
    // Source rows (two slices of two rows) of one span, and its result.
    float source[2][2][2 * MIP_SPAN * 4];
    float target[MIP_SPAN * 4];
    for (UINT z = 0; z < td; ++z) {
        for (UINT y = 0; y < th; ++y) {
            for (UINT x0 = 0; x0 < tw; x0 += MIP_SPAN) {
                const UINT count = std::min(MIP_SPAN, tw - x0);
                // The source columns the span reads: at most two per texel.
                const UINT first = std::min(sw - 1, x0 * 2);
                const UINT last = std::min(sw - 1, (x0 + count - 1) * 2 + dx - 1);
                for (UINT k = 0; k < dz; ++k) {
                    for (UINT j = 0; j < dy; ++j) {
                        const UINT sz = std::min(sd - 1, (sd > 1 ? z * 2 : z) + k);
                        const UINT sy = std::min(sh - 1, y * 2 + j);
                        decodePixels(format, from.pixel(first, sy, sz), last - first + 1, source[k][j]);
                    }
                }
                for (UINT i = 0; i < count; ++i) {
                    const UINT x = x0 + i;
                    float sum[4] = {0, 0, 0, 0};
                    UINT samples = 0;
                    for (UINT k = 0; k < dz; ++k)
                        for (UINT j = 0; j < dy; ++j)
                            for (UINT n = 0; n < dx; ++n) {
                                const UINT sx = std::min(sw - 1, x * 2 + n);
                                const float* p = &source[k][j][(sx - first) * 4];
                                for (int c = 0; c < 4; ++c)
                                    sum[c] += p[c];
                                ++samples;
                            }
                    for (int c = 0; c < 4; ++c)
                        target[i * 4 + c] = sum[c] / static_cast<float>(samples);
                }
                encodePixels(format, target, count, to.pixel(x0, y, z));
            }
        }
    }
}

} // namespace

// ResourceCore

ResourceCore::ResourceCore(Device* device, D3DRESOURCETYPE type, D3DPOOL pool, DWORD usage, ULONG initialRefs,
                           bool registered)
    : Lifetime(initialRefs), m_device(device), m_type(type), m_pool(pool), m_usage(usage), m_registered(registered)
{
    if (m_registered)
        registerResource(m_device, this);
    if (initialRefs > 0)
        onPublicRefsStarted();
}

void flushPendingDraws(Device* device)
{
    if (device)
        flushDraws(*device);
}

ResourceCore::~ResourceCore()
{
    if (m_registered && m_device)
        unregisterResource(m_device, this);
}

void ResourceCore::onPublicRefsStarted()
{
    if (m_registered && m_device)
        deviceInterface(m_device)->AddRef();
}

void ResourceCore::onPublicRefsEnded()
{
    if (m_registered && m_device)
        deviceInterface(m_device)->Release();
}

// DirtyRegion

void DirtyRegion::add(UINT l, UINT t, UINT f, UINT r, UINT b, UINT k)
{
    if (!any) {
        left = l, top = t, front = f, right = r, bottom = b, back = k;
        any = true;
        return;
    }
    left = std::min(left, l);
    top = std::min(top, t);
    front = std::min(front, f);
    right = std::max(right, r);
    bottom = std::max(bottom, b);
    back = std::max(back, k);
}

// Surface

Surface::Surface(Device* device, const D3DSURFACE_DESC& desc, bool lockable, ULONG initialRefs, bool registered)
    : ResourceImpl(device, D3DRTYPE_SURFACE, desc.Pool, desc.Usage, initialRefs, registered), m_desc(desc),
      m_lockable(lockable)
{
}

Surface* Surface::createStandalone(Device* device, const D3DSURFACE_DESC& desc, bool lockable, bool deviceOwned)
{
    Surface* surface = new (std::nothrow) Surface(device, desc, lockable, deviceOwned ? 0 : 1, true);
    if (!surface)
        return nullptr;
    surface->setOwnedElsewhere(deviceOwned);
    if (!surface->m_pixels.allocate(desc.Format, desc.Width, desc.Height, 1,
                                    samplesPerPixel(desc.MultiSampleType, desc.MultiSampleQuality))) {
        if (deviceOwned)
            delete surface;
        else
            surface->Release();
        return nullptr;
    }
    return surface;
}

Surface* Surface::createPart(Device* device, const D3DSURFACE_DESC& desc, bool lockable, TextureCore* texture,
                             UINT face, UINT level)
{
    Surface* surface = new (std::nothrow) Surface(device, desc, lockable, 0, false);
    if (!surface)
        return nullptr;
    surface->setOwnedElsewhere(true);
    surface->m_texture = texture;
    surface->m_face = face;
    surface->m_level = level;
    if (!surface->m_pixels.allocate(desc.Format, desc.Width, desc.Height, 1, 1)) {
        delete surface;
        return nullptr;
    }
    return surface;
}

void Surface::noteContentChanged(const RECT* rect)
{
    if (m_texture)
        m_texture->noteLevelChanged(m_face, m_level, rect, true);
}

void Surface::addInternalRef()
{
    if (m_texture)
        m_texture->resource().addInternalRef();
    else
        Lifetime::addInternalRef();
}

void Surface::releaseInternalRef()
{
    if (m_texture)
        m_texture->resource().releaseInternalRef();
    else
        Lifetime::releaseInternalRef();
}

HRESULT STDMETHODCALLTYPE Surface::QueryInterface(REFIID riid, void** ppvObject)
{
    return answerQuery<IDirect3DSurface9>(this, riid, ppvObject,
                                          {&IID_IUnknown, &IID_IDirect3DResource9, &IID_IDirect3DSurface9});
}

// The surfaces of a texture share its reference count.
ULONG STDMETHODCALLTYPE Surface::AddRef()
{
    return m_texture ? m_texture->textureInterface()->AddRef() : addPublicRef();
}

ULONG STDMETHODCALLTYPE Surface::Release()
{
    return m_texture ? m_texture->textureInterface()->Release() : releasePublicRef();
}

HRESULT STDMETHODCALLTYPE Surface::GetContainer(REFIID riid, void** ppContainer)
{
    if (!ppContainer)
        return D3DERR_INVALIDCALL;
    if (m_texture)
        return m_texture->textureInterface()->QueryInterface(riid, ppContainer);
    if (m_swapChain)
        return swapChainInterface(m_swapChain)->QueryInterface(riid, ppContainer);
    IDirect3DDevice9* device = deviceInterface(m_device);
    if (!device)
        return D3DERR_INVALIDCALL;
    return device->QueryInterface(riid, ppContainer);
}

HRESULT STDMETHODCALLTYPE Surface::GetDesc(D3DSURFACE_DESC* pDesc)
{
    if (!pDesc)
        return D3DERR_INVALIDCALL;
    *pDesc = m_desc;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Surface::LockRect(D3DLOCKED_RECT* pLockedRect, CONST RECT* pRect, DWORD Flags)
{
    flushPendingDraws(device());
    if (!pLockedRect)
        return D3DERR_INVALIDCALL;
    // A lock that fails leaves the caller's structure as it was.
    RECT rect;
    if (!m_lockable || m_locked || !resolveRect(pRect, m_desc.Width, m_desc.Height, rect))
        return D3DERR_INVALIDCALL;
    pLockedRect->Pitch = static_cast<INT>(m_pixels.pitch());
    pLockedRect->pBits = m_pixels.pixel(static_cast<UINT>(rect.left), static_cast<UINT>(rect.top));
    m_locked = true;
    m_lockWrites = !(Flags & D3DLOCK_READONLY);
    if (m_lockWrites && m_texture && (Flags & D3DLOCK_NO_DIRTY_UPDATE))
        m_texture->keepDeviceCopy(m_face, m_level);
    if (m_lockWrites && m_texture)
        m_texture->noteLevelChanged(m_face, m_level, &rect, !(Flags & D3DLOCK_NO_DIRTY_UPDATE));
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Surface::UnlockRect()
{
    // Unlocking a level of a 2D texture that is not locked succeeds, as
    // Direct3D answers; other surfaces refuse it.
    if (!m_locked)
        return m_texture && m_texture->kind() == D3DRTYPE_TEXTURE ? D3D_OK : D3DERR_INVALIDCALL;
    m_locked = false;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Surface::GetDC(HDC* phdc)
{
    // No GDI on this platform.
    if (phdc)
        *phdc = nullptr;
    return D3DERR_INVALIDCALL;
}

HRESULT STDMETHODCALLTYPE Surface::ReleaseDC(HDC hdc)
{
    (void)hdc;
    return D3DERR_INVALIDCALL;
}

// Volume

Volume::Volume(const D3DVOLUME_DESC& desc, bool lockable, TextureCore* texture, UINT level)
    : Lifetime(0), m_desc(desc), m_lockable(lockable), m_texture(texture), m_level(level)
{
    setOwnedElsewhere(true);
}

bool Volume::allocate()
{
    // LockBox reports the slice pitch as an INT too.
    const uint64_t slice = uint64_t{m_desc.Width} * m_desc.Height * bytesPerPixel(m_desc.Format);
    if (slice > static_cast<uint64_t>(std::numeric_limits<INT>::max()))
        return false;
    return m_pixels.allocate(m_desc.Format, m_desc.Width, m_desc.Height, m_desc.Depth, 1);
}

void Volume::addInternalRef() { m_texture->resource().addInternalRef(); }
void Volume::releaseInternalRef() { m_texture->resource().releaseInternalRef(); }

HRESULT STDMETHODCALLTYPE Volume::QueryInterface(REFIID riid, void** ppvObject)
{
    return answerQuery<IDirect3DVolume9>(this, riid, ppvObject, {&IID_IUnknown, &IID_IDirect3DVolume9});
}

ULONG STDMETHODCALLTYPE Volume::AddRef() { return m_texture->textureInterface()->AddRef(); }
ULONG STDMETHODCALLTYPE Volume::Release() { return m_texture->textureInterface()->Release(); }

HRESULT STDMETHODCALLTYPE Volume::GetDevice(IDirect3DDevice9** ppDevice)
{
    if (!ppDevice)
        return D3DERR_INVALIDCALL;
    return m_texture->textureInterface()->GetDevice(ppDevice);
}

HRESULT STDMETHODCALLTYPE Volume::SetPrivateData(REFGUID refguid, CONST void* pData, DWORD SizeOfData, DWORD Flags)
{
    return m_privateData.set(refguid, pData, SizeOfData, Flags);
}

HRESULT STDMETHODCALLTYPE Volume::GetPrivateData(REFGUID refguid, void* pData, DWORD* pSizeOfData)
{
    return m_privateData.get(refguid, pData, pSizeOfData);
}

HRESULT STDMETHODCALLTYPE Volume::FreePrivateData(REFGUID refguid) { return m_privateData.free(refguid); }

HRESULT STDMETHODCALLTYPE Volume::GetContainer(REFIID riid, void** ppContainer)
{
    if (!ppContainer)
        return D3DERR_INVALIDCALL;
    return m_texture->textureInterface()->QueryInterface(riid, ppContainer);
}

HRESULT STDMETHODCALLTYPE Volume::GetDesc(D3DVOLUME_DESC* pDesc)
{
    if (!pDesc)
        return D3DERR_INVALIDCALL;
    *pDesc = m_desc;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Volume::LockBox(D3DLOCKED_BOX* pLockedVolume, CONST D3DBOX* pBox, DWORD Flags)
{
    flushPendingDraws(m_texture->resource().device());
    if (!pLockedVolume)
        return D3DERR_INVALIDCALL;
    D3DBOX box;
    // A lock that fails leaves the caller's structure as it was.
    if (!m_lockable || m_locked || !resolveBox(pBox, m_desc.Width, m_desc.Height, m_desc.Depth, box))
        return D3DERR_INVALIDCALL;
    pLockedVolume->RowPitch = static_cast<INT>(m_pixels.pitch());
    pLockedVolume->SlicePitch = static_cast<INT>(m_pixels.slicePitch());
    pLockedVolume->pBits = m_pixels.pixel(box.Left, box.Top, box.Front);
    m_locked = true;
    m_lockWrites = !(Flags & D3DLOCK_READONLY);
    if (m_lockWrites && (Flags & D3DLOCK_NO_DIRTY_UPDATE))
        m_texture->keepDeviceCopy(0, m_level);
    if (m_lockWrites)
        m_texture->noteLevelChanged(0, m_level, box.Left, box.Top, box.Front, box.Right, box.Bottom, box.Back,
                                    !(Flags & D3DLOCK_NO_DIRTY_UPDATE));
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Volume::UnlockBox()
{
    if (!m_locked)
        return D3DERR_INVALIDCALL;
    m_locked = false;
    return D3D_OK;
}

// TextureCore

UINT fullMipChain(UINT width, UINT height, UINT depth)
{
    UINT size = std::max(width, std::max(height, depth));
    UINT levels = 1;
    while (size > 1) {
        size >>= 1;
        ++levels;
    }
    return levels;
}

TextureCore::~TextureCore() = default;

UINT TextureCore::width(UINT level) const { return levelSize(m_width, level); }
UINT TextureCore::height(UINT level) const { return levelSize(m_height, level); }
UINT TextureCore::depth(UINT level) const { return levelSize(m_depth, level); }

Surface* TextureCore::surface(UINT face, UINT level) const
{
    if (face >= m_faces || level >= m_storedLevels || m_surfaces.empty())
        return nullptr;
    return m_surfaces[face * m_storedLevels + level];
}

Volume* TextureCore::volume(UINT level) const { return level < m_volumes.size() ? m_volumes[level] : nullptr; }

bool TextureCore::build(Device* device, D3DRESOURCETYPE kind, UINT width, UINT height, UINT depth, UINT levels,
                        DWORD usage, D3DFORMAT format, D3DPOOL pool)
{
    m_kind = kind;
    m_format = format;
    m_textureUsage = usage;
    m_texturePool = pool;
    m_width = width;
    m_height = height;
    m_depth = kind == D3DRTYPE_VOLUMETEXTURE ? depth : 1;
    m_faces = kind == D3DRTYPE_CUBETEXTURE ? 6 : 1;
    const UINT full = fullMipChain(m_width, m_height, m_depth);
    m_storedLevels = (levels == 0 || levels > full) ? full : levels;
    // A texture that generates its mipmaps shows only its top level.
    m_levelCount = (usage & D3DUSAGE_AUTOGENMIPMAP) ? 1 : m_storedLevels;
    const bool lockable = partIsLockable(pool, usage);
    try {
        if (kind == D3DRTYPE_VOLUMETEXTURE) {
            m_volumes.reserve(m_storedLevels);
            for (UINT level = 0; level < m_storedLevels; ++level) {
                D3DVOLUME_DESC desc{format, D3DRTYPE_VOLUME, usage, pool, this->width(level), this->height(level),
                                    this->depth(level)};
                Volume* volume = new Volume(desc, lockable, this, level);
                m_volumes.push_back(volume);
                if (!volume->allocate())
                    return false;
            }
        } else {
            m_surfaces.reserve(static_cast<size_t>(m_faces) * m_storedLevels);
            for (UINT face = 0; face < m_faces; ++face) {
                for (UINT level = 0; level < m_storedLevels; ++level) {
                    D3DSURFACE_DESC desc{format, D3DRTYPE_SURFACE, usage, pool, D3DMULTISAMPLE_NONE, 0,
                                         this->width(level), this->height(level)};
                    Surface* surface = Surface::createPart(device, desc, lockable, this, face, level);
                    if (!surface)
                        return false;
                    m_surfaces.push_back(surface);
                }
            }
        }
    } catch (const std::exception&) {
        return false;
    }
    // A new texture counts as changed everywhere.
    for (UINT face = 0; face < m_faces; ++face)
        m_dirty[face].add(0, 0, 0, m_width, m_height, m_depth);
    return true;
}

void TextureCore::destroyParts()
{
    for (Surface* surface : m_surfaces)
        delete surface;
    for (Volume* volume : m_volumes)
        delete volume;
    m_surfaces.clear();
    m_volumes.clear();
}

void TextureCore::noteLevelChanged(UINT face, UINT level, UINT left, UINT top, UINT front, UINT right, UINT bottom,
                                   UINT back, bool trackDirty)
{
    if (face >= m_faces)
        return;
    if (trackDirty) {
        // Regions are kept in top-level coordinates.
        m_dirty[face].add(std::min(m_width, left << level), std::min(m_height, top << level),
                          std::min(m_depth, front << level), std::min(m_width, right << level),
                          std::min(m_height, bottom << level), std::min(m_depth, back << level));
    }
    if (level == 0 && generatesMipmaps())
        m_mipsStale = true;
}

void TextureCore::noteLevelChanged(UINT face, UINT level, const RECT* rect, bool trackDirty)
{
    if (rect)
        noteLevelChanged(face, level, static_cast<UINT>(std::max<LONG>(0, rect->left)),
                         static_cast<UINT>(std::max<LONG>(0, rect->top)), 0,
                         static_cast<UINT>(std::max<LONG>(0, rect->right)),
                         static_cast<UINT>(std::max<LONG>(0, rect->bottom)), 1, trackDirty);
    else
        noteLevelChanged(face, level, 0, 0, 0, width(level), height(level), depth(level), trackDirty);
}

void TextureCore::prepareForSampling()
{
    if (m_mipsStale)
        regenerateMipmaps();
    // Sampling brings a managed texture's dirty regions to the device.
    if (!m_deviceCopies.empty()) {
        refreshDeviceCopies();
    } else if (m_texturePool == D3DPOOL_MANAGED) {
        for (UINT face = 0; face < m_faces; ++face)
            m_dirty[face].clear();
    }
    m_sampled = true;
}

const PixelBuffer& TextureCore::levelPixels(UINT face, UINT level) const
{
    return m_kind == D3DRTYPE_VOLUMETEXTURE ? volume(level)->pixels() : surface(face, level)->pixels();
}

const PixelBuffer& TextureCore::sampledPixels(UINT face, UINT level) const
{
    const size_t index = static_cast<size_t>(face) * m_storedLevels + level;
    if (index < m_deviceCopies.size() && m_deviceCopies[index])
        return *m_deviceCopies[index];
    return levelPixels(face, level);
}

void TextureCore::keepDeviceCopy(UINT face, UINT level)
{
    // Only managed textures have a copy apart from the application's; a
    // texture that generates its levels rewrites them itself.
    if (m_texturePool != D3DPOOL_MANAGED || generatesMipmaps() || !m_sampled)
        return;
    const size_t index = static_cast<size_t>(face) * m_storedLevels + level;
    try {
        if (m_deviceCopies.empty())
            m_deviceCopies.resize(static_cast<size_t>(m_faces) * m_storedLevels);
    } catch (const std::exception&) {
        return;
    }
    if (m_deviceCopies[index])
        return;
    // Without memory for the copy the write shows at once, as it did.
    std::unique_ptr<PixelBuffer> copy(new (std::nothrow) PixelBuffer);
    const PixelBuffer& pixels = levelPixels(face, level);
    if (!copy || !copy->allocate(pixels.format(), pixels.width(), pixels.height(), pixels.depth(), 1))
        return;
    std::memcpy(copy->data(), pixels.data(), pixels.planeSize());
    m_deviceCopies[index] = std::move(copy);
}

void TextureCore::refreshDeviceCopies()
{
    bool anyLeft = false;
    for (UINT face = 0; face < m_faces; ++face) {
        DirtyRegion& dirty = m_dirty[face];
        // A level still locked may be half written: its region waits.
        bool locked = false;
        for (UINT level = 0; level < m_storedLevels; ++level)
            locked = locked || (m_kind == D3DRTYPE_VOLUMETEXTURE ? volume(level)->isLocked()
                                                                 : surface(face, level)->isLocked());
        for (UINT level = 0; level < m_storedLevels; ++level) {
            std::unique_ptr<PixelBuffer>& copy = m_deviceCopies[static_cast<size_t>(face) * m_storedLevels + level];
            if (!copy)
                continue;
            if (!dirty.any || locked) {
                anyLeft = true;
                continue;
            }
            // The dirty region at this level, rounded outwards.
            const PixelBuffer& pixels = levelPixels(face, level);
            const UINT left = dirty.left >> level, top = dirty.top >> level, front = dirty.front >> level;
            const UINT right = std::min(pixels.width(), (dirty.right + (1u << level) - 1) >> level);
            const UINT bottom = std::min(pixels.height(), (dirty.bottom + (1u << level) - 1) >> level);
            const UINT back = std::min(pixels.depth(), (dirty.back + (1u << level) - 1) >> level);
            if (left == 0 && top == 0 && front == 0 && right == pixels.width() && bottom == pixels.height() &&
                back == pixels.depth()) {
                copy.reset();
                continue;
            }
            const size_t bytes = static_cast<size_t>(right > left ? right - left : 0) * pixels.bytesPerPixel();
            for (UINT z = front; z < back && bytes; ++z)
                for (UINT y = top; y < bottom; ++y)
                    std::memcpy(copy->pixel(left, y, z), pixels.pixel(left, y, z), bytes);
            anyLeft = true;
        }
        if (!locked)
            dirty.clear();
    }
    if (!anyLeft)
        m_deviceCopies.clear();
}

void TextureCore::regenerateMipmaps()
{
    m_mipsStale = false;
    const bool point = m_autoGenFilter == D3DTEXF_POINT;
    for (UINT face = 0; face < m_faces; ++face) {
        for (UINT level = 1; level < m_storedLevels; ++level) {
            if (m_kind == D3DRTYPE_VOLUMETEXTURE)
                downsampleLevel(m_format, m_volumes[level - 1]->pixels(), m_volumes[level]->pixels(), point);
            else
                downsampleLevel(m_format, surface(face, level - 1)->pixels(), surface(face, level)->pixels(), point);
        }
    }
}

// Texture

Texture* Texture::create(Device* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                         D3DPOOL pool)
{
    Texture* texture = new (std::nothrow) Texture(device, pool, usage);
    if (!texture)
        return nullptr;
    if (!texture->build(device, D3DRTYPE_TEXTURE, width, height, 1, levels, usage, format, pool)) {
        texture->Release();
        return nullptr;
    }
    return texture;
}

HRESULT STDMETHODCALLTYPE Texture::QueryInterface(REFIID riid, void** ppvObject)
{
    return answerQuery<IDirect3DTexture9>(
        this, riid, ppvObject,
        {&IID_IUnknown, &IID_IDirect3DResource9, &IID_IDirect3DBaseTexture9, &IID_IDirect3DTexture9});
}

HRESULT STDMETHODCALLTYPE Texture::GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc)
{
    if (!pDesc || Level >= m_levelCount)
        return D3DERR_INVALIDCALL;
    *pDesc = surface(0, Level)->desc();
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Texture::GetSurfaceLevel(UINT Level, IDirect3DSurface9** ppSurfaceLevel)
{
    if (!ppSurfaceLevel)
        return D3DERR_INVALIDCALL;
    if (Level >= m_levelCount) {
        *ppSurfaceLevel = nullptr;
        return D3DERR_INVALIDCALL;
    }
    Surface* level = surface(0, Level);
    level->AddRef();
    *ppSurfaceLevel = level;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Texture::LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, CONST RECT* pRect, DWORD Flags)
{
    if (Level >= m_levelCount)
        return D3DERR_INVALIDCALL;
    return surface(0, Level)->LockRect(pLockedRect, pRect, Flags);
}

HRESULT STDMETHODCALLTYPE Texture::UnlockRect(UINT Level)
{
    if (Level >= m_levelCount)
        return D3DERR_INVALIDCALL;
    return surface(0, Level)->UnlockRect();
}

HRESULT STDMETHODCALLTYPE Texture::AddDirtyRect(CONST RECT* pDirtyRect)
{
    RECT rect;
    if (!resolveRect(pDirtyRect, m_width, m_height, rect))
        return D3DERR_INVALIDCALL;
    noteLevelChanged(0, 0, &rect, true);
    return D3D_OK;
}

// CubeTexture

CubeTexture* CubeTexture::create(Device* device, UINT edgeLength, UINT levels, DWORD usage, D3DFORMAT format,
                                 D3DPOOL pool)
{
    CubeTexture* texture = new (std::nothrow) CubeTexture(device, pool, usage);
    if (!texture)
        return nullptr;
    if (!texture->build(device, D3DRTYPE_CUBETEXTURE, edgeLength, edgeLength, 1, levels, usage, format, pool)) {
        texture->Release();
        return nullptr;
    }
    return texture;
}

HRESULT STDMETHODCALLTYPE CubeTexture::QueryInterface(REFIID riid, void** ppvObject)
{
    return answerQuery<IDirect3DCubeTexture9>(
        this, riid, ppvObject,
        {&IID_IUnknown, &IID_IDirect3DResource9, &IID_IDirect3DBaseTexture9, &IID_IDirect3DCubeTexture9});
}

HRESULT STDMETHODCALLTYPE CubeTexture::GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc)
{
    if (!pDesc || Level >= m_levelCount)
        return D3DERR_INVALIDCALL;
    *pDesc = surface(0, Level)->desc();
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE CubeTexture::GetCubeMapSurface(D3DCUBEMAP_FACES FaceType, UINT Level,
                                                         IDirect3DSurface9** ppCubeMapSurface)
{
    if (!ppCubeMapSurface)
        return D3DERR_INVALIDCALL;
    if (static_cast<UINT>(FaceType) >= 6 || Level >= m_levelCount) {
        *ppCubeMapSurface = nullptr;
        return D3DERR_INVALIDCALL;
    }
    Surface* level = surface(static_cast<UINT>(FaceType), Level);
    level->AddRef();
    *ppCubeMapSurface = level;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE CubeTexture::LockRect(D3DCUBEMAP_FACES FaceType, UINT Level, D3DLOCKED_RECT* pLockedRect,
                                                CONST RECT* pRect, DWORD Flags)
{
    if (static_cast<UINT>(FaceType) >= 6 || Level >= m_levelCount)
        return D3DERR_INVALIDCALL;
    return surface(static_cast<UINT>(FaceType), Level)->LockRect(pLockedRect, pRect, Flags);
}

HRESULT STDMETHODCALLTYPE CubeTexture::UnlockRect(D3DCUBEMAP_FACES FaceType, UINT Level)
{
    if (static_cast<UINT>(FaceType) >= 6 || Level >= m_levelCount)
        return D3DERR_INVALIDCALL;
    return surface(static_cast<UINT>(FaceType), Level)->UnlockRect();
}

HRESULT STDMETHODCALLTYPE CubeTexture::AddDirtyRect(D3DCUBEMAP_FACES FaceType, CONST RECT* pDirtyRect)
{
    RECT rect;
    if (static_cast<UINT>(FaceType) >= 6 || !resolveRect(pDirtyRect, m_width, m_height, rect))
        return D3DERR_INVALIDCALL;
    noteLevelChanged(static_cast<UINT>(FaceType), 0, &rect, true);
    return D3D_OK;
}

// VolumeTexture

VolumeTexture* VolumeTexture::create(Device* device, UINT width, UINT height, UINT depth, UINT levels, DWORD usage,
                                     D3DFORMAT format, D3DPOOL pool)
{
    VolumeTexture* texture = new (std::nothrow) VolumeTexture(device, pool, usage);
    if (!texture)
        return nullptr;
    if (!texture->build(device, D3DRTYPE_VOLUMETEXTURE, width, height, depth, levels, usage, format, pool)) {
        texture->Release();
        return nullptr;
    }
    return texture;
}

HRESULT STDMETHODCALLTYPE VolumeTexture::QueryInterface(REFIID riid, void** ppvObject)
{
    return answerQuery<IDirect3DVolumeTexture9>(
        this, riid, ppvObject,
        {&IID_IUnknown, &IID_IDirect3DResource9, &IID_IDirect3DBaseTexture9, &IID_IDirect3DVolumeTexture9});
}

HRESULT STDMETHODCALLTYPE VolumeTexture::GetLevelDesc(UINT Level, D3DVOLUME_DESC* pDesc)
{
    if (!pDesc || Level >= m_levelCount)
        return D3DERR_INVALIDCALL;
    *pDesc = m_volumes[Level]->desc();
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE VolumeTexture::GetVolumeLevel(UINT Level, IDirect3DVolume9** ppVolumeLevel)
{
    if (!ppVolumeLevel)
        return D3DERR_INVALIDCALL;
    if (Level >= m_levelCount) {
        *ppVolumeLevel = nullptr;
        return D3DERR_INVALIDCALL;
    }
    m_volumes[Level]->AddRef();
    *ppVolumeLevel = m_volumes[Level];
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE VolumeTexture::LockBox(UINT Level, D3DLOCKED_BOX* pLockedVolume, CONST D3DBOX* pBox,
                                                 DWORD Flags)
{
    if (Level >= m_levelCount)
        return D3DERR_INVALIDCALL;
    return m_volumes[Level]->LockBox(pLockedVolume, pBox, Flags);
}

HRESULT STDMETHODCALLTYPE VolumeTexture::UnlockBox(UINT Level)
{
    if (Level >= m_levelCount)
        return D3DERR_INVALIDCALL;
    return m_volumes[Level]->UnlockBox();
}

HRESULT STDMETHODCALLTYPE VolumeTexture::AddDirtyBox(CONST D3DBOX* pDirtyBox)
{
    D3DBOX box;
    if (!resolveBox(pDirtyBox, m_width, m_height, m_depth, box))
        return D3DERR_INVALIDCALL;
    noteLevelChanged(0, 0, box.Left, box.Top, box.Front, box.Right, box.Bottom, box.Back, true);
    return D3D_OK;
}

// Buffers

bool BufferStorage::allocate(UINT size)
{
    m_bytes.reset(new (std::nothrow) uint8_t[size]());
    m_size = m_bytes ? size : 0;
    return m_bytes != nullptr;
}

namespace {

// A lock range; a size of 0 means up to the end.
bool resolveRange(UINT offset, UINT size, UINT length, UINT& start)
{
    if (offset > length || (size != 0 && size > length - offset))
        return false;
    start = offset;
    return true;
}

// Lock and Unlock of vertex and index buffers: the whole buffer for a zero
// size, nested locks counted.
HRESULT lockBuffer(BufferStorage& storage, UINT& lockCount, UINT offset, UINT size, void** data)
{
    UINT start;
    if (!data)
        return D3DERR_INVALIDCALL;
    if (!resolveRange(offset, size, storage.size(), start)) {
        *data = nullptr;
        return D3DERR_INVALIDCALL;
    }
    ++lockCount;
    *data = storage.data() + start;
    return D3D_OK;
}

HRESULT unlockBuffer(UINT& lockCount)
{
    if (lockCount == 0)
        return D3DERR_INVALIDCALL;
    --lockCount;
    return D3D_OK;
}

} // namespace

VertexBuffer* VertexBuffer::create(Device* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool)
{
    VertexBuffer* buffer = new (std::nothrow) VertexBuffer(device, pool, usage);
    if (!buffer)
        return nullptr;
    if (!buffer->m_storage.allocate(length)) {
        buffer->Release();
        return nullptr;
    }
    buffer->m_desc = D3DVERTEXBUFFER_DESC{D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, usage, pool, length, fvf};
    return buffer;
}

HRESULT STDMETHODCALLTYPE VertexBuffer::QueryInterface(REFIID riid, void** ppvObject)
{
    return answerQuery<IDirect3DVertexBuffer9>(this, riid, ppvObject,
                                               {&IID_IUnknown, &IID_IDirect3DResource9, &IID_IDirect3DVertexBuffer9});
}

HRESULT STDMETHODCALLTYPE VertexBuffer::Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags)
{
    (void)Flags;
    return lockBuffer(m_storage, m_lockCount, OffsetToLock, SizeToLock, ppbData);
}

HRESULT STDMETHODCALLTYPE VertexBuffer::Unlock()
{
    return unlockBuffer(m_lockCount);
}

HRESULT STDMETHODCALLTYPE VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* pDesc)
{
    if (!pDesc)
        return D3DERR_INVALIDCALL;
    *pDesc = m_desc;
    return D3D_OK;
}

IndexBuffer* IndexBuffer::create(Device* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool)
{
    IndexBuffer* buffer = new (std::nothrow) IndexBuffer(device, pool, usage);
    if (!buffer)
        return nullptr;
    if (!buffer->m_storage.allocate(length)) {
        buffer->Release();
        return nullptr;
    }
    buffer->m_desc = D3DINDEXBUFFER_DESC{format, D3DRTYPE_INDEXBUFFER, usage, pool, length};
    return buffer;
}

HRESULT STDMETHODCALLTYPE IndexBuffer::QueryInterface(REFIID riid, void** ppvObject)
{
    return answerQuery<IDirect3DIndexBuffer9>(this, riid, ppvObject,
                                              {&IID_IUnknown, &IID_IDirect3DResource9, &IID_IDirect3DIndexBuffer9});
}

HRESULT STDMETHODCALLTYPE IndexBuffer::Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags)
{
    (void)Flags;
    return lockBuffer(m_storage, m_lockCount, OffsetToLock, SizeToLock, ppbData);
}

HRESULT STDMETHODCALLTYPE IndexBuffer::Unlock()
{
    return unlockBuffer(m_lockCount);
}

HRESULT STDMETHODCALLTYPE IndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* pDesc)
{
    if (!pDesc)
        return D3DERR_INVALIDCALL;
    *pDesc = m_desc;
    return D3D_OK;
}

// Casts

Surface* toSurface(IDirect3DSurface9* surface) { return surface ? dynamic_cast<Surface*>(surface) : nullptr; }
TextureCore* toTexture(IDirect3DBaseTexture9* texture)
{
    return texture ? dynamic_cast<TextureCore*>(texture) : nullptr;
}
VertexBuffer* toVertexBuffer(IDirect3DVertexBuffer9* buffer)
{
    return buffer ? dynamic_cast<VertexBuffer*>(buffer) : nullptr;
}
IndexBuffer* toIndexBuffer(IDirect3DIndexBuffer9* buffer)
{
    return buffer ? dynamic_cast<IndexBuffer*>(buffer) : nullptr;
}

} // namespace swd3d9
