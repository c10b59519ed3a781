#include "renderer/dx/KXDXRenderer.h"

#include "renderer/KXOutOfMemory.h"
#include "renderer/KXResult.h"
#include "renderer/dx/KXDXDevice.h"
#include "renderer/dx/KXDXRenderStateMgr.h"
#include "renderer/dx/KXDXSurfaceReader.h"
#include "resources/KXDXImage3DImpl.h"
#include "resources/KXDXPolylineImpl.h"
#include "resources/KXDXShaderProgramImpl.h"
#include "resources/KXDXTriMeshImpl.h"
#include "sceneapi/KXCamera.h"
#include "sceneapi/KXColor.h"
#include "sceneapi/KXImage2D.h"
#include "sceneapi/KXImage3D.h"
#include "sceneapi/KXMatrix.h"
#include "sceneapi/KXPolyline.h"
#include "sceneapi/KXRawImage2D.h"
#include "sceneapi/KXShaderProgram.h"
#include "sceneapi/KXTexture3D.h"
#include "sceneapi/KXTriMesh.h"

namespace {

const D3DMATRIX* toD3D(const KXMatrix& m)
{
    return reinterpret_cast<const D3DMATRIX*>(m.getData());
}

const D3DXMATRIX* toD3DX(const KXMatrix& m)
{
    return reinterpret_cast<const D3DXMATRIX*>(m.getData());
}

} // namespace

KXDXRenderer::KXDXRenderer()
    : m_device(nullptr, [this] { deviceReleasing(); }, [this] { deviceWasReset(); })
{
    if (SUCCEEDED(D3DXCreateMatrixStack(0, &m_transforms)) && m_transforms)
        m_transforms->LoadIdentity();
}

KXDXRenderer::~KXDXRenderer()
{
    deleteRenderStateMgr();
    if (m_transforms)
        m_transforms->Release();
    m_transforms = nullptr;
}

bool KXDXRenderer::ResetWatch::watch(KXDXDevice* device)
{
    if (device == m_device)
        return true;
    if (device && !kxRunWithinMemory([&] { device->registerObserver(this); }))
        return false;
    if (m_device)
        m_device->unregisterObserver(this);
    m_device = device;
    return true;
}

void KXDXRenderer::ResetWatch::update(KXObservable* source, const KXEvent& event)
{
    const auto* deviceEvent = dynamic_cast<const KXDeviceEvent*>(&event);
    if (!deviceEvent || source != m_device)
        return;
    if (deviceEvent->getType() == KXDeviceEvent::KXDEVICEEVENT_BEFORERESET)
        m_owner.deviceResetting();
    else if (deviceEvent->getType() == KXDeviceEvent::KXDEVICEEVENT_RELEASE)
        watch(nullptr);
}

IDirect3DDevice9* KXDXRenderer::getD3DDevice() const
{
    return m_device.get() ? m_device.get()->getD3DDevice() : nullptr;
}

KXDevice* KXDXRenderer::getDevice()
{
    return m_device.get();
}

KXDXRenderStateMgr* KXDXRenderer::createRenderStateMgr(KXDXDevice* device)
{
    return new KXDXRenderStateMgr(device);
}

void KXDXRenderer::deleteRenderStateMgr()
{
    setRenderStateMgr(nullptr);
    delete m_stateManager;
    m_stateManager = nullptr;
}

int KXDXRenderer::initialize(KXDevice* device)
{
    if (!device)
        return KXRESULT_NULLARGUMENT;
    auto* dxDevice = dynamic_cast<KXDXDevice*>(device);
    // Out of memory the renderer stays uninitialised: it links to no device
    // and has no render states.
    if (!kxRunWithinMemory([&] { m_device.reset(dxDevice); }) || !m_resetWatch.watch(dxDevice)) {
        m_device.reset(nullptr);
        m_resetWatch.watch(nullptr);
        return KXRESULT_FAILED;
    }
    if (!dxDevice)
        return KXRESULT_FAILED;
    // A second initialize keeps the manager it has (on the device it was
    // made for) and reports the misuse.
    if (m_stateManager)
        return KXRESULT_FAILED;
    // A renderer whose transform stack could not be made has nothing to
    // place its draws with.
    if (!m_transforms && SUCCEEDED(D3DXCreateMatrixStack(0, &m_transforms)) && m_transforms)
        m_transforms->LoadIdentity();
    KXDXRenderStateMgr* manager = nullptr;
    if (!m_transforms || !kxRunWithinMemory([&] { manager = createRenderStateMgr(dxDevice); }) || !manager) {
        m_device.reset(nullptr);
        m_resetWatch.watch(nullptr);
        return KXRESULT_FAILED;
    }
    m_stateManager = manager;
    setRenderStateMgr(m_stateManager);
    m_deviceLost = false;
    m_lostPushes = 0;
    return KXRESULT_OK;
}

