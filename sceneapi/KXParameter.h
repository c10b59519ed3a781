#pragma once

#include "sceneapi/KXSceneExport.h"

#include <string>

class KXControl;
class KXVariable;

// One user-tunable parameter of a shader program: the effect parameter's
// name, the control that should edit it and the variable that binds its
// value. The parameter owns its control and its variable; either may be null.
class KXSCENE_API KXParameter
{
public:
    // Takes over control and variable.
    explicit KXParameter(KXControl* control = nullptr, KXVariable* variable = nullptr);
    KXParameter(const KXParameter&) = delete;
    KXParameter& operator=(const KXParameter&) = delete;
    virtual ~KXParameter();

    // A new parameter with the same name, a clone of the control and a clone
    // of the variable; the caller owns it.
    virtual KXParameter* clone() const;

    // The effect parameter's name; an empty name matches no lookup.
    const std::wstring& getName() const { return m_name; }
    void setName(const std::wstring& name) { m_name = name; }

    KXControl* getControl() const { return m_control; }
    // Takes over control and deletes the one held before (unless the same).
    void setControl(KXControl* control);
    KXVariable* getVariable() const { return m_variable; }
    // Takes over variable and deletes the one held before (unless the same).
    void setVariable(KXVariable* variable);

private:
    std::wstring m_name;
    KXControl* m_control;
    KXVariable* m_variable;
};
