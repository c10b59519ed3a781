#pragma once

#include "sceneapi/KXSceneExport.h"
#include "sceneapi/KXVariable.h"

// The Direct3D effect interface, used here only through its pointer: the
// scene library makes virtual calls into effects and links no Direct3D
// library, so its headers stay free of Direct3D.
struct ID3DXEffect;

// The value binding of one parameter of a compiled effect: the value, the
// effect and the parameter's handle (a D3DXHANDLE). apply() writes the value
// into the parameter; a variable with no effect or no handle is detached and
// only carries its value.
//
// The variable does not own the effect. Whoever releases an effect first
// calls detachAll() for it, which unbinds every variable still bound to it,
// copies included, so that no variable ever calls into a released effect.
class KXSCENE_API KXEffectVariable : public KXVariable
{
public:
    // Either effect or handle may be null.
    KXEffectVariable(ID3DXEffect* effect, const char* handle, const KXVariant& value);
    ~KXEffectVariable() override;
    KXEffectVariable& operator=(const KXEffectVariable&) = delete;

    // Writes the value with the setter of its type: SetBool, SetInt,
    // SetFloat, SetFloatArray, or SetString (wide text converted to the
    // effect's multi-byte text). Nothing when detached or for an empty value.
    void apply() override;
    // A variable of the same class with the same value, bound to the same
    // effect and parameter.
    KXVariable* clone() const override;

    ID3DXEffect* getEffect() const { return m_effect; }
    const char* getHandle() const { return m_handle; }
    void setEffect(ID3DXEffect* effect);
    void setHandle(const char* handle) { m_handle = handle; }

    // Detaches every variable bound to effect (effect and handle become
    // null); for the owner of an effect, right before it releases it.
    static void detachAll(const ID3DXEffect* effect);

protected:
    KXEffectVariable(const KXEffectVariable& other);

private:
    // Bound variables are linked in one process-wide list, which detachAll
    // walks; linking allocates nothing.
    void link();
    void unlink();

    ID3DXEffect* m_effect = nullptr;
    const char* m_handle = nullptr;
    KXEffectVariable* m_previousBound = nullptr;
    KXEffectVariable* m_nextBound = nullptr;
};

// The binding of a colour parameter: four floats red, green, blue, alpha
// (missing ones are 0), written with SetVector so that a float3 colour takes
// the first three.
class KXSCENE_API KXColorVariable : public KXEffectVariable
{
public:
    KXColorVariable(ID3DXEffect* effect, const char* handle, const KXVariant& value);

    void apply() override;
    KXVariable* clone() const override;

protected:
    KXColorVariable(const KXColorVariable&) = default;
};