void KXDXRenderer::uninitialize()
{
    deleteRenderStateMgr();
}

void KXDXRenderer::setCamera(KXCamera* camera)
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device || !camera)
        return;
    device->SetTransform(D3DTS_VIEW, toD3D(camera->getViewMatrix()));
    m_projection = camera->getProjectionMatrix();
    m_hasProjection = true;
    sendProjection(device);
    device->SetTransform(D3DTS_WORLD, toD3D(camera->getWorldMatrix()));
    // The camera's world matrix is the base that pushed transforms build on.
    if (m_transforms)
        m_transforms->LoadMatrix(toD3DX(camera->getWorldMatrix()));
}

void KXDXRenderer::setViewport(const KXViewport* viewport)
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device || !viewport)
        return;
    D3DVIEWPORT9 v;
    v.X = viewport->getTopLeftCornerX();
    v.Y = viewport->getTopLeftCornerY();
    v.Width = viewport->getWidth();
    v.Height = viewport->getHeight();
    v.MinZ = 0.0f;
    v.MaxZ = 1.0f;
    device->SetViewport(&v);
    if (m_hasProjection)
        sendProjection(device);
}

void KXDXRenderer::sendProjection(IDirect3DDevice9* device)
{
    // Direct3D 9 puts pixel centres on whole screen coordinates, so the
    // clip square's edges fall on the centres of the border pixels: the
    // border pixels would be half covered by a view-filling primitive, which
    // multisampling shows as darker edges (and seams between tiles). The
    // projection moves everything by half a pixel up and to the left, so
    // that the view covers the viewport's pixels exactly:
    // clip x -= w / width and clip y += w / height.
    D3DVIEWPORT9 viewport;
    KXMatrix projection = m_projection;
    if (SUCCEEDED(device->GetViewport(&viewport)) && viewport.Width > 0 && viewport.Height > 0) {
        const float dx = -1.0f / static_cast<float>(viewport.Width);
        const float dy = 1.0f / static_cast<float>(viewport.Height);
        for (int k = 0; k < 4; ++k) {
            projection.set(k, 0, m_projection.get(k, 0) + dx * m_projection.get(k, 3));
            projection.set(k, 1, m_projection.get(k, 1) + dy * m_projection.get(k, 3));
        }
    }
    device->SetTransform(D3DTS_PROJECTION, toD3D(projection));
}

KXViewport KXDXRenderer::getViewport()
{
    IDirect3DDevice9* device = getD3DDevice();
    D3DVIEWPORT9 v;
    if (!device || FAILED(device->GetViewport(&v)))
        return KXViewport();
    return KXViewport(v.X, v.Y, v.Width, v.Height);
}

void KXDXRenderer::setSize(unsigned width, unsigned height)
{
    KXDXDevice* device = getDXDevice();
    if (!device)
        return;
    D3DPRESENT_PARAMETERS& parameters = device->getPresentParameters();
    parameters.BackBufferWidth = width;
    parameters.BackBufferHeight = height;
    device->reset();
    // A lost device is reset as part of the resize.
    if (device->getStatus() == KXDevice::KXDEVICESTATUS_USABLE)
        m_deviceLost = false;
}

bool KXDXRenderer::recoverLostDevice()
{
    KXDXDevice* device = getDXDevice();
    if (!device || !device->getD3DDevice())
        return false;
    if (!m_deviceLost)
        return true;
    // A device that is still lost cannot be reset yet; the next frame tries
    // again.
    if (device->getStatus() == KXDevice::KXDEVICESTATUS_LOST)
        return false;
    device->reset();
    m_deviceLost = device->getStatus() != KXDevice::KXDEVICESTATUS_USABLE;
    return !m_deviceLost;
}

void KXDXRenderer::clear(const KXColor& color)
{
    KXDXDevice* device = getDXDevice();
    if (!device)
        return;
    // The first draw of the frame binds its buffers again.
    device->forgetBindings();
    IDirect3DDevice9* d3d = device->getD3DDevice();
    if (!d3d)
        return;
    recoverLostDevice();
    d3d->Clear(0, nullptr, D3DCLEAR_TARGET, color.getBGRA(), 1.0f, 0);
}

