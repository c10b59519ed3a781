#include "KXRecordingRenderer.h"

#include "canvas/KXCanvasEvent.h"
#include "sceneapi/KXCamera.h"
#include "sceneapi/KXClipPlane.h"
#include "sceneapi/KXColor.h"
#include "sceneapi/KXFog.h"
#include "sceneapi/KXLight.h"
#include "sceneapi/KXMaterial.h"
#include "sceneapi/KXPolyline.h"
#include "sceneapi/KXRawImage2D.h"
#include "sceneapi/KXShaderProgram.h"
#include "sceneapi/KXTexture2D.h"
#include "sceneapi/KXTexture3D.h"
#include "sceneapi/KXTextureAttributes.h"
#include "sceneapi/KXTriMesh.h"

using Log = KXRecordingLog;

// Material ------------------------------------------------------------------

void KXRecordingMaterialState::reset()
{
    m_log.states.material = nullptr;
    m_log.add("material", "reset");
}

void KXRecordingMaterialState::enableColorVertex(int enable)
{
    m_log.add("material", "enableColorVertex", {Log::text(enable)});
}

void KXRecordingMaterialState::enableSpecular(int enable)
{
    m_log.add("material", "enableSpecular", {Log::text(enable)});
}

void KXRecordingMaterialState::setMaterial(KXMaterial* material)
{
    if (material)
        m_log.states.material = material;
    m_log.add("material", "setMaterial", {Log::text(material)}, {material});
}

// Texture -------------------------------------------------------------------

void KXRecordingTextureState::reset()
{
    for (const void*& texture : m_log.states.textures)
        texture = nullptr;
    m_log.add("texture", "reset");
}

void KXRecordingTextureState::setTexture3D(unsigned stage, KXTexture3D* texture, KXTextureAttributes* attributes)
{
    if (stage < KXTrackedStates::NUM_STAGES && texture)
        m_log.states.textures[stage] = texture;
    m_log.add("texture", "setTexture3D", {Log::text(stage), Log::text(texture), Log::text(attributes)},
              {texture, attributes});
}

void KXRecordingTextureState::setTexture2D(unsigned stage, KXTexture2D* texture, KXTextureAttributes* attributes)
{
    if (stage < KXTrackedStates::NUM_STAGES && texture)
        m_log.states.textures[stage] = texture;
    m_log.add("texture", "setTexture2D", {Log::text(stage), Log::text(texture), Log::text(attributes)},
              {texture, attributes});
}

void KXRecordingTextureState::setAddressMode(unsigned stage, int axis, int mode)
{
    m_log.add("texture", "setAddressMode", {Log::text(stage), Log::text(axis), Log::text(mode)});
}

// Light ---------------------------------------------------------------------

void KXRecordingLightState::reset()
{
    m_log.states.lighting = 1;
    m_log.states.normalization = 0;
    m_log.add("light", "reset");
}

void KXRecordingLightState::enableLighting(int enable)
{
    m_log.states.lighting = enable;
    m_log.add("light", "enableLighting", {Log::text(enable)});
}

void KXRecordingLightState::enableLight(unsigned index, int enable)
{
    m_log.add("light", "enableLight", {Log::text(index), Log::text(enable)});
}

void KXRecordingLightState::setAmbientLight(KXLight* light)
{
    m_log.add("light", "setAmbientLight", {Log::text(light)}, {light});
}

void KXRecordingLightState::setLight(unsigned index, KXLight* light, const KXMatrix& world)
{
    KXRecordedCall& call =
        m_log.add("light", "setLight", {Log::text(index), Log::text(light), Log::text(world)}, {light});
    call.matrix = world;
}

void KXRecordingLightState::enableNormalization(int enable)
{
    m_log.states.normalization = enable;
    m_log.add("light", "enableNormalization", {Log::text(enable)});
}

// Z-buffer ------------------------------------------------------------------

void KXRecordingZBufferState::reset()
{
    m_log.states.zEnable = 1;
    m_log.states.zWrite = 1;
    m_log.states.zFunction = KXRenderState::KXCOMPARISON_LESSEQUAL;
    m_log.states.depthBias = 0.0f;
    m_log.states.slopeScaledDepthBias = 0.0f;
    m_log.add("zbuffer", "reset");
}

