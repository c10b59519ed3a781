#pragma once

// The resources of the software device: surfaces, volumes, textures and
// vertex and index buffers. Each is a thin COM front end over plain storage
// (PixelBuffer, byte arrays) that the device's copy operations and the
// drawing pipeline address directly.

#include "d3d9/Objects.h"
#include "pipeline/PixelBuffer.h"

#include <memory>
#include <vector>

namespace swd3d9 {

class Device;
class SwapChain;
class TextureCore;

// The device's interface pointer, for GetDevice and reference holding.
IDirect3DDevice9* deviceInterface(Device* device);
IDirect3DSwapChain9* swapChainInterface(SwapChain* swapChain);
// Draws waiting on the device (if any) are rasterised: memory of a
// resource is about to be read or written outside the drawing pipeline.
void flushPendingDraws(Device* device);

void registerResource(Device* device, class ResourceCore* resource);
void unregisterResource(Device* device, class ResourceCore* resource);

// What every resource has: its device, pool, usage and type, private data
// and priority. While anything outside references a resource, the resource
// holds a reference to its device, as Direct3D 9 does.
class ResourceCore : public Lifetime
{
public:
    Device* device() const { return m_device; }
    D3DPOOL pool() const { return m_pool; }
    DWORD usage() const { return m_usage; }
    D3DRESOURCETYPE resourceType() const { return m_type; }
    // The device is going away while this object still exists (only
    // during the device's own destruction).
    void detachFromDevice()
    {
        m_device = nullptr;
        m_previousOnDevice = m_nextOnDevice = nullptr;
    }
    // Objects that do not count as the application's (the parts of a
    // texture) are not registered with the device.
    bool isRegistered() const { return m_registered; }

protected:
    ResourceCore(Device* device, D3DRESOURCETYPE type, D3DPOOL pool, DWORD usage, ULONG initialRefs, bool registered);
    ~ResourceCore() override;
    void onPublicRefsStarted() override;
    void onPublicRefsEnded() override;

    Device* m_device;
    D3DRESOURCETYPE m_type;
    D3DPOOL m_pool;
    DWORD m_usage;
    bool m_registered;
    DWORD m_priority = 0;
    PrivateDataStore m_privateData;

private:
    // Links of the device's list of registered resources: registering
    // cannot run out of memory, so creating a resource fails only where
    // its storage is allocated.
    ResourceCore* m_previousOnDevice = nullptr;
    ResourceCore* m_nextOnDevice = nullptr;
    friend class Device;
};

template <class Interface>
class ResourceImpl : public Interface, public ResourceCore
{
public:
    ULONG STDMETHODCALLTYPE AddRef() override { return addPublicRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return releasePublicRef(); }

    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** ppDevice) override
    {
        if (!ppDevice)
            return D3DERR_INVALIDCALL;
        IDirect3DDevice9* device = deviceInterface(m_device);
        if (!device)
            return D3DERR_INVALIDCALL;
        device->AddRef();
        *ppDevice = device;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID refguid, CONST void* pData, DWORD SizeOfData,
                                             DWORD Flags) override
    {
        return m_privateData.set(refguid, pData, SizeOfData, Flags);
    }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID refguid, void* pData, DWORD* pSizeOfData) override
    {
        return m_privateData.get(refguid, pData, pSizeOfData);
    }
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID refguid) override { return m_privateData.free(refguid); }
    DWORD STDMETHODCALLTYPE SetPriority(DWORD PriorityNew) override
    {
        // Only managed resources have a priority.
        if (m_pool != D3DPOOL_MANAGED)
            return 0;
        const DWORD old = m_priority;
        m_priority = PriorityNew;
        return old;
    }
    DWORD STDMETHODCALLTYPE GetPriority() override { return m_pool == D3DPOOL_MANAGED ? m_priority : 0; }
    void STDMETHODCALLTYPE PreLoad() override {}
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return m_type; }

protected:
    using ResourceCore::ResourceCore;
};