void KXDXRenderer::beginScene()
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device)
        return;
    // A frame that never clears the target (a scene without background)
    // must recover from a lost device too.
    recoverLostDevice();
    // A frame starts with no push open: what a frame abandoned halfway (out
    // of memory) left pushed is dropped, so that it neither places nor hides
    // what this frame draws.
    for (; m_pushDepth > 0; --m_pushDepth)
        m_transforms->Pop();
    m_lostPushes = 0;
    device->BeginScene();
}

void KXDXRenderer::endScene()
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device)
        return;
    device->EndScene();
    if (device->Present(nullptr, nullptr, nullptr, nullptr) == D3DERR_DEVICELOST)
        m_deviceLost = true;
}

void KXDXRenderer::pushTransform(const KXMatrix& m)
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device || !m_transforms)
        return;
    // A push the stack cannot take would leave m on the parent's matrix and
    // the matching pop would take the parent off: it is counted instead, and
    // what is drawn inside it is left out rather than drawn out of place.
    if (m_lostPushes > 0 || FAILED(m_transforms->Push())) {
        ++m_lostPushes;
        return;
    }
    ++m_pushDepth;
    m_transforms->MultMatrixLocal(toD3DX(m));
    device->SetTransform(D3DTS_WORLD, m_transforms->GetTop());
}

void KXDXRenderer::popTransform()
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device || !m_transforms)
        return;
    if (m_lostPushes > 0) {
        --m_lostPushes;
        return;
    }
    if (m_pushDepth > 0)
        --m_pushDepth;
    m_transforms->Pop();
    device->SetTransform(D3DTS_WORLD, m_transforms->GetTop());
}

void KXDXRenderer::getTransform(KXMatrix& m)
{
    m = KXMatrix();
    if (m_transforms)
        m.setData(reinterpret_cast<const float*>(m_transforms->GetTop()));
}

void KXDXRenderer::drawTriMesh(KXTriMesh* mesh)
{
    KXDXDevice* device = getDXDevice();
    if (!device || !mesh || m_lostPushes > 0)
        return;
    auto* impl = dynamic_cast<KXDXTriMeshImpl*>(mesh->getImplementation());
    // An implementation made on another device, or whose device was
    // released, is replaced by one made on this device. One that ran out of
    // memory while it was made links to no device and is made again at the
    // next draw; without memory for the object itself the mesh keeps what
    // it had and is not drawn.
    if (!impl || impl->getDevice() != device) {
        impl = new (std::nothrow) KXDXTriMeshImpl(device, device->getD3DCaps(), mesh);
        if (!impl)
            return;
        mesh->setImplementation(impl);
    }
    impl->draw();
}

void KXDXRenderer::drawPolyline(KXPolyline* polyline)
{
    KXDXDevice* device = getDXDevice();
    if (!device || !polyline || m_lostPushes > 0)
        return;
    auto* impl = dynamic_cast<KXDXPolylineImpl*>(polyline->getImplementation());
    if (!impl || impl->getDevice() != device) {
        impl = new (std::nothrow) KXDXPolylineImpl(device, polyline);
        if (!impl)
            return;
        polyline->setImplementation(impl);
    }
    impl->draw();
}

KXDXShaderProgramImpl* KXDXRenderer::createShaderProgramImpl(KXDXDevice* device, KXShaderProgram* program)
{
    return new (std::nothrow) KXDXShaderProgramImpl(device, program);
}

KXDXShaderProgramImpl* KXDXRenderer::findShaderProgram(KXShaderProgram* program)
{
    KXDXDevice* device = getDXDevice();
    // An effect belongs to the device it was built on: one built for another
    // device, or whose device was released, is replaced. One whose source
    // did not compile stays, so that it is not compiled again every frame.
    auto* impl = dynamic_cast<KXDXShaderProgramImpl*>(program->getImplementation());
    if (impl && impl->getDevice() == device)
        return impl;
    impl = createShaderProgramImpl(device, program);
    if (impl)
        program->setImplementation(impl);
    return impl;
}