void KXRecordingZBufferState::clear()
{
    m_log.add("zbuffer", "clear");
}

void KXRecordingZBufferState::enableZBuffer(int enable)
{
    m_log.states.zEnable = enable;
    m_log.add("zbuffer", "enableZBuffer", {Log::text(enable)});
}

void KXRecordingZBufferState::enableZWrite(int enable)
{
    m_log.states.zWrite = enable;
    m_log.add("zbuffer", "enableZWrite", {Log::text(enable)});
}

void KXRecordingZBufferState::setZFunction(int comparison)
{
    m_log.states.zFunction = comparison;
    m_log.add("zbuffer", "setZFunction", {Log::text(comparison)});
}

void KXRecordingZBufferState::setDepthBias(float bias, float slopeScaledBias)
{
    m_log.states.depthBias = bias;
    m_log.states.slopeScaledDepthBias = slopeScaledBias;
    m_log.add("zbuffer", "setDepthBias", {Log::text(bias), Log::text(slopeScaledBias)});
}

// Blend ---------------------------------------------------------------------

void KXRecordingBlendState::reset()
{
    m_log.states.blending = 0;
    m_log.states.sourceBlend = KXBlendState::KXBLENDFACTOR_ONE;
    m_log.states.destinationBlend = KXBlendState::KXBLENDFACTOR_ZERO;
    m_log.states.blendOperation = KXBlendState::KXBLENDOPERATION_ADD;
    m_log.add("blend", "reset");
}

void KXRecordingBlendState::enableBlending(int enable)
{
    m_log.states.blending = enable;
    m_log.add("blend", "enableBlending", {Log::text(enable)});
}

void KXRecordingBlendState::setSourceBlend(int factor)
{
    m_log.states.sourceBlend = factor;
    m_log.add("blend", "setSourceBlend", {Log::text(factor)});
}

void KXRecordingBlendState::setDestinationBlend(int factor)
{
    m_log.states.destinationBlend = factor;
    m_log.add("blend", "setDestinationBlend", {Log::text(factor)});
}

void KXRecordingBlendState::setBlendOperation(int operation)
{
    m_log.states.blendOperation = operation;
    m_log.add("blend", "setBlendOperation", {Log::text(operation)});
}

// Poly ----------------------------------------------------------------------

void KXRecordingPolyState::reset()
{
    m_log.states.shadeMode = KXPolyState::KXSHADEMODE_GOURAUD;
    m_log.states.fillMode = KXPolyState::KXFILLMODE_SOLID;
    m_log.states.cullMode = KXPolyState::KXCULLMODE_NONE;
    m_log.add("poly", "reset");
}

void KXRecordingPolyState::setShadeMode(int mode)
{
    m_log.states.shadeMode = mode;
    m_log.add("poly", "setShadeMode", {Log::text(mode)});
}

void KXRecordingPolyState::setFillMode(int mode)
{
    m_log.states.fillMode = mode;
    m_log.add("poly", "setFillMode", {Log::text(mode)});
}

void KXRecordingPolyState::setCullMode(int mode)
{
    m_log.states.cullMode = mode;
    m_log.add("poly", "setCullMode", {Log::text(mode)});
}

// Stencil -------------------------------------------------------------------

void KXRecordingStencilState::reset()
{
    m_log.states.stencil = 0;
    m_log.add("stencil", "reset");
}

void KXRecordingStencilState::clear()
{
    m_log.add("stencil", "clear");
}

void KXRecordingStencilState::enableStencil(int enable)
{
    m_log.states.stencil = enable;
    m_log.add("stencil", "enableStencil", {Log::text(enable)});
}

void KXRecordingStencilState::setStencilFunction(int comparison)
{
    m_log.add("stencil", "setStencilFunction", {Log::text(comparison)});
}

void KXRecordingStencilState::setReference(unsigned value)
{
    m_log.add("stencil", "setReference", {Log::text(value)});
}

void KXRecordingStencilState::setMask(unsigned value)
{
    m_log.add("stencil", "setMask", {Log::text(value)});
}

void KXRecordingStencilState::setWriteMask(unsigned value)
{
    m_log.add("stencil", "setWriteMask", {Log::text(value)});
}

