#pragma once

#include "renderer/KXExport.h"
#include "renderer/KXRenderer.h"
#include "renderer/dx/KXDXComPtr.h"
#include "renderer/dx/KXDXDeviceLink.h"
#include "sceneapi/KXMatrix.h"

#include <d3d9.h>
#include <d3dx9.h>

class KXDXDevice;
class KXDXRenderStateMgr;
class KXDXShaderProgramImpl;

// The Direct3D 9 renderer that draws into the back buffer of a KXDXDevice
// and presents it to the device's window; the base of the texture and
// off-screen renderers. It keeps no scene state of its own: camera,
// viewport and transforms live in the device, render states in the
// render-state manager, and the device-side form of each mesh, polyline and
// image in that object's implementation slot.
//
// A device reported lost by Present is reset before the next frame opens
// (and at the latest by the next clear), so a frame loop recovers by
// itself; when the device is released the renderer lets go of it and draws
// nothing until it is initialised again.
class KXDXRENDERER_API KXDXRenderer : public KXRenderer
{
public:
    KXDXRenderer();
    ~KXDXRenderer() override;

    KXRENDERERTYPE getRendererType() const override { return KXRENDERER_WINDOW; }
    int getReserved() const override { return 0; }
    int initialize(KXDevice* device) override;
    void uninitialize() override;
    void setCamera(KXCamera* camera) override;
    void setViewport(const KXViewport* viewport) override;
    KXViewport getViewport() override;
    void setSize(unsigned width, unsigned height) override;
    void clear(const KXColor& color) override;
    void beginScene() override;
    void endScene() override;
    void pushTransform(const KXMatrix& m) override;
    void popTransform() override;
    void getTransform(KXMatrix& m) override;
    void drawTriMeshWithEnvironment(KXShaderProgram* shader, KXTexture3D* environment, KXTriMesh* mesh) override;
    void drawTriMeshWithShader(KXShaderProgram* shader, KXTriMesh* mesh) override;
    void drawTriMesh(KXTriMesh* mesh) override;
    void drawPolyline(KXPolyline* polyline) override;
    int saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType) override;
    int saveToRawImage(KXRawImage2D* image) override;
    int saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType) override;
    KXDevice* getDevice() override;

    // The D3DX file format of an image file type; types 3 (TGA) and 7 (PPM)
    // are refused by every save and must be tested before.
    static D3DXIMAGE_FILEFORMAT toFileFormat(KXImage2D::KXIMAGE2DFILETYPE fileType);
    // Whether saves accept the file type.
    static bool isSavableFileType(KXImage2D::KXIMAGE2DFILETYPE fileType);
    // The type of the file a save writes for the requested type.
    static KXImage2D::KXIMAGE2DFILETYPE writtenFileType(KXImage2D::KXIMAGE2DFILETYPE fileType);

protected:
    KXDXDevice* getDXDevice() const { return m_device.get(); }
    // The Direct3D device, or null.
    IDirect3DDevice9* getD3DDevice() const;
    // Creates the render-state manager for the device; the off-screen
    // renderers make one with their own texture state.
    virtual KXDXRenderStateMgr* createRenderStateMgr(KXDXDevice* device);
    void deleteRenderStateMgr();
    // Resets the device when Present reported it lost and it can be reset
    // now; true when the device is usable afterwards.
    bool recoverLostDevice();
    // Sends the camera's projection, corrected for the viewport's pixel
    // centres.
    void sendProjection(IDirect3DDevice9* device);
    // What saving the back buffer to a file or an image first needs: a
    // device (else -1), a target (else -3), a type saves accept (else -1),
    // and the back buffer read back into pixels (else -1).
    int readBackForSave(const void* target, KXImage2D::KXIMAGE2DFILETYPE fileType,
                        KXDXComPtr<IDirect3DSurface9>& pixels);
    // Whether draws are skipped because a push the stack could not take is
    // still open.
    bool isDrawingSuspended() const { return m_lostPushes > 0; }

    // Makes the device-side form of a shader program for this renderer's
    // device (null out of memory); the off-screen renderers make theirs
    // with images bound privately.
    virtual KXDXShaderProgramImpl* createShaderProgramImpl(KXDXDevice* device, KXShaderProgram* program);
    // The effect draw every renderer shares: the matrices of the semantics
    // the effect declares, then each pass of its first valid technique,
    // drawing mesh through drawTriMesh.
    void drawWithEffect(ID3DXEffect* effect, KXTriMesh* mesh);
    // Sets the matrix semantics the effect declares ("World", "View",
    // "Projection", their products, inverses and inverse transposes, and
    // "ViewPosition", the eye in object space) from the device's world,
    // view and projection transforms. Inverses of a singular matrix are
    // left unset.
    void setEffectMatrices(ID3DXEffect* effect);

    // What the device tells its renderer, for renderers that own device
    // objects: Direct3D refuses to reset a device while default-pool objects
    // live, so they are released before a reset and made again after it,
    // and everything made on the device goes before the device does.
    virtual void deviceResetting() {}
    virtual void deviceWasReset() {}
    virtual void deviceReleasing() {}

private:
    // The program's implementation in its slot, made there for this
    // renderer's device when the slot holds none for it; null out of memory.
    KXDXShaderProgramImpl* findShaderProgram(KXShaderProgram* program);

    // Hears the device's events the device link does not pass on.
    class ResetWatch final : public KXObserver
    {
    public:
        explicit ResetWatch(KXDXRenderer& owner) : m_owner(owner) {}
        ResetWatch(const ResetWatch&) = delete;
        ResetWatch& operator=(const ResetWatch&) = delete;
        ~ResetWatch() override { watch(nullptr); }
        // Registers with device (or none); false out of memory, the old
        // registration then kept.
        bool watch(KXDXDevice* device);
        void update(KXObservable* source, const KXEvent& event) override;

    private:
        KXDXRenderer& m_owner;
        KXDXDevice* m_device = nullptr;
    };

    KXDXDeviceLink m_device;
    ResetWatch m_resetWatch{*this};
    KXDXRenderStateMgr* m_stateManager = nullptr;
    ID3DXMatrixStack* m_transforms = nullptr;
    // Pushes the stack could not take (out of memory): their pops are
    // skipped, and nothing is drawn while one is pending.
    unsigned m_lostPushes = 0;
    // Pushes the stack took and that are not popped yet.
    unsigned m_pushDepth = 0;
    bool m_deviceLost = false;
    // The projection of the camera last set, sent again with the pixel
    // centre correction of each new viewport.
    KXMatrix m_projection;
    bool m_hasProjection = false;
};
