#include "resources/KXDXShaderProgramUtils.h"

#include "renderer/KXOutOfMemory.h"
#include "renderer/dx/KXDXComPtr.h"
#include "renderer/dx/KXDXDevice.h"
#include "renderer/dx/KXDXRenderer.h"
#include "resources/KXDXImage2DImpl.h"
#include "resources/KXDXImage3DImpl.h"
#include "sceneapi/KXControl.h"
#include "sceneapi/KXEffectVariable.h"
#include "sceneapi/KXImage2D.h"
#include "sceneapi/KXImage3D.h"
#include "sceneapi/KXParameter.h"
#include "sceneapi/KXShaderProgram.h"

#include <windows.h>

#include <climits>
#include <cmath>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

KXDXShaderProgramUtils::KXVARIABLEBINDING g_variableBinding = KXDXShaderProgramUtils::KXVARIABLEBINDING_ATTACHED;
KXDXShaderProgramUtils::KXIMAGECACHING g_imageCaching = KXDXShaderProgramUtils::KXIMAGECACHING_SHARED;

// Sets both modes for the life of one step and restores what they were.
class ModeScope
{
public:
    ModeScope(KXDXShaderProgramUtils::KXVARIABLEBINDING binding, KXDXShaderProgramUtils::KXIMAGECACHING caching)
        : m_binding(g_variableBinding), m_caching(g_imageCaching)
    {
        g_variableBinding = binding;
        g_imageCaching = caching;
    }
    ~ModeScope()
    {
        g_variableBinding = m_binding;
        g_imageCaching = m_caching;
    }
    ModeScope(const ModeScope&) = delete;
    ModeScope& operator=(const ModeScope&) = delete;

private:
    KXDXShaderProgramUtils::KXVARIABLEBINDING m_binding;
    KXDXShaderProgramUtils::KXIMAGECACHING m_caching;
};

// An effect's text (names, annotation strings) in wide characters; empty for
// null or text the code page does not decode.
std::wstring toWide(const char* text)
{
    if (!text || !*text)
        return std::wstring();
    const int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (size <= 0)
        return std::wstring();
    std::vector<wchar_t> wide(static_cast<size_t>(size));
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), size) != size)
        return std::wstring();
    return std::wstring(wide.data());
}

// ASCII case-insensitive equality, as annotation values are compared.
bool equalsIgnoringCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        const char ca = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
        const char cb = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
        if (ca != cb)
            return false;
    }
    return *a == *b;
}

// The kind of control a widget annotation's text asks for; none for text
// that names no known widget.
KXControl::KXCONTROLTYPE widgetKind(const char* widget)
{
    static const struct {
        const char* text;
        KXControl::KXCONTROLTYPE kind;
    } widgets[] = {
        {"Slider", KXControl::KXCONTROL_SLIDER},
        {"FilePicker", KXControl::KXCONTROL_FILE},
        {"ColorPicker", KXControl::KXCONTROL_COLOR},
        {"Color", KXControl::KXCONTROL_COLOR},
        {"Direction", KXControl::KXCONTROL_DIRECTION},
        {"Image", KXControl::KXCONTROL_FILE},
    };
    for (const auto& entry : widgets) {
        if (equalsIgnoringCase(widget, entry.text))
            return entry.kind;
    }
    return KXControl::KXCONTROL_NONE;
}

// The string of an annotation, or null when it is missing or not readable as
// a string.
const char* annotationString(ID3DXEffect* effect, D3DXHANDLE parameter, const char* name)
{
    const D3DXHANDLE annotation = effect->GetAnnotationByName(parameter, name);
    LPCSTR text = nullptr;
    if (!annotation || FAILED(effect->GetString(annotation, &text)))
        return nullptr;
    return text;
}

// Steps of a slider over range with steps of size step: rounded up, so that
// the last step reaches the maximum. A step that divides the range into no
// finite positive count (zero, negative, not a number) gives 0; a finite
// count beyond an int is cut to the largest.
int stepCount(float range, float step)
{
    const float steps = std::ceil(range / step);
    if (!(steps > 0.0f) || !std::isfinite(steps))
        return 0;
    return steps >= static_cast<float>(INT_MAX) ? INT_MAX : static_cast<int>(steps);
}

