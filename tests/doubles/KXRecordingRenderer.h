#pragma once

#include "KXRecordingLog.h"

#include "renderer/KXDevice.h"
#include "renderer/KXRenderStateMgr.h"
#include "renderer/KXRenderer.h"
#include "sceneapi/KXObservable.h"

#include <vector>

// Recording doubles of the renderer interface: every call is logged with
// its arguments in one shared KXRecordingLog, the render states the calls
// set are tracked, and the renderer keeps a real transform stack, so tests
// can ask what was drawn, in which order, where and with which states.

class KXRecordingMaterialState : public KXMaterialState
{
public:
    explicit KXRecordingMaterialState(KXRecordingLog& log) : m_log(log) {}
    void reset() override;
    void enableColorVertex(int enable) override;
    void enableSpecular(int enable) override;
    void setMaterial(KXMaterial* material) override;

private:
    KXRecordingLog& m_log;
};

class KXRecordingTextureState : public KXTextureState
{
public:
    explicit KXRecordingTextureState(KXRecordingLog& log) : m_log(log) {}
    void reset() override;
    void setTexture3D(unsigned stage, KXTexture3D* texture, KXTextureAttributes* attributes) override;
    void setTexture2D(unsigned stage, KXTexture2D* texture, KXTextureAttributes* attributes) override;
    void setAddressMode(unsigned stage, int axis, int mode) override;

private:
    KXRecordingLog& m_log;
};

class KXRecordingLightState : public KXLightState
{
public:
    explicit KXRecordingLightState(KXRecordingLog& log) : m_log(log) {}
    void reset() override;
    void enableLighting(int enable) override;
    void enableLight(unsigned index, int enable) override;
    void setAmbientLight(KXLight* light) override;
    void setLight(unsigned index, KXLight* light, const KXMatrix& world) override;
    void enableNormalization(int enable) override;

private:
    KXRecordingLog& m_log;
};

class KXRecordingZBufferState : public KXZBufferState
{
public:
    explicit KXRecordingZBufferState(KXRecordingLog& log) : m_log(log) {}
    void reset() override;
    void clear() override;
    void enableZBuffer(int enable) override;
    void enableZWrite(int enable) override;
    void setZFunction(int comparison) override;
    void setDepthBias(float bias, float slopeScaledBias) override;

private:
    KXRecordingLog& m_log;
};

class KXRecordingBlendState : public KXBlendState
{
public:
    explicit KXRecordingBlendState(KXRecordingLog& log) : m_log(log) {}
    void reset() override;
    void enableBlending(int enable) override;
    void setSourceBlend(int factor) override;
    void setDestinationBlend(int factor) override;
    void setBlendOperation(int operation) override;

private:
    KXRecordingLog& m_log;
};

class KXRecordingPolyState : public KXPolyState
{
public:
    explicit KXRecordingPolyState(KXRecordingLog& log) : m_log(log) {}
    void reset() override;
    void setShadeMode(int mode) override;
    void setFillMode(int mode) override;
    void setCullMode(int mode) override;

private:
    KXRecordingLog& m_log;
};

class KXRecordingStencilState : public KXStencilState
{
public:
    explicit KXRecordingStencilState(KXRecordingLog& log) : m_log(log) {}
    void reset() override;
    void clear() override;
    void enableStencil(int enable) override;
    void setStencilFunction(int comparison) override;
    void setReference(unsigned value) override;
    void setMask(unsigned value) override;
    void setWriteMask(unsigned value) override;
    void setZFailOperation(int operation) override;
    void setFailOperation(int operation) override;
    void setPassOperation(int operation) override;

private:
    KXRecordingLog& m_log;
};

class KXRecordingFogState : public KXFogState
{
public:
    explicit KXRecordingFogState(KXRecordingLog& log) : m_log(log) {}
    void reset() override;
    void setVertexFog(int enable) override;
    void setRangeFog(int enable) override;
    void enableFog(int enable) override;
    void setFog(KXFog* fog) override;

private:
    KXRecordingLog& m_log;
};

class KXRecordingClipState : public KXClipState
{
public:
    explicit KXRecordingClipState(KXRecordingLog& log) : m_log(log) {}
    void reset() override;
    void setClipPlane(unsigned index, KXClipPlane* plane, const KXMatrix& world) override;
    void enableClipping(int enable) override;

private:
    KXRecordingLog& m_log;
};