void KXRecordingStencilState::setZFailOperation(int operation)
{
    m_log.add("stencil", "setZFailOperation", {Log::text(operation)});
}

void KXRecordingStencilState::setFailOperation(int operation)
{
    m_log.add("stencil", "setFailOperation", {Log::text(operation)});
}

void KXRecordingStencilState::setPassOperation(int operation)
{
    m_log.add("stencil", "setPassOperation", {Log::text(operation)});
}

// Fog -----------------------------------------------------------------------

void KXRecordingFogState::reset()
{
    m_log.states.fog = 0;
    m_log.add("fog", "reset");
}

void KXRecordingFogState::setVertexFog(int enable)
{
    m_log.add("fog", "setVertexFog", {Log::text(enable)});
}

void KXRecordingFogState::setRangeFog(int enable)
{
    m_log.add("fog", "setRangeFog", {Log::text(enable)});
}

void KXRecordingFogState::enableFog(int enable)
{
    m_log.states.fog = enable;
    m_log.add("fog", "enableFog", {Log::text(enable)});
}

void KXRecordingFogState::setFog(KXFog* fog)
{
    m_log.add("fog", "setFog", {Log::text(fog)}, {fog});
}

// Clip ----------------------------------------------------------------------

void KXRecordingClipState::reset()
{
    m_log.add("clip", "reset");
}

void KXRecordingClipState::setClipPlane(unsigned index, KXClipPlane* plane, const KXMatrix& world)
{
    KXRecordedCall& call =
        m_log.add("clip", "setClipPlane", {Log::text(index), Log::text(plane), Log::text(world)}, {plane});
    call.matrix = world;
}

void KXRecordingClipState::enableClipping(int enable)
{
    m_log.add("clip", "enableClipping", {Log::text(enable)});
}

// Manager, device, renderer, observer -----------------------------------------

KXRecordingRenderStateMgr::KXRecordingRenderStateMgr(KXRecordingLog& log)
    : m_material(log), m_texture(log), m_light(log), m_zBuffer(log), m_blend(log), m_poly(log), m_stencil(log),
      m_fog(log), m_clip(log)
{
    setStates(&m_material, &m_texture, &m_light, &m_zBuffer, &m_blend, &m_poly, &m_stencil, &m_fog, &m_clip);
}

KXRecordingDevice::~KXRecordingDevice()
{
    notify(KXDeviceEvent(KXDeviceEvent::KXDEVICEEVENT_RELEASE));
}

int KXRecordingDevice::initialize(KXWindowHandle, KXAdapterFormat& settings)
{
    m_log.add("device", "initialize");
    setSettings(settings);
    return 0;
}

int KXRecordingDevice::getSettings(KXAdapterFormat& settings)
{
    m_log.add("device", "getSettings");
    if (m_settingsResult == 0)
        settings = m_settings;
    return m_settingsResult;
}

void KXRecordingDevice::release()
{
    m_log.add("device", "release");
    notify(KXDeviceEvent(KXDeviceEvent::KXDEVICEEVENT_RELEASE));
}

void KXRecordingDevice::reset()
{
    m_log.add("device", "reset");
    notify(KXDeviceEvent(KXDeviceEvent::KXDEVICEEVENT_BEFORERESET));
    notify(KXDeviceEvent(KXDeviceEvent::KXDEVICEEVENT_AFTERRESET));
}

KXRecordingRenderer::KXRecordingRenderer(KXRecordingLog& log, bool initialised) : m_log(log), m_states(log)
{
    if (initialised)
        setRenderStateMgr(&m_states);
    m_log.world = top();
}

KXRecordingRenderer::~KXRecordingRenderer() = default;

KXMatrix KXRecordingRenderer::top() const
{
    // Pushed matrices apply on the local side: the last one pushed first.
    KXMatrix m;
    for (size_t i = m_stack.size(); i-- > 0;)
        m = m * m_stack[i];
    return m * m_base;
}

int KXRecordingRenderer::initialize(KXDevice* device)
{
    m_log.add("renderer", "initialize");
    if (!device)
        return -3;
    if (getRenderStateMgr())
        return -1;
    m_device = device;
    setRenderStateMgr(&m_states);
    return 0;
}

