#pragma once

#include "sceneapi/KXSceneExport.h"
#include "sceneapi/KXVariant.h"

// The value binding of an effect parameter: holds the parameter's value for
// a user interface to show and edit.
//
// This base class is detached: it only keeps the value, and apply() has
// nowhere to write it. Effect-bound variables derive from it, keep the effect
// and the parameter they write to, and override apply() to push the value
// there and clone() to copy that binding as well. Derived classes keep the
// order of the virtual operations below (destructor, apply, clone).
class KXSCENE_API KXVariable
{
public:
    KXVariable() = default;
    explicit KXVariable(const KXVariant& value) : m_value(value) {}
    virtual ~KXVariable() = default;

    // Writes the value to wherever the variable is bound; nothing for a
    // detached variable.
    virtual void apply() {}
    // A new variable of the same class with the same value and binding; the
    // caller owns it.
    virtual KXVariable* clone() const;

    const KXVariant& getValue() const { return m_value; }
    // Stores the value only; apply() passes it on.
    void setValue(const KXVariant& value) { m_value = value; }

protected:
    // Derived classes copy through clone(); slicing copies stay out of reach.
    KXVariable(const KXVariable&) = default;
    KXVariable& operator=(const KXVariable&) = default;

private:
    KXVariant m_value;
};
