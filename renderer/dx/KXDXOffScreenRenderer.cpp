#include "renderer/dx/KXDXOffScreenRenderer.h"

#include "renderer/KXResult.h"
#include "renderer/dx/KXDXDevice.h"
#include "renderer/dx/KXDXRenderStateMgr.h"
#include "resources/KXDXImage3DImpl.h"
#include "resources/KXDXOffScreenShaderProgramImpl.h"
#include "resources/KXDXPolylineImpl.h"
#include "resources/KXDXRenderSurface.h"
#include "resources/KXDXShaderProgramUtils.h"
#include "resources/KXDXTriMeshImpl.h"
#include "sceneapi/KXImage3D.h"
#include "sceneapi/KXPolyline.h"
#include "sceneapi/KXShaderProgram.h"
#include "sceneapi/KXTexture3D.h"
#include "sceneapi/KXTriMesh.h"

#include <new>

namespace {

// A render target of the size, with or without the device's multisampling;
// the object even when Direct3D refuses the surface (it then holds none).
KXDXRenderSurface* makeSurface(KXDXDevice* device, unsigned width, unsigned height, bool multisampled)
{
    auto* surface = new (std::nothrow) KXDXRenderSurface();
    if (!surface)
        return nullptr;
    surface->setUseDeviceMultisampling(multisampled);
    if (surface->initialize(device) == KXRESULT_OK)
        surface->create(width, height, 1);
    return surface;
}

} // namespace

KXDXOffScreenRenderer::KXDXOffScreenRenderer() = default;

KXDXOffScreenRenderer::~KXDXOffScreenRenderer()
{
    deleteSurfaces();
    clearMaps();
}

KXDXRenderStateMgr* KXDXOffScreenRenderer::createRenderStateMgr(KXDXDevice* device)
{
    return new KXDXOffScreenRenderStateMgr(device);
}

void KXDXOffScreenRenderer::uninitialize()
{
    KXDXRenderer::uninitialize();
    deleteSurfaces();
    clearMaps();
}

void KXDXOffScreenRenderer::forgetSavedTarget()
{
    if (m_savedTarget)
        m_savedTarget->Release();
    m_savedTarget = nullptr;
}

void KXDXOffScreenRenderer::deleteSurfaces()
{
    forgetSavedTarget();
    for (KXDXRenderSurface** surface : {&m_target, &m_resolve}) {
        if (!*surface)
            continue;
        (*surface)->release();
        delete *surface;
        *surface = nullptr;
    }
}

void KXDXOffScreenRenderer::clearMaps()
{
    m_triMeshes.clear();
    m_polylines.clear();
    m_shaderPrograms.clear();
    m_images3D.clear();
}

void KXDXOffScreenRenderer::setSize(unsigned width, unsigned height)
{
    KXDXDevice* device = getDXDevice();
    if (!device)
        return;
    // The old surfaces go before the reset, which Direct3D refuses while
    // they live.
    deleteSurfaces();
    D3DPRESENT_PARAMETERS& parameters = device->getPresentParameters();
    parameters.BackBufferWidth = width;
    parameters.BackBufferHeight = height;
    device->reset();
    m_target = makeSurface(device, width, height, true);
    m_resolve = makeSurface(device, width, height, false);
}

void KXDXOffScreenRenderer::endScene()
{
    if (IDirect3DDevice9* device = getD3DDevice())
        device->EndScene();
}

void KXDXOffScreenRenderer::drawTriMesh(KXTriMesh* mesh)
{
    KXDXDevice* device = getDXDevice();
    if (!device || !mesh || isDrawingSuspended())
        return;
    auto* impl = m_triMeshes.findOrMake<KXDXTriMeshImpl>(mesh, device, [&] {
        return new (std::nothrow) KXDXTriMeshImpl(device, device->getD3DCaps(), mesh);
    });
    if (impl)
        impl->draw();
}

void KXDXOffScreenRenderer::drawPolyline(KXPolyline* polyline)
{
    KXDXDevice* device = getDXDevice();
    if (!device || !polyline || isDrawingSuspended())
        return;
    auto* impl = m_polylines.findOrMake<KXDXPolylineImpl>(
        polyline, device, [&] { return new (std::nothrow) KXDXPolylineImpl(device, polyline); });
    if (impl)
        impl->draw();
}

KXDXShaderProgramImpl* KXDXOffScreenRenderer::createShaderProgramImpl(KXDXDevice* device, KXShaderProgram* program)
{
    return new (std::nothrow) KXDXOffScreenShaderProgramImpl(device, program);
}