// The slider of a parameter whose "UIMin" and "UIMax" give a range (minimum
// and maximum start at -1 when unreadable), divided into the steps "UIStep"
// gives (a count, or the size of one step; 10 without it). Null without the
// range annotations, for an empty range or no steps.
std::unique_ptr<KXControl> makeSlider(ID3DXEffect* effect, D3DXHANDLE parameter, const std::wstring& title)
{
    const D3DXHANDLE minimumAnnotation = effect->GetAnnotationByName(parameter, "UIMin");
    const D3DXHANDLE maximumAnnotation = effect->GetAnnotationByName(parameter, "UIMax");
    if (!minimumAnnotation || !maximumAnnotation)
        return nullptr;
    float minimum = -1.0f, maximum = -1.0f, read = 0.0f;
    if (SUCCEEDED(effect->GetFloat(minimumAnnotation, &read)))
        minimum = read;
    if (SUCCEEDED(effect->GetFloat(maximumAnnotation, &read)))
        maximum = read;
    int steps = 10;
    D3DXPARAMETER_DESC stepDesc;
    const D3DXHANDLE stepAnnotation = effect->GetAnnotationByName(parameter, "UIStep");
    if (stepAnnotation && SUCCEEDED(effect->GetParameterDesc(stepAnnotation, &stepDesc))) {
        if (stepDesc.Type == D3DXPT_INT) {
            INT count = 0;
            if (SUCCEEDED(effect->GetInt(stepAnnotation, &count)))
                steps = count;
        } else if (stepDesc.Type == D3DXPT_FLOAT) {
            float step = 0.0f;
            if (FAILED(effect->GetFloat(stepAnnotation, &step)))
                step = 0.0f;
            steps = stepCount(maximum - minimum, step);
        }
    }
    if (!(maximum > minimum) || steps <= 0)
        return nullptr;
    return std::unique_ptr<KXControl>(new KXSliderControl(title, title, minimum, maximum, steps));
}