void KXRecordingRenderer::uninitialize()
{
    m_log.add("renderer", "uninitialize");
    setRenderStateMgr(nullptr);
}

void KXRecordingRenderer::setCamera(KXCamera* camera)
{
    m_base = camera ? camera->getWorldMatrix() : KXMatrix();
    m_log.world = top();
    m_log.add("renderer", "setCamera", {Log::text(camera)}, {camera});
}

void KXRecordingRenderer::setViewport(const KXViewport* viewport)
{
    if (!viewport) {
        m_log.add("renderer", "setViewport", {"null"});
        return;
    }
    m_viewport = *viewport;
    m_log.add("renderer", "setViewport",
              {Log::text(viewport->getTopLeftCornerX()), Log::text(viewport->getTopLeftCornerY()),
               Log::text(viewport->getWidth()), Log::text(viewport->getHeight())});
}

void KXRecordingRenderer::setSize(unsigned width, unsigned height)
{
    m_log.add("renderer", "setSize", {Log::text(width), Log::text(height)});
}

void KXRecordingRenderer::clear(const KXColor& color)
{
    m_log.add("renderer", "clear", {Log::text(color)});
}

void KXRecordingRenderer::beginScene()
{
    m_sceneOpen = true;
    m_log.add("renderer", "beginScene");
}

void KXRecordingRenderer::endScene()
{
    m_sceneOpen = false;
    m_log.add("renderer", "endScene");
}

void KXRecordingRenderer::pushTransform(const KXMatrix& m)
{
    m_stack.push_back(m);
    m_log.world = top();
    KXRecordedCall& call = m_log.add("renderer", "pushTransform", {Log::text(m)});
    call.matrix = m;
}

void KXRecordingRenderer::popTransform()
{
    if (m_stack.empty())
        ++m_misuse;
    else
        m_stack.pop_back();
    m_log.world = top();
    m_log.add("renderer", "popTransform");
}

void KXRecordingRenderer::drawn(const std::string& operation, std::vector<std::string> arguments,
                                std::vector<const void*> objects)
{
    if (!m_sceneOpen)
        ++m_misuse;
    m_log.add("renderer", operation, std::move(arguments), std::move(objects));
}

void KXRecordingRenderer::drawTriMeshWithEnvironment(KXShaderProgram* shader, KXTexture3D* environment,
                                                     KXTriMesh* mesh)
{
    drawn("drawTriMeshWithEnvironment", {Log::text(shader), Log::text(environment), Log::text(mesh)},
          {shader, environment, mesh});
}

void KXRecordingRenderer::drawTriMeshWithShader(KXShaderProgram* shader, KXTriMesh* mesh)
{
    drawn("drawTriMeshWithShader", {Log::text(shader), Log::text(mesh)}, {shader, mesh});
}

void KXRecordingRenderer::drawTriMesh(KXTriMesh* mesh)
{
    drawn("drawTriMesh", {Log::text(mesh)}, {mesh});
}

void KXRecordingRenderer::drawPolyline(KXPolyline* polyline)
{
    drawn("drawPolyline", {Log::text(polyline)}, {polyline});
}

int KXRecordingRenderer::saveToFile(const wchar_t*, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    m_log.add("renderer", "saveToFile", {Log::text(static_cast<int>(fileType))});
    return -1;
}

int KXRecordingRenderer::saveToRawImage(KXRawImage2D* image)
{
    m_log.add("renderer", "saveToRawImage", {}, {image});
    return -1;
}

int KXRecordingRenderer::saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    m_log.add("renderer", "saveToImage", {Log::text(image), Log::text(static_cast<int>(fileType))}, {image});
    return -1;
}

void KXRecordingObserver::update(KXObservable*, const KXEvent& event)
{
    if (dynamic_cast<const KXCanvasEvent*>(&event))
        m_log.add("event", "canvas", {Log::text(event.getKind())});
    else if (const auto* deviceEvent = dynamic_cast<const KXDeviceEvent*>(&event))
        m_log.add("event", "device", {Log::text(static_cast<int>(deviceEvent->getType()))});
    else
        m_log.add("event", "other", {Log::text(event.getKind())});
}
