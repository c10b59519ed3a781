#pragma once

#include "renderer/KXExport.h"
#include "sceneapi/KXObservable.h"

#include <cstdint>
#include <vector>

// A native window handle (HWND on Windows), kept opaque so that the renderer
// interface compiles without the platform headers.
using KXWindowHandle = void*;

// A back-buffer configuration. As an entry of a device's capability list the
// last two fields are sets of bits (what the adapter can do); as the settings
// a device is created with they name one choice.
struct KXDXRENDERER_API KXAdapterFormat {
    enum KXWINDOWMODE : uint32_t {
        KXWINDOWMODE_FULLSCREEN = 0,
        KXWINDOWMODE_WINDOWED = 1,
    };
    enum KXCOLORFORMAT : uint32_t {
        KXCOLORFORMAT_R5G6B5 = 0,
        KXCOLORFORMAT_X8R8G8B8 = 1,
    };
    // Bits of the multisampling field.
    enum KXMULTISAMPLING : uint32_t {
        KXMULTISAMPLING_NONE = 1,
        KXMULTISAMPLING_NONMASKABLE = 2,
    };
    // Bits of the depth-stencil field: 16-bit depth without stencil, or
    // 24-bit depth with an 8-bit stencil.
    enum KXDEPTHSTENCIL : uint32_t {
        KXDEPTHSTENCIL_D16 = 1,
        KXDEPTHSTENCIL_D24S8 = 2,
    };

    uint32_t windowMode = 0;
    uint32_t colorFormat = 0;
    uint32_t multisampling = 0;
    uint32_t depthStencil = 0;
};

// What a device's adapter offers.
struct KXDeviceCapabilities {
    uint32_t pixelShaderVersion = 0;
    uint32_t vertexShaderVersion = 0;
    int depthBias = 0;            // constant depth bias supported
    int slopeScaledDepthBias = 0; // slope-scaled depth bias supported
    uint32_t maxAnisotropy = 0;
    int bestMinFilter = 0; // 0 point, 1 linear, 2 anisotropic
    int bestMagFilter = 0; // 0 point, 1 linear, 2 anisotropic
    int linearMipFilter = 0;
    int modulate = 0;
    std::vector<KXAdapterFormat> adapterFormats;
};

// What a device tells its observers. Observers release what lives in the
// device's default pool before a reset, may rebuild it after, and stop using
// the device when it is released.
class KXDXRENDERER_API KXDeviceEvent : public KXEvent
{
public:
    enum KXDEVICEEVENTTYPE : int {
        KXDEVICEEVENT_BEFORERESET = 0,
        KXDEVICEEVENT_AFTERRESET = 1,
        KXDEVICEEVENT_RELEASE = 2,
    };

    explicit KXDeviceEvent(KXDEVICEEVENTTYPE type) : KXEvent(type), m_type(type) {}
    ~KXDeviceEvent() override;

    KXDEVICEEVENTTYPE getType() const { return m_type; }

private:
    KXDEVICEEVENTTYPE m_type;
};

// The graphics device that renderers, surfaces and textures draw with.
// Observers registered with it hear KXDeviceEvents.
class KXDXRENDERER_API KXDevice : public KXObservable
{
public:
    enum KXDEVICESTATUS : int {
        KXDEVICESTATUS_NODEVICE = 0,
        KXDEVICESTATUS_USABLE = 1,
        KXDEVICESTATUS_LOST = 2,
        KXDEVICESTATUS_NOTRESET = 3, // lost and ready to be reset
        KXDEVICESTATUS_DRIVERERROR = 4,
    };

    ~KXDevice() override;

    // Creates the device for a window with the given settings; the settings
    // are rewritten to the configuration actually created. 0 or -1.
    virtual int initialize(KXWindowHandle window, KXAdapterFormat& settings) = 0;
    // The settings the device was created with; -1 before a successful
    // initialize.
    virtual int getSettings(KXAdapterFormat& settings) = 0;
    virtual KXDeviceCapabilities getCapabilities() = 0;
    virtual void release() = 0;
    virtual KXDEVICESTATUS getStatus() = 0;
    virtual void reset() = 0;

protected:
    KXDevice() = default;
    KXDevice(const KXDevice&) = delete;
    KXDevice& operator=(const KXDevice&) = delete;
};