// The variable of a new parameter, holding the effect's current value; null
// for kinds that carry no value the library reads.
std::unique_ptr<KXVariable> makeVariable(ID3DXEffect* effect, D3DXHANDLE parameter, KXControl::KXCONTROLTYPE kind)
{
    const bool attached =
        KXDXShaderProgramUtils::getVariableBinding() == KXDXShaderProgramUtils::KXVARIABLEBINDING_ATTACHED;
    ID3DXEffect* boundEffect = attached ? effect : nullptr;
    const D3DXHANDLE boundHandle = attached ? parameter : nullptr;
    switch (kind) {
    case KXControl::KXCONTROL_SLIDER: {
        float value = 0.0f;
        if (FAILED(effect->GetFloat(parameter, &value)))
            value = 0.0f;
        return std::unique_ptr<KXVariable>(new KXEffectVariable(boundEffect, boundHandle, KXVariant(value)));
    }
    case KXControl::KXCONTROL_COLOR: {
        float rgba[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        if (FAILED(effect->GetFloatArray(parameter, rgba, 4)))
            rgba[0] = rgba[1] = rgba[2] = rgba[3] = 0.0f;
        return std::unique_ptr<KXVariable>(new KXColorVariable(boundEffect, boundHandle, KXVariant(rgba, 4)));
    }
    default:
        return nullptr;
    }
}

// A parameter the program lists already: its stored value goes into this
// effect, and the variable returns to the effect it was bound to, if any.
void refreshParameter(ID3DXEffect* effect, D3DXHANDLE parameter, KXParameter& known)
{
    auto* variable = dynamic_cast<KXEffectVariable*>(known.getVariable());
    if (!variable)
        return;
    ID3DXEffect* boundEffect = variable->getEffect();
    const char* boundHandle = variable->getHandle();
    variable->setEffect(effect);
    variable->setHandle(parameter);
    variable->apply();
    if (boundEffect && boundHandle) {
        variable->setEffect(boundEffect);
        variable->setHandle(boundHandle);
    }
}

void describe(ID3DXEffect* effect, D3DXHANDLE parameter, KXShaderProgram& program)
{
    D3DXPARAMETER_DESC desc;
    if (FAILED(effect->GetParameterDesc(parameter, &desc)))
        return;
    // A parameter without a name could never be found again: every
    // compilation would add it once more.
    const std::wstring name = toWide(desc.Name);
    if (name.empty())
        return;
    if (KXParameter* known = program.findParameter(name.c_str())) {
        refreshParameter(effect, parameter, *known);
        return;
    }

    BOOL visible = TRUE;
    if (const D3DXHANDLE annotation = effect->GetAnnotationByName(parameter, "UIVisible")) {
        BOOL read = TRUE;
        if (SUCCEEDED(effect->GetBool(annotation, &read)))
            visible = read;
    }
    // "UIType" names the widget only when "UIWidget" is missing altogether.
    D3DXHANDLE widget = effect->GetAnnotationByName(parameter, "UIWidget");
    if (!widget)
        widget = effect->GetAnnotationByName(parameter, "UIType");
    LPCSTR widgetText = nullptr;
    KXControl::KXCONTROLTYPE kind = KXControl::KXCONTROL_NONE;
    if (widget && SUCCEEDED(effect->GetString(widget, &widgetText)) && widgetText)
        kind = widgetKind(widgetText);
    if (!visible || kind == KXControl::KXCONTROL_NONE || kind == KXControl::KXCONTROL_FILE)
        return;

    std::unique_ptr<KXControl> control;
    if (const char* label = annotationString(effect, parameter, "UIName")) {
        const std::wstring title = toWide(label);
        if (kind == KXControl::KXCONTROL_SLIDER)
            control = makeSlider(effect, parameter, title);
        else if (kind == KXControl::KXCONTROL_COLOR)
            control.reset(new KXColorControl(title, title));
    }
    std::unique_ptr<KXVariable> variable = makeVariable(effect, parameter, kind);

    std::unique_ptr<KXParameter> record(new KXParameter());
    record->setControl(control.release());
    record->setVariable(variable.release());
    record->setName(name);
    program.addParameter(record.get());
    record.release();
}

// The program's image that one of the parameter's string annotations names:
// the first annotation, in order, that names an image of the program.
KXImage* namedImage(ID3DXEffect* effect, D3DXHANDLE parameter, UINT annotations, const KXShaderProgram& program)
{
    for (UINT i = 0; i < annotations; ++i) {
        const D3DXHANDLE annotation = effect->GetAnnotation(parameter, i);
        if (!annotation)
            break;
        D3DXPARAMETER_DESC desc;
        LPCSTR text = nullptr;
        if (FAILED(effect->GetParameterDesc(annotation, &desc)) || desc.Type != D3DXPT_STRING ||
            FAILED(effect->GetString(annotation, &text)) || !text)
            continue;
        if (KXImage* image = program.getImage(toWide(text).c_str()))
            return image;
    }
    return nullptr;
}

// The implementation of image to take the texture from. Shared caching
// takes the one in the image's slot, made there for this device when the
// slot holds none for it; private caching makes one that the caller owns
// alone (owned is then set). Null out of memory, also when the
// implementation was made but ran out of memory building its texture (it
// then links to no device, and the slot's is made again next time).
template <class Impl, class Image>
Impl* imageImplementation(KXDXDevice* device, Image* image, std::unique_ptr<Impl>& owned)
{
    Impl* impl = nullptr;
    if (KXDXShaderProgramUtils::getImageCaching() == KXDXShaderProgramUtils::KXIMAGECACHING_PRIVATE) {
        owned.reset(new (std::nothrow) Impl(device, image));
        impl = owned.get();
    } else {
        impl = dynamic_cast<Impl*>(image->getImplementation());
        if (!impl || impl->getDevice() != device) {
            impl = new (std::nothrow) Impl(device, image);
            if (impl)
                image->setImplementation(impl);
        }
    }
    return impl && impl->getDevice() == device ? impl : nullptr;
}

// False when memory ran out for the implementation.
bool bindImage(ID3DXEffect* effect, D3DXHANDLE parameter, KXImage* image, KXDXDevice* device)
{
    // A private implementation goes right after the binding: the effect
    // keeps its own reference to the texture.
    if (image->getType() == KXImage::KXIMAGE_2D) {
        auto* image2D = dynamic_cast<KXImage2D*>(image);
        if (!image2D)
            return true;
        std::unique_ptr<KXDXImage2DImpl> owned;
        KXDXImage2DImpl* impl = imageImplementation(device, image2D, owned);
        if (!impl)
            return false;
        effect->SetTexture(parameter, impl->getTexture());
    } else if (image->getType() == KXImage::KXIMAGE_3D) {
        auto* image3D = dynamic_cast<KXImage3D*>(image);
        if (!image3D)
            return true;
        std::unique_ptr<KXDXImage3DImpl> owned;
        KXDXImage3DImpl* impl = imageImplementation(device, image3D, owned);
        if (!impl)
            return false;
        // A cube map stored as six faces is a cube map all the same.
        switch (image3D->getImage3DType()) {
        case KXImage3D::KXIMAGE3D_CUBEMAP:
        case KXImage3D::KXIMAGE3D_CUBEFACES:
            effect->SetTexture(parameter, impl->getCubeTexture());
            break;
        case KXImage3D::KXIMAGE3D_VOLUME:
            effect->SetTexture(parameter, impl->getVolumeTexture());
            break;
        }
    }
    return true;
}

// Closes the hidden window of populateEffect on every way out.
class HiddenWindow
{
public:
    explicit HiddenWindow(HWND window) : m_window(window) {}
    ~HiddenWindow() { destroy(); }
    HiddenWindow(const HiddenWindow&) = delete;
    HiddenWindow& operator=(const HiddenWindow&) = delete;
    HWND get() const { return m_window; }
    void destroy()
    {
        if (m_window)
            DestroyWindow(m_window);
        m_window = nullptr;
    }

private:
    HWND m_window;
};

// Holds an effect whose variables must be detached before it goes.
class OwnedEffect
{
public:
    OwnedEffect() = default;
    ~OwnedEffect() { reset(); }
    OwnedEffect(const OwnedEffect&) = delete;
    OwnedEffect& operator=(const OwnedEffect&) = delete;
    ID3DXEffect* get() const { return m_effect; }
    ID3DXEffect** out()
    {
        reset();
        return &m_effect;
    }
    void reset()
    {
        if (!m_effect)
            return;
        KXEffectVariable::detachAll(m_effect);
        m_effect->Release();
        m_effect = nullptr;
    }
    ID3DXEffect* detach()
    {
        ID3DXEffect* effect = m_effect;
        m_effect = nullptr;
        return effect;
    }

private:
    ID3DXEffect* m_effect = nullptr;
};

// D3DXCreateEffect of the program's source on the device; compile errors
// are dropped.
HRESULT compileEffect(IDirect3DDevice9* device, const KXShaderProgram& program, OwnedEffect& effect)
{
    KXDXComPtr<ID3DXBuffer> errors;
    const HRESULT result = D3DXCreateEffect(device, program.getSourceBuffer(), program.getSourceSize(), nullptr,
                                            nullptr, 0, nullptr, effect.out(), errors.out());
    if (SUCCEEDED(result) && effect.get())
        return result;
    effect.reset();
    return FAILED(result) ? result : E_FAIL;
}

bool populate(KXShaderProgram& program)
{
    // The window belongs to the executable's module, as any window of the
    // host application would.
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const HMODULE module = GetModuleHandleW(path);
    HiddenWindow window(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, module, nullptr));
    if (!window.get())
        return false;
    const ModeScope scope(KXDXShaderProgramUtils::KXVARIABLEBINDING_DETACHED, g_imageCaching);

    KXAdapterFormat settings;
    settings.windowMode = KXAdapterFormat::KXWINDOWMODE_WINDOWED;
    settings.colorFormat = KXAdapterFormat::KXCOLORFORMAT_X8R8G8B8;
    settings.multisampling = KXAdapterFormat::KXMULTISAMPLING_NONE;
    settings.depthStencil = KXAdapterFormat::KXDEPTHSTENCIL_D16;
    // Declared in this order, the effect goes before the renderer and the
    // renderer before the device, whatever way the function is left.
    std::unique_ptr<KXDXDevice> device(new KXDXDevice());
    device->initialize(window.get(), settings);
    std::unique_ptr<KXDXRenderer> renderer(new KXDXRenderer());
    renderer->initialize(device.get());
    {
        OwnedEffect effect;
        if (IDirect3DDevice9* d3d = device->getD3DDevice()) {
            if (SUCCEEDED(compileEffect(d3d, program, effect)))
                KXDXShaderProgramUtils::createParameters(effect.get(), &program);
        }
    }
    renderer->uninitialize();
    device->release();
    window.destroy();
    return true;
}

} // namespace