void KXDXRenderer::setEffectMatrices(ID3DXEffect* effect)
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device || !effect)
        return;
    D3DXMATRIX world, view, projection;
    D3DXMatrixIdentity(&world);
    D3DXMatrixIdentity(&view);
    D3DXMatrixIdentity(&projection);
    device->GetTransform(D3DTS_WORLD, &world);
    device->GetTransform(D3DTS_VIEW, &view);
    device->GetTransform(D3DTS_PROJECTION, &projection);

    // Row-vector products: W·V applies W first.
    D3DXMATRIX worldView, worldViewProjection, viewProjection;
    D3DXMatrixMultiply(&worldView, &world, &view);
    D3DXMatrixMultiply(&worldViewProjection, &worldView, &projection);
    D3DXMatrixMultiply(&viewProjection, &view, &projection);
    D3DXMATRIX worldInverse, viewInverse, worldViewInverse;
    D3DXMATRIX worldInverseTranspose, viewInverseTranspose, worldViewInverseTranspose;
    const bool hasWorldInverse = D3DXMatrixInverse(&worldInverse, nullptr, &world) != nullptr;
    const bool hasViewInverse = D3DXMatrixInverse(&viewInverse, nullptr, &view) != nullptr;
    const bool hasWorldViewInverse = D3DXMatrixInverse(&worldViewInverse, nullptr, &worldView) != nullptr;
    D3DXMatrixTranspose(&worldInverseTranspose, &worldInverse);
    D3DXMatrixTranspose(&viewInverseTranspose, &viewInverse);
    D3DXMatrixTranspose(&worldViewInverseTranspose, &worldViewInverse);

    const struct {
        const char* semantic;
        const D3DXMATRIX* value;
    } matrices[] = {
        {"World", &world},
        {"View", &view},
        {"Projection", &projection},
        {"WorldView", &worldView},
        {"WorldViewProjection", &worldViewProjection},
        {"ViewProjection", &viewProjection},
        {"WorldInverse", hasWorldInverse ? &worldInverse : nullptr},
        {"WorldInverseTranspose", hasWorldInverse ? &worldInverseTranspose : nullptr},
        {"ViewInverse", hasViewInverse ? &viewInverse : nullptr},
        {"ViewInverseTranspose", hasViewInverse ? &viewInverseTranspose : nullptr},
        {"WorldViewInverse", hasWorldViewInverse ? &worldViewInverse : nullptr},
        {"WorldViewInverseTranspose", hasWorldViewInverse ? &worldViewInverseTranspose : nullptr},
    };
    for (const auto& matrix : matrices) {
        const D3DXHANDLE parameter = effect->GetParameterBySemantic(nullptr, matrix.semantic);
        if (parameter && matrix.value)
            effect->SetMatrix(parameter, matrix.value);
    }
    // The eye, the origin of view space, in object space.
    const D3DXHANDLE viewPosition = effect->GetParameterBySemantic(nullptr, "ViewPosition");
    if (viewPosition && hasWorldViewInverse) {
        const D3DXVECTOR3 origin(0.0f, 0.0f, 0.0f);
        D3DXVECTOR4 eye;
        D3DXVec3Transform(&eye, &origin, &worldViewInverse);
        effect->SetVector(viewPosition, &eye);
    }
}

void KXDXRenderer::drawWithEffect(ID3DXEffect* effect, KXTriMesh* mesh)
{
    setEffectMatrices(effect);
    D3DXHANDLE technique = nullptr;
    if (FAILED(effect->FindNextValidTechnique(nullptr, &technique)) || !technique)
        return;
    if (FAILED(effect->SetTechnique(technique)))
        return;
    UINT passes = 0;
    if (FAILED(effect->Begin(&passes, 0)))
        return;
    for (UINT pass = 0; pass < passes; ++pass) {
        // A pass the effect cannot set up is left out.
        if (FAILED(effect->BeginPass(pass)))
            continue;
        drawTriMesh(mesh);
        effect->EndPass();
    }
    effect->End();
}

void KXDXRenderer::drawTriMeshWithShader(KXShaderProgram* shader, KXTriMesh* mesh)
{
    if (!getDXDevice() || !shader || !mesh || isDrawingSuspended())
        return;
    KXDXShaderProgramImpl* impl = findShaderProgram(shader);
    if (impl && impl->getEffect())
        drawWithEffect(impl->getEffect(), mesh);
}