// A rectangle (or box) of a texture that changed since the last
// UpdateTexture, in top-level coordinates.
struct DirtyRegion {
    bool any = false;
    UINT left = 0, top = 0, front = 0;
    UINT right = 0, bottom = 0, back = 0;

    void add(UINT l, UINT t, UINT f, UINT r, UINT b, UINT k);
    void clear() { any = false; }
};

class Surface final : public ResourceImpl<IDirect3DSurface9>, public pipeline::DrawnTarget
{
public:
    // A surface of its own (render target, depth stencil, off-screen plain,
    // back buffer): registered with the device. Device-owned surfaces
    // start without public references.
    static Surface* createStandalone(Device* device, const D3DSURFACE_DESC& desc, bool lockable, bool deviceOwned);
    // A level (and face) of a texture; lives and dies with the texture.
    static Surface* createPart(Device* device, const D3DSURFACE_DESC& desc, bool lockable, TextureCore* texture,
                               UINT face, UINT level);

    PixelBuffer& pixels() { return m_pixels; }
    const PixelBuffer& pixels() const { return m_pixels; }
    const D3DSURFACE_DESC& desc() const { return m_desc; }
    TextureCore* texture() const { return m_texture; }
    SwapChain* swapChain() const { return m_swapChain; }
    void setSwapChain(SwapChain* swapChain) { m_swapChain = swapChain; }
    UINT face() const { return m_face; }
    UINT level() const { return m_level; }
    bool isRenderTarget() const { return (m_desc.Usage & D3DUSAGE_RENDERTARGET) != 0; }
    bool isDepthStencil() const { return (m_desc.Usage & D3DUSAGE_DEPTHSTENCIL) != 0; }
    bool isLocked() const { return m_locked; }
    UINT samples() const { return m_pixels.samples(); }
    // Tells the container that pixels in rect (null: all) were written
    // other than through Lock: its dirty region and generated mip levels.
    void noteContentChanged(const RECT* rect);
    // The pipeline drew into the whole surface.
    void noteDrawn() override { noteContentChanged(nullptr); }

    void addInternalRef() override;
    void releaseInternalRef() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetContainer(REFIID riid, void** ppContainer) override;
    HRESULT STDMETHODCALLTYPE GetDesc(D3DSURFACE_DESC* pDesc) override;
    HRESULT STDMETHODCALLTYPE LockRect(D3DLOCKED_RECT* pLockedRect, CONST RECT* pRect, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect() override;
    HRESULT STDMETHODCALLTYPE GetDC(HDC* phdc) override;
    HRESULT STDMETHODCALLTYPE ReleaseDC(HDC hdc) override;

private:
    Surface(Device* device, const D3DSURFACE_DESC& desc, bool lockable, ULONG initialRefs, bool registered);
    ~Surface() override = default;

    D3DSURFACE_DESC m_desc;
    bool m_lockable;
    bool m_locked = false;
    bool m_lockWrites = false;
    TextureCore* m_texture = nullptr;
    SwapChain* m_swapChain = nullptr;
    UINT m_face = 0;
    UINT m_level = 0;
    PixelBuffer m_pixels;

    // The owners that delete surfaces directly.
    friend class TextureCore;
    friend class Device;
    friend class SwapChain;
};

// A level of a volume texture.
class Volume final : public IDirect3DVolume9, public Lifetime
{
public:
    Volume(const D3DVOLUME_DESC& desc, bool lockable, TextureCore* texture, UINT level);

    PixelBuffer& pixels() { return m_pixels; }
    const PixelBuffer& pixels() const { return m_pixels; }
    const D3DVOLUME_DESC& desc() const { return m_desc; }
    UINT level() const { return m_level; }
    bool isLocked() const { return m_locked; }

