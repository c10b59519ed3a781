#pragma once

#include "canvas/KXViewport.h"
#include "renderer/KXExport.h"
#include "sceneapi/KXImage2D.h"

class KXCamera;
class KXColor;
class KXDepthStencilSurface;
class KXDevice;
class KXMatrix;
class KXPolyline;
class KXRawImage2D;
class KXRenderStateMgr;
class KXRenderSurface;
class KXRenderTexture;
class KXShaderProgram;
class KXTexture3D;
class KXTriMesh;

// Draws into one target through a device: the canvas, its painters and the
// image makers talk to the device only through this interface.
//
// A frame, as callers use it: beginScene; clear; setViewport; setCamera; any
// number of pushTransform, state changes (through getRenderStateMgr) and
// draws, popTransform; endScene; read-back after the scene is closed. A
// secondary renderer is bracketed by bindTarget and restoreTarget as well.
//
// Every drawing or state operation without a device does nothing; the
// operations with a result return the codes of KXRESULT.
class KXDXRENDERER_API KXRenderer
{
public:
    enum KXRENDERERTYPE : int {
        KXRENDERER_WINDOW = 0,              // the device's back buffer
        KXRENDERER_OFFSCREEN = 1,           // a render surface
        KXRENDERER_TEXTURE = 2,             // a render texture
        KXRENDERER_OFFSCREENTEXTURE = 3,    // a render surface also available as a texture
    };

    virtual ~KXRenderer();

    virtual KXRENDERERTYPE getRendererType() const = 0;
    // 0 in every renderer of this library (the canvas builds its light
    // matrix from the view matrix alone for 0).
    virtual int getReserved() const = 0;
    // Binds the renderer to a device and creates its render-state manager:
    // -3 for null, -1 for a device of the wrong class or a renderer already
    // initialised.
    virtual int initialize(KXDevice* device) = 0;
    virtual void uninitialize() = 0;
    // View, projection and world transform from the camera; the world matrix
    // becomes the base of the transform stack.
    virtual void setCamera(KXCamera* camera) = 0;
    // Viewport rectangle, depth range 0 to 1.
    virtual void setViewport(const KXViewport* viewport) = 0;
    // The current viewport; 0, 0, 100, 100 without a device.
    virtual KXViewport getViewport() = 0;
    virtual void setSize(unsigned width, unsigned height) = 0;
    // Clears the colour target (only) to the colour.
    virtual void clear(const KXColor& color) = 0;
    virtual void beginScene() = 0;
    // Closes the scene; the window renderer also presents.
    virtual void endScene() = 0;
    // Pushes m multiplied on the local side (m × top, row vectors): what is
    // drawn next is placed by m inside the previous top.
    virtual void pushTransform(const KXMatrix& m) = 0;
    virtual void popTransform() = 0;
    // The top of the transform stack.
    virtual void getTransform(KXMatrix& m) = 0;
    // Draws with the effect, the cube texture bound to the effect parameter
    // of semantic "CubicEnvironment".
    virtual void drawTriMeshWithEnvironment(KXShaderProgram* shader, KXTexture3D* environment, KXTriMesh* mesh) = 0;
    // Draws once per pass of the effect.
    virtual void drawTriMeshWithShader(KXShaderProgram* shader, KXTriMesh* mesh) = 0;
    // Draws with the fixed-function states.
    virtual void drawTriMesh(KXTriMesh* mesh) = 0;
    virtual void drawPolyline(KXPolyline* polyline) = 0;
    virtual int saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType) = 0;
    virtual int saveToRawImage(KXRawImage2D* image) = 0;
    virtual int saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType) = 0;
    virtual KXDevice* getDevice() = 0;

    // The render-state manager; null until initialize.
    KXRenderStateMgr* getRenderStateMgr() const { return m_renderStateMgr; }

protected:
    KXRenderer() = default;
    KXRenderer(const KXRenderer&) = delete;
    KXRenderer& operator=(const KXRenderer&) = delete;

    // The concrete renderer owns the manager and stores it here.
    void setRenderStateMgr(KXRenderStateMgr* manager) { m_renderStateMgr = manager; }

private:
    KXRenderStateMgr* m_renderStateMgr = nullptr;
};

// A renderer whose target is not the window: it binds its own target for a
// frame and puts the device's previous one back afterwards.
class KXSecondaryRenderer
{
public:
    virtual void bindTarget() = 0;
    virtual void restoreTarget() = 0;

protected:
    KXSecondaryRenderer() = default;
    ~KXSecondaryRenderer() = default;
};

// A renderer whose results are in a render surface.
class KXOffScreenRenderer
{
public:
    virtual KXRenderSurface* getRenderSurface() = 0;

protected:
    KXOffScreenRenderer() = default;
    ~KXOffScreenRenderer() = default;
};

// A renderer that draws into a texture.
class KXTextureRenderer
{
public:
    // Not owned; null means no depth-stencil surface while the target is bound.
    virtual void setDepthStencilSurface(KXDepthStencilSurface* surface) = 0;
    // Owned by the renderer and replaced by setSize.
    virtual KXRenderTexture* getRenderTexture() = 0;

protected:
    KXTextureRenderer() = default;
    ~KXTextureRenderer() = default;
};
