#include "sceneapi/KXEffectVariable.h"

#include "sceneapi/KXFileUtils.h"

#include <d3dx9effect.h>

#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace {

// The list of bound variables: its head and the lock that guards every
// link in it.
std::mutex& boundListLock()
{
    static std::mutex lock;
    return lock;
}

KXEffectVariable*& boundListHead()
{
    static KXEffectVariable* head = nullptr;
    return head;
}

// The text an effect's SetString takes: the multi-byte form of text in the
// code page effects read (on this library's own platform, UTF-8). False when
// the text has no such form.
bool toEffectText(const std::wstring& text, std::string& out)
{
#ifdef _WIN32
    out.clear();
    if (text.empty())
        return true;
    const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return false;
    std::vector<char> bytes(static_cast<size_t>(size));
    if (WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr) != size)
        return false;
    out.assign(bytes.data());
    return true;
#else
    return KXFileUtils::toNativePath(text.c_str(), out);
#endif
}

} // namespace

KXEffectVariable::KXEffectVariable(ID3DXEffect* effect, const char* handle, const KXVariant& value)
    : KXVariable(value), m_effect(effect), m_handle(handle)
{
    link();
}

KXEffectVariable::KXEffectVariable(const KXEffectVariable& other)
    : KXVariable(other), m_effect(other.m_effect), m_handle(other.m_handle)
{
    link();
}

KXEffectVariable::~KXEffectVariable()
{
    unlink();
}

void KXEffectVariable::link()
{
    if (!m_effect)
        return;
    std::lock_guard<std::mutex> guard(boundListLock());
    KXEffectVariable*& head = boundListHead();
    m_previousBound = nullptr;
    m_nextBound = head;
    if (head)
        head->m_previousBound = this;
    head = this;
}

void KXEffectVariable::unlink()
{
    if (!m_effect)
        return;
    std::lock_guard<std::mutex> guard(boundListLock());
    if (m_previousBound)
        m_previousBound->m_nextBound = m_nextBound;
    else
        boundListHead() = m_nextBound;
    if (m_nextBound)
        m_nextBound->m_previousBound = m_previousBound;
    m_previousBound = nullptr;
    m_nextBound = nullptr;
}

void KXEffectVariable::setEffect(ID3DXEffect* effect)
{
    if (effect == m_effect)
        return;
    unlink();
    m_effect = effect;
    link();
}

void KXEffectVariable::detachAll(const ID3DXEffect* effect)
{
    if (!effect)
        return;
    std::lock_guard<std::mutex> guard(boundListLock());
    KXEffectVariable*& head = boundListHead();
    KXEffectVariable* variable = head;
    while (variable) {
        KXEffectVariable* next = variable->m_nextBound;
        if (variable->m_effect == effect) {
            if (variable->m_previousBound)
                variable->m_previousBound->m_nextBound = next;
            else
                head = next;
            if (next)
                next->m_previousBound = variable->m_previousBound;
            variable->m_previousBound = nullptr;
            variable->m_nextBound = nullptr;
            variable->m_effect = nullptr;
            variable->m_handle = nullptr;
        }
        variable = next;
    }
}

void KXEffectVariable::apply()
{
    if (!m_effect || !m_handle)
        return;
    const KXVariant& value = getValue();
    switch (value.getType()) {
    case KXVariant::KXVARIANT_BOOL:
        m_effect->SetBool(m_handle, value.getBool() ? TRUE : FALSE);
        break;
    case KXVariant::KXVARIANT_INT:
        m_effect->SetInt(m_handle, value.getInt());
        break;
    case KXVariant::KXVARIANT_FLOAT:
        m_effect->SetFloat(m_handle, value.getFloat());
        break;
    case KXVariant::KXVARIANT_FLOATARRAY: {
        const std::vector<float>& values = value.getFloatArray();
        if (!values.empty())
            m_effect->SetFloatArray(m_handle, values.data(), static_cast<UINT>(values.size()));
        break;
    }
    case KXVariant::KXVARIANT_STRING: {
        // Out of memory, or text the code page cannot carry, leaves the
        // parameter as it was.
        try {
            std::string text;
            if (toEffectText(value.getString(), text))
                m_effect->SetString(m_handle, text.c_str());
        } catch (const std::bad_alloc&) {
        }
        break;
    }
    default:
        break;
    }
}

KXVariable* KXEffectVariable::clone() const
{
    return new KXEffectVariable(*this);
}

KXColorVariable::KXColorVariable(ID3DXEffect* effect, const char* handle, const KXVariant& value)
    : KXEffectVariable(effect, handle, value)
{
}

void KXColorVariable::apply()
{
    ID3DXEffect* effect = getEffect();
    if (!effect || !getHandle())
        return;
    float rgba[4];
    getValue().getFloats(rgba, 4);
    const D3DXVECTOR4 color(rgba[0], rgba[1], rgba[2], rgba[3]);
    effect->SetVector(getHandle(), &color);
}

KXVariable* KXColorVariable::clone() const
{
    return new KXColorVariable(*this);
}