KXDXShaderProgramUtils::KXVARIABLEBINDING KXDXShaderProgramUtils::getVariableBinding()
{
    return g_variableBinding;
}

KXDXShaderProgramUtils::KXIMAGECACHING KXDXShaderProgramUtils::getImageCaching()
{
    return g_imageCaching;
}

bool KXDXShaderProgramUtils::populateEffect(KXShaderProgram* program)
{
    if (!program)
        return false;
    bool populated = false;
    kxRunWithinMemory([&] { populated = populate(*program); });
    return populated;
}

bool KXDXShaderProgramUtils::createParameters(ID3DXEffect* effect, KXShaderProgram* program)
{
    if (!effect || !program)
        return false;
    return kxRunWithinMemory([&] {
        D3DXEFFECT_DESC desc;
        const UINT count = SUCCEEDED(effect->GetDesc(&desc)) ? desc.Parameters : 0;
        for (UINT i = 0; i < count; ++i) {
            if (const D3DXHANDLE parameter = effect->GetParameter(nullptr, i))
                describe(effect, parameter, *program);
        }
    });
}

bool KXDXShaderProgramUtils::describeParameter(ID3DXEffect* effect, D3DXHANDLE parameter, KXShaderProgram* program)
{
    if (!effect || !parameter || !program)
        return false;
    return kxRunWithinMemory([&] { describe(effect, parameter, *program); });
}