ID3DXEffect* KXDXOffScreenRenderer::findEffect(KXShaderProgram* program)
{
    KXDXDevice* device = getDXDevice();
    auto* impl = m_shaderPrograms.findAs<KXDXShaderProgramImpl>(program);
    if (impl && impl->getDevice() == device) {
        // The values the application set since the last draw reach this
        // effect, which the program's variables are not bound to.
        KXDXShaderProgramUtils::createParameters(impl->getEffect(), program);
    } else {
        impl = m_shaderPrograms.findOrMake<KXDXShaderProgramImpl>(
            program, device, [&] { return createShaderProgramImpl(device, program); });
    }
    return impl ? impl->getEffect() : nullptr;
}

void KXDXOffScreenRenderer::drawTriMeshWithShader(KXShaderProgram* shader, KXTriMesh* mesh)
{
    if (!getDXDevice() || !shader || !mesh || isDrawingSuspended())
        return;
    if (ID3DXEffect* effect = findEffect(shader))
        drawWithEffect(effect, mesh);
}

void KXDXOffScreenRenderer::drawTriMeshWithEnvironment(KXShaderProgram* shader, KXTexture3D* environment,
                                                       KXTriMesh* mesh)
{
    KXDXDevice* device = getDXDevice();
    if (!device || !shader || !environment || !mesh || isDrawingSuspended())
        return;
    ID3DXEffect* effect = findEffect(shader);
    KXImage3D* image = environment->getImage3D();
    if (!effect || !image)
        return;
    auto* imageImpl = m_images3D.findOrMake<KXDXImage3DImpl>(
        image, device, [&] { return new (std::nothrow) KXDXImage3DImpl(device, image); });
    if (const D3DXHANDLE cube = effect->GetParameterBySemantic(nullptr, "CubicEnvironment")) {
        if (!imageImpl)
            return;
        effect->SetTexture(cube, imageImpl->getCubeTexture());
    }
    drawWithEffect(effect, mesh);
}

void KXDXOffScreenRenderer::bindTarget()
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device || !m_target || !m_target->getSurface())
        return;
    // A second bind inside one bracket keeps what the first remembered.
    if (m_savedTarget) {
        device->SetRenderTarget(0, m_target->getSurface());
        return;
    }
    IDirect3DSurface9* previous = nullptr;
    if (FAILED(device->GetRenderTarget(0, &previous)))
        return;
    if (FAILED(device->SetRenderTarget(0, m_target->getSurface()))) {
        if (previous)
            previous->Release();
        return;
    }
    m_savedTarget = previous;
}

void KXDXOffScreenRenderer::restoreTarget()
{
    IDirect3DDevice9* device = getD3DDevice();
    if (device && m_savedTarget)
        device->SetRenderTarget(0, m_savedTarget);
    forgetSavedTarget();
}

KXRenderSurface* KXDXOffScreenRenderer::getRenderSurface()
{
    return m_target;
}

int KXDXOffScreenRenderer::resolveForSave(const void* argument)
{
    if (!getD3DDevice())
        return KXRESULT_FAILED;
    if (!argument || !m_target || !m_resolve)
        return KXRESULT_NULLARGUMENT;
    // A multisampled surface cannot be read back: StretchRect resolves it.
    return m_target->copyTo(m_resolve) == KXRESULT_OK ? KXRESULT_OK : KXRESULT_FAILED;
}

int KXDXOffScreenRenderer::saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    if (getD3DDevice() && path && m_target && !isSavableFileType(fileType))
        return KXRESULT_FAILED;
    const int resolved = resolveForSave(path);
    return resolved == KXRESULT_OK ? m_resolve->saveToFile(path, fileType) : resolved;
}

int KXDXOffScreenRenderer::saveToRawImage(KXRawImage2D* image)
{
    const int resolved = resolveForSave(image);
    return resolved == KXRESULT_OK ? m_resolve->saveToRawImage(image) : resolved;
}

int KXDXOffScreenRenderer::saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    if (getD3DDevice() && image && m_target && !isSavableFileType(fileType))
        return KXRESULT_FAILED;
    const int resolved = resolveForSave(image);
    return resolved == KXRESULT_OK ? m_resolve->saveToImage(image, fileType) : resolved;
}

void KXDXOffScreenRenderer::deviceResetting()
{
    forgetSavedTarget();
    for (KXDXRenderSurface* surface : {m_target, m_resolve})
        if (surface)
            surface->release();
}

void KXDXOffScreenRenderer::deviceWasReset()
{
    for (KXDXRenderSurface* surface : {m_target, m_resolve})
        if (surface && !surface->getSurface() && surface->getWidth() > 0)
            surface->create(surface->getWidth(), surface->getHeight(), 1);
}

void KXDXOffScreenRenderer::deviceReleasing()
{
    // Everything made on the device goes with it; a later initialize on
    // another device starts afresh.
    deleteSurfaces();
    clearMaps();
}