    void addInternalRef() override;
    void releaseInternalRef() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** ppDevice) override;
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID refguid, CONST void* pData, DWORD SizeOfData,
                                             DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID refguid, void* pData, DWORD* pSizeOfData) override;
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID refguid) override;
    HRESULT STDMETHODCALLTYPE GetContainer(REFIID riid, void** ppContainer) override;
    HRESULT STDMETHODCALLTYPE GetDesc(D3DVOLUME_DESC* pDesc) override;
    HRESULT STDMETHODCALLTYPE LockBox(D3DLOCKED_BOX* pLockedVolume, CONST D3DBOX* pBox, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE UnlockBox() override;

    bool allocate();

private:
    ~Volume() override = default;

    D3DVOLUME_DESC m_desc;
    bool m_lockable;
    bool m_locked = false;
    bool m_lockWrites = false;
    TextureCore* m_texture;
    UINT m_level;
    PrivateDataStore m_privateData;
    PixelBuffer m_pixels;

    friend class TextureCore;
};

// What the three texture kinds share, reachable from any
// IDirect3DBaseTexture9 by dynamic_cast. The drawing pipeline reads levels
// through it.
class TextureCore
{
public:
    virtual ~TextureCore();

    virtual IDirect3DBaseTexture9* textureInterface() = 0;
    virtual ResourceCore& resource() = 0;

    D3DRESOURCETYPE kind() const { return m_kind; }
    D3DFORMAT format() const { return m_format; }
    DWORD usage() const { return m_textureUsage; }
    D3DPOOL pool() const { return m_texturePool; }
    // Levels the application sees (1 for automatically generated mipmaps).
    UINT levelCount() const { return m_levelCount; }
    // Levels held, including generated ones.
    UINT storedLevelCount() const { return m_storedLevels; }
    UINT faceCount() const { return m_faces; }
    UINT width(UINT level) const;
    UINT height(UINT level) const;
    UINT depth(UINT level) const;
    Surface* surface(UINT face, UINT level) const;
    Volume* volume(UINT level) const;
    DWORD lod() const { return m_lod; }

    bool generatesMipmaps() const { return (m_textureUsage & D3DUSAGE_AUTOGENMIPMAP) && m_storedLevels > 1; }
    // Brings generated levels up to date; the pipeline calls this before it
    // samples the texture.
    void prepareForSampling();
    void regenerateMipmaps();

    // The pixels of a level of a face (volume textures: of the level).
    const PixelBuffer& levelPixels(UINT face, UINT level) const;
    // The pixels the pipeline samples at a level of a face: the level's
    // own, or for a managed texture written with D3DLOCK_NO_DIRTY_UPDATE
    // the contents the device held before that write, until a dirty
    // region (AddDirtyRect or AddDirtyBox, an ordinary lock) brings the new
    // ones over.
    const PixelBuffer& sampledPixels(UINT face, UINT level) const;
    // A write without dirty tracking is about to start on a level: a
    // managed texture keeps what the device holds of it.
    void keepDeviceCopy(UINT face, UINT level);

    DirtyRegion& dirtyRegion(UINT face) { return m_dirty[face]; }
    // A level changed: its region (null: all) joins the dirty region when
    // tracked, and generated levels go stale when the top level changed.
    void noteLevelChanged(UINT face, UINT level, UINT left, UINT top, UINT front, UINT right, UINT bottom, UINT back,
                          bool trackDirty);
    void noteLevelChanged(UINT face, UINT level, const RECT* rect, bool trackDirty);

protected:
    TextureCore() = default;
    // Creates the storage; false when memory runs out.
    bool build(Device* device, D3DRESOURCETYPE kind, UINT width, UINT height, UINT depth, UINT levels, DWORD usage,
               D3DFORMAT format, D3DPOOL pool);
    void destroyParts();

    D3DRESOURCETYPE m_kind = D3DRTYPE_TEXTURE;
    D3DFORMAT m_format = D3DFMT_UNKNOWN;
    DWORD m_textureUsage = 0;
    D3DPOOL m_texturePool = D3DPOOL_DEFAULT;
    UINT m_width = 0, m_height = 0, m_depth = 1;
    UINT m_levelCount = 0;
    UINT m_storedLevels = 0;
    UINT m_faces = 1;
    DWORD m_lod = 0;
    bool m_mipsStale = false;
    D3DTEXTUREFILTERTYPE m_autoGenFilter = D3DTEXF_LINEAR;
    DirtyRegion m_dirty[6];
    std::vector<Surface*> m_surfaces; // face-major: face * storedLevels + level
    std::vector<Volume*> m_volumes;
    // The device's copies of managed levels written without dirty tracking,
    // face-major like m_surfaces; empty while there are none.
    std::vector<std::unique_ptr<PixelBuffer>> m_deviceCopies;
    // A managed texture is whole dirty until the device first samples it.
    bool m_sampled = false;

private:
    // Brings the dirty regions of the faces into the device's copies.
    void refreshDeviceCopies();
};