bool KXDXShaderProgramUtils::bindImages(ID3DXEffect* effect, KXDXDevice* device, KXShaderProgram* program)
{
    if (!effect || !device || !program)
        return true;
    bool complete = true;
    for (UINT i = 0;; ++i) {
        const D3DXHANDLE parameter = effect->GetParameter(nullptr, i);
        D3DXPARAMETER_DESC desc;
        if (!parameter || FAILED(effect->GetParameterDesc(parameter, &desc)))
            break;
        if (desc.Type != D3DXPT_TEXTURE)
            continue;
        KXImage* image = nullptr;
        if (!kxRunWithinMemory([&] { image = namedImage(effect, parameter, desc.Annotations, *program); })) {
            complete = false;
            continue;
        }
        if (image && !bindImage(effect, parameter, image, device))
            complete = false;
    }
    return complete;
}

bool KXDXShaderProgramUtils::prepareEffect(ID3DXEffect* effect, KXDXDevice* device, KXShaderProgram* program,
                                           KXIMAGECACHING caching)
{
    if (!effect || !program)
        return true;
    const ModeScope scope(KXVARIABLEBINDING_ATTACHED, caching);
    const bool bound = bindImages(effect, device, program);
    return createParameters(effect, program) && bound;
}

HRESULT KXDXShaderProgramUtils::buildEffect(KXDXDevice* device, KXShaderProgram* program, KXIMAGECACHING caching,
                                            ID3DXEffect** effect)
{
    if (!effect)
        return D3DERR_INVALIDCALL;
    *effect = nullptr;
    IDirect3DDevice9* d3d = device ? device->getD3DDevice() : nullptr;
    if (!d3d || !program)
        return D3DERR_INVALIDCALL;
    OwnedEffect built;
    const HRESULT compiled = compileEffect(d3d, *program, built);
    if (FAILED(compiled))
        return compiled;
    if (!prepareEffect(built.get(), device, program, caching))
        return E_OUTOFMEMORY;
    *effect = built.detach();
    return D3D_OK;
}