void KXDXRenderer::drawTriMeshWithEnvironment(KXShaderProgram* shader, KXTexture3D* environment, KXTriMesh* mesh)
{
    KXDXDevice* device = getDXDevice();
    if (!device || !shader || !environment || !mesh || isDrawingSuspended())
        return;
    KXDXShaderProgramImpl* impl = findShaderProgram(shader);
    ID3DXEffect* effect = impl ? impl->getEffect() : nullptr;
    if (!effect)
        return;
    // The environment cube is looked at only when the effect has a
    // parameter for it; then it is required.
    if (const D3DXHANDLE cube = effect->GetParameterBySemantic(nullptr, "CubicEnvironment")) {
        KXImage3D* image = environment->getImage3D();
        if (!image)
            return;
        auto* imageImpl = dynamic_cast<KXDXImage3DImpl*>(image->getImplementation());
        if (!imageImpl || imageImpl->getDevice() != device) {
            imageImpl = new (std::nothrow) KXDXImage3DImpl(device, image);
            if (!imageImpl)
                return;
            image->setImplementation(imageImpl);
        }
        effect->SetTexture(cube, imageImpl->getCubeTexture());
    }
    drawWithEffect(effect, mesh);
}

bool KXDXRenderer::isSavableFileType(KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    return fileType != KXImage2D::KXIMAGE2D_TGA && fileType != KXImage2D::KXIMAGE2D_PPM;
}

KXImage2D::KXIMAGE2DFILETYPE KXDXRenderer::writtenFileType(KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    return KXImage2D::isValidFileType(fileType) ? fileType : KXImage2D::KXIMAGE2D_BMP;
}

D3DXIMAGE_FILEFORMAT KXDXRenderer::toFileFormat(KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    switch (fileType) {
    case KXImage2D::KXIMAGE2D_BMP:
        return D3DXIFF_BMP;
    case KXImage2D::KXIMAGE2D_JPG:
        return D3DXIFF_JPG;
    case KXImage2D::KXIMAGE2D_PNG:
        return D3DXIFF_PNG;
    case KXImage2D::KXIMAGE2D_DDS:
        return D3DXIFF_DDS;
    case KXImage2D::KXIMAGE2D_DIB:
        return D3DXIFF_DIB;
    case KXImage2D::KXIMAGE2D_HDR:
        return D3DXIFF_HDR;
    case KXImage2D::KXIMAGE2D_PFM:
        return D3DXIFF_PFM;
    default:
        return D3DXIFF_BMP;
    }
}

int KXDXRenderer::readBackForSave(const void* target, KXImage2D::KXIMAGE2DFILETYPE fileType,
                                  KXDXComPtr<IDirect3DSurface9>& pixels)
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device)
        return KXRESULT_FAILED;
    if (!target)
        return KXRESULT_NULLARGUMENT;
    if (!isSavableFileType(fileType))
        return KXRESULT_FAILED;
    pixels = KXDXSurfaceReader::readBackBuffer(device);
    return pixels ? KXRESULT_OK : KXRESULT_FAILED;
}

int KXDXRenderer::saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    KXDXComPtr<IDirect3DSurface9> pixels;
    const int result = readBackForSave(path, fileType, pixels);
    if (result != KXRESULT_OK)
        return result;
    return SUCCEEDED(D3DXSaveSurfaceToFileW(path, toFileFormat(fileType), pixels.get(), nullptr, nullptr))
               ? KXRESULT_OK
               : KXRESULT_FAILED;
}

int KXDXRenderer::saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    KXDXComPtr<IDirect3DSurface9> pixels;
    const int result = readBackForSave(image, fileType, pixels);
    if (result != KXRESULT_OK)
        return result;
    KXDXComPtr<ID3DXBuffer> encoded;
    if (FAILED(D3DXSaveSurfaceToFileInMemory(encoded.out(), toFileFormat(fileType), pixels.get(), nullptr, nullptr)) ||
        !encoded)
        return KXRESULT_FAILED;
    // The image is told the type of the bytes it holds: unknown types are
    // written as BMP. Taking the copy can run out of memory.
    int stored = -1;
    kxRunWithinMemory([&] {
        stored = image->setData(encoded->GetBufferPointer(), encoded->GetBufferSize(), writtenFileType(fileType));
    });
    return stored == 0 ? KXRESULT_OK : KXRESULT_FAILED;
}

int KXDXRenderer::saveToRawImage(KXRawImage2D* image)
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device)
        return KXRESULT_FAILED;
    if (!image)
        return KXRESULT_NULLARGUMENT;
    const KXDXComPtr<IDirect3DSurface9> pixels = KXDXSurfaceReader::readBackBuffer(device);
    if (!pixels)
        return KXRESULT_FAILED;
    return KXDXSurfaceReader::copyToRawImage(pixels.get(), *image);
}