// Full mip chain length of a size.
UINT fullMipChain(UINT width, UINT height, UINT depth);

template <class Interface>
class BaseTextureImpl : public ResourceImpl<Interface>, public TextureCore
{
public:
    IDirect3DBaseTexture9* textureInterface() override { return this; }
    ResourceCore& resource() override { return *this; }

    DWORD STDMETHODCALLTYPE SetLOD(DWORD LODNew) override
    {
        if (m_texturePool != D3DPOOL_MANAGED)
            return 0;
        const DWORD old = m_lod;
        m_lod = LODNew < m_levelCount ? LODNew : m_levelCount - 1;
        return old;
    }
    DWORD STDMETHODCALLTYPE GetLOD() override { return m_texturePool == D3DPOOL_MANAGED ? m_lod : 0; }
    DWORD STDMETHODCALLTYPE GetLevelCount() override { return m_levelCount; }
    HRESULT STDMETHODCALLTYPE SetAutoGenFilterType(D3DTEXTUREFILTERTYPE FilterType) override
    {
        // Direct3D takes any filter but none, on any texture (one without
        // automatic mipmaps only remembers it); filters other than point
        // generate levels as linear does.
        if (FilterType == D3DTEXF_NONE || FilterType > D3DTEXF_GAUSSIANQUAD)
            return D3DERR_INVALIDCALL;
        m_autoGenFilter = FilterType;
        return D3D_OK;
    }
    D3DTEXTUREFILTERTYPE STDMETHODCALLTYPE GetAutoGenFilterType() override { return m_autoGenFilter; }
    void STDMETHODCALLTYPE GenerateMipSubLevels() override
    {
        flushPendingDraws(this->device());
        prepareForSampling();
    }

protected:
    BaseTextureImpl(Device* device, D3DRESOURCETYPE type, D3DPOOL pool, DWORD usage)
        : ResourceImpl<Interface>(device, type, pool, usage, 1, true)
    {
    }
    ~BaseTextureImpl() override { destroyParts(); }
};

class Texture final : public BaseTextureImpl<IDirect3DTexture9>
{
public:
    // Arguments are validated by the device.
    static Texture* create(Device* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                           D3DPOOL pool);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) override;
    HRESULT STDMETHODCALLTYPE GetSurfaceLevel(UINT Level, IDirect3DSurface9** ppSurfaceLevel) override;
    HRESULT STDMETHODCALLTYPE LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, CONST RECT* pRect,
                                       DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect(UINT Level) override;
    HRESULT STDMETHODCALLTYPE AddDirtyRect(CONST RECT* pDirtyRect) override;

private:
    Texture(Device* device, D3DPOOL pool, DWORD usage) : BaseTextureImpl(device, D3DRTYPE_TEXTURE, pool, usage) {}
};

class CubeTexture final : public BaseTextureImpl<IDirect3DCubeTexture9>
{
public:
    static CubeTexture* create(Device* device, UINT edgeLength, UINT levels, DWORD usage, D3DFORMAT format,
                               D3DPOOL pool);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) override;
    HRESULT STDMETHODCALLTYPE GetCubeMapSurface(D3DCUBEMAP_FACES FaceType, UINT Level,
                                                IDirect3DSurface9** ppCubeMapSurface) override;
    HRESULT STDMETHODCALLTYPE LockRect(D3DCUBEMAP_FACES FaceType, UINT Level, D3DLOCKED_RECT* pLockedRect,
                                       CONST RECT* pRect, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect(D3DCUBEMAP_FACES FaceType, UINT Level) override;
    HRESULT STDMETHODCALLTYPE AddDirtyRect(D3DCUBEMAP_FACES FaceType, CONST RECT* pDirtyRect) override;

private:
    CubeTexture(Device* device, D3DPOOL pool, DWORD usage)
        : BaseTextureImpl(device, D3DRTYPE_CUBETEXTURE, pool, usage)
    {
    }
};

