#pragma once

#include "renderer/KXExport.h"
#include "renderer/dx/KXDXImplementationMap.h"
#include "renderer/dx/KXDXRenderer.h"

#include <cstddef>

class KXDXRenderSurface;

// A renderer that draws into a render surface of any size and reads it back
// (image generation), often on a device of its own made for a hidden
// window. It never touches the implementation slots of the scene objects:
// meshes, polylines, effects and cube images get implementations made for
// this renderer's device and kept in its own maps, which drop an entry when
// its object is edited or destroyed. It never presents.
//
// The target surface takes the device's multisampling; read-back resolves
// it into a resolve surface of the same size without multisampling, from
// which the pixels can be copied to main memory. setSize resets the device
// so that its back buffer and automatic depth buffer take the target's size
// (the draws use that depth buffer); the two surfaces are released before
// every reset of the device and made again after it.
class KXDXRENDERER_API KXDXOffScreenRenderer : public KXDXRenderer,
                                               public KXSecondaryRenderer,
                                               public KXOffScreenRenderer
{
public:
    KXDXOffScreenRenderer();
    ~KXDXOffScreenRenderer() override;

    KXRENDERERTYPE getRendererType() const override { return KXRENDERER_OFFSCREEN; }
    // Also deletes both surfaces and every implementation in the maps.
    void uninitialize() override;
    void setSize(unsigned width, unsigned height) override;
    // Closes the scene without presenting.
    void endScene() override;
    void drawTriMesh(KXTriMesh* mesh) override;
    void drawPolyline(KXPolyline* polyline) override;
    // Effects and environment cubes come from the private maps; an effect
    // found there first receives the program's current parameter values.
    // The environment cube needs an image even when the effect has no
    // parameter for it.
    void drawTriMeshWithShader(KXShaderProgram* shader, KXTriMesh* mesh) override;
    void drawTriMeshWithEnvironment(KXShaderProgram* shader, KXTexture3D* environment, KXTriMesh* mesh) override;
    // The pixels are those of the resolve surface, once the target has been
    // resolved into it: -1 when that fails.
    int saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType) override;
    int saveToRawImage(KXRawImage2D* image) override;
    int saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType) override;

    // Binds the target surface as render target 0; the device's automatic
    // depth-stencil surface stays bound.
    void bindTarget() override;
    void restoreTarget() override;

    KXRenderSurface* getRenderSurface() override;

    // Entries in the private maps (an entry is made at the first draw of an
    // object and dropped when the object is edited or destroyed).
    std::size_t getNumTriMeshes() const { return m_triMeshes.size(); }
    std::size_t getNumPolylines() const { return m_polylines.size(); }
    std::size_t getNumShaderPrograms() const { return m_shaderPrograms.size(); }
    std::size_t getNumImages3D() const { return m_images3D.size(); }

protected:
    KXDXRenderStateMgr* createRenderStateMgr(KXDXDevice* device) override;
    // An off-screen implementation, whose images get textures of its own.
    KXDXShaderProgramImpl* createShaderProgramImpl(KXDXDevice* device, KXShaderProgram* program) override;
    void deviceResetting() override;
    void deviceWasReset() override;
    void deviceReleasing() override;

    // Releases and deletes both surfaces and the remembered render target.
    void deleteSurfaces();
    void forgetSavedTarget();
    void clearMaps();
    // What the saves need: a device (else -1), an argument and both surfaces
    // (else -3), and the target resolved into the resolve surface.
    int resolveForSave(const void* argument);

private:
    // The effect of the program's entry in the shader map, made when the
    // map has none for this device; null when there is none.
    ID3DXEffect* findEffect(KXShaderProgram* program);

    KXDXRenderSurface* m_target = nullptr;
    KXDXRenderSurface* m_resolve = nullptr;
    IDirect3DSurface9* m_savedTarget = nullptr;
    KXDXImplementationMap m_triMeshes;
    KXDXImplementationMap m_polylines;
    // Effects and environment cubes of the effect draws.
    KXDXImplementationMap m_shaderPrograms;
    KXDXImplementationMap m_images3D;
};