// The nine recording states, all writing to one log.
class KXRecordingRenderStateMgr : public KXRenderStateMgr
{
public:
    explicit KXRecordingRenderStateMgr(KXRecordingLog& log);

private:
    KXRecordingMaterialState m_material;
    KXRecordingTextureState m_texture;
    KXRecordingLightState m_light;
    KXRecordingZBufferState m_zBuffer;
    KXRecordingBlendState m_blend;
    KXRecordingPolyState m_poly;
    KXRecordingStencilState m_stencil;
    KXRecordingFogState m_fog;
    KXRecordingClipState m_clip;
};

// A device whose settings the test chooses. Its observers hear a release
// event when it is destroyed, as from a real device.
class KXRecordingDevice : public KXDevice
{
public:
    explicit KXRecordingDevice(KXRecordingLog& log) : m_log(log) {}
    ~KXRecordingDevice() override;

    int initialize(KXWindowHandle window, KXAdapterFormat& settings) override;
    int getSettings(KXAdapterFormat& settings) override;
    KXDeviceCapabilities getCapabilities() override { return KXDeviceCapabilities(); }
    void release() override;
    KXDEVICESTATUS getStatus() override { return KXDEVICESTATUS_USABLE; }
    void reset() override;

    // What getSettings reports; -1 (no settings) until set.
    void setSettings(const KXAdapterFormat& settings, int result = 0)
    {
        m_settings = settings;
        m_settingsResult = result;
    }

private:
    KXRecordingLog& m_log;
    KXAdapterFormat m_settings;
    int m_settingsResult = -1;
};

// A renderer that records its calls. It starts initialised (with its
// render-state manager) unless told otherwise; type, viewport, device and
// the reserved value are the test's to choose.
class KXRecordingRenderer : public KXRenderer
{
public:
    explicit KXRecordingRenderer(KXRecordingLog& log, bool initialised = true);
    ~KXRecordingRenderer() override;

    KXRENDERERTYPE getRendererType() const override { return m_type; }
    int getReserved() const override { return m_reserved; }
    int initialize(KXDevice* device) override;
    void uninitialize() override;
    void setCamera(KXCamera* camera) override;
    void setViewport(const KXViewport* viewport) override;
    KXViewport getViewport() override { return m_viewport; }
    void setSize(unsigned width, unsigned height) override;
    void clear(const KXColor& color) override;
    void beginScene() override;
    void endScene() override;
    void pushTransform(const KXMatrix& m) override;
    void popTransform() override;
    void getTransform(KXMatrix& m) override { m = top(); }
    void drawTriMeshWithEnvironment(KXShaderProgram* shader, KXTexture3D* environment, KXTriMesh* mesh) override;
    void drawTriMeshWithShader(KXShaderProgram* shader, KXTriMesh* mesh) override;
    void drawTriMesh(KXTriMesh* mesh) override;
    void drawPolyline(KXPolyline* polyline) override;
    int saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType) override;
    int saveToRawImage(KXRawImage2D* image) override;
    int saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType) override;
    KXDevice* getDevice() override { return m_device; }

    void setRendererType(KXRENDERERTYPE type) { m_type = type; }
    void setReserved(int reserved) { m_reserved = reserved; }
    // Sets the viewport without logging.
    void presetViewport(const KXViewport& viewport) { m_viewport = viewport; }
    // Sets the device without logging or initialising.
    void presetDevice(KXDevice* device) { m_device = device; }

    // Matrices pushed and not popped yet (the camera's base not counted).
    size_t getStackDepth() const { return m_stack.size(); }
    bool isSceneOpen() const { return m_sceneOpen; }
    // Draws and pops made while no scene was open, or pops of an empty stack.
    int getMisuseCount() const { return m_misuse; }

private:
    KXMatrix top() const;
    void drawn(const std::string& operation, std::vector<std::string> arguments, std::vector<const void*> objects);

    KXRecordingLog& m_log;
    KXRecordingRenderStateMgr m_states;
    KXRENDERERTYPE m_type = KXRENDERER_WINDOW;
    int m_reserved = 0;
    KXViewport m_viewport;
    KXDevice* m_device = nullptr;
    KXMatrix m_base;
    std::vector<KXMatrix> m_stack;
    bool m_sceneOpen = false;
    int m_misuse = 0;
};

// Logs every event it hears: "event.canvas(kind)", "event.device(type)" or
// "event.other(kind)".
class KXRecordingObserver : public KXObserver
{
public:
    explicit KXRecordingObserver(KXRecordingLog& log) : m_log(log) {}
    void update(KXObservable* source, const KXEvent& event) override;

private:
    KXRecordingLog& m_log;
};