class VolumeTexture final : public BaseTextureImpl<IDirect3DVolumeTexture9>
{
public:
    static VolumeTexture* create(Device* device, UINT width, UINT height, UINT depth, UINT levels, DWORD usage,
                                 D3DFORMAT format, D3DPOOL pool);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT Level, D3DVOLUME_DESC* pDesc) override;
    HRESULT STDMETHODCALLTYPE GetVolumeLevel(UINT Level, IDirect3DVolume9** ppVolumeLevel) override;
    HRESULT STDMETHODCALLTYPE LockBox(UINT Level, D3DLOCKED_BOX* pLockedVolume, CONST D3DBOX* pBox,
                                      DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE UnlockBox(UINT Level) override;
    HRESULT STDMETHODCALLTYPE AddDirtyBox(CONST D3DBOX* pDirtyBox) override;

private:
    VolumeTexture(Device* device, D3DPOOL pool, DWORD usage)
        : BaseTextureImpl(device, D3DRTYPE_VOLUMETEXTURE, pool, usage)
    {
    }
};

// Vertex and index buffers: bytes in memory.
class BufferStorage
{
public:
    bool allocate(UINT size);
    uint8_t* data() { return m_bytes.get(); }
    const uint8_t* data() const { return m_bytes.get(); }
    UINT size() const { return m_size; }

private:
    std::unique_ptr<uint8_t[]> m_bytes;
    UINT m_size = 0;
};

class VertexBuffer final : public ResourceImpl<IDirect3DVertexBuffer9>
{
public:
    static VertexBuffer* create(Device* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool);

    const uint8_t* data() const { return m_storage.data(); }
    UINT size() const { return m_storage.size(); }
    const D3DVERTEXBUFFER_DESC& desc() const { return m_desc; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    HRESULT STDMETHODCALLTYPE Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE Unlock() override;
    HRESULT STDMETHODCALLTYPE GetDesc(D3DVERTEXBUFFER_DESC* pDesc) override;

private:
    VertexBuffer(Device* device, D3DPOOL pool, DWORD usage)
        : ResourceImpl(device, D3DRTYPE_VERTEXBUFFER, pool, usage, 1, true)
    {
    }

    D3DVERTEXBUFFER_DESC m_desc{};
    BufferStorage m_storage;
    UINT m_lockCount = 0;
};

class IndexBuffer final : public ResourceImpl<IDirect3DIndexBuffer9>
{
public:
    static IndexBuffer* create(Device* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool);

    const uint8_t* data() const { return m_storage.data(); }
    UINT size() const { return m_storage.size(); }
    const D3DINDEXBUFFER_DESC& desc() const { return m_desc; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    HRESULT STDMETHODCALLTYPE Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE Unlock() override;
    HRESULT STDMETHODCALLTYPE GetDesc(D3DINDEXBUFFER_DESC* pDesc) override;

private:
    IndexBuffer(Device* device, D3DPOOL pool, DWORD usage)
        : ResourceImpl(device, D3DRTYPE_INDEXBUFFER, pool, usage, 1, true)
    {
    }

    D3DINDEXBUFFER_DESC m_desc{};
    BufferStorage m_storage;
    UINT m_lockCount = 0;
};

// The implementation objects behind interface pointers handed in by the
// application; null for foreign or null pointers.
Surface* toSurface(IDirect3DSurface9* surface);
TextureCore* toTexture(IDirect3DBaseTexture9* texture);
VertexBuffer* toVertexBuffer(IDirect3DVertexBuffer9* buffer);
IndexBuffer* toIndexBuffer(IDirect3DIndexBuffer9* buffer);

} // namespace swd3d9
