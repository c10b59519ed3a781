#include "sceneapi/KXParameter.h"

#include "sceneapi/KXControl.h"
#include "sceneapi/KXVariable.h"

KXParameter::KXParameter(KXControl* control, KXVariable* variable)
    : m_control(control), m_variable(variable)
{
}

KXParameter::~KXParameter()
{
    delete m_control;
    delete m_variable;
}

KXParameter* KXParameter::clone() const
{
    KXParameter* copy = new KXParameter(m_control ? m_control->clone() : nullptr,
                                        m_variable ? m_variable->clone() : nullptr);
    copy->m_name = m_name;
    return copy;
}

void KXParameter::setControl(KXControl* control)
{
    if (control == m_control)
        return;
    delete m_control;
    m_control = control;
}

void KXParameter::setVariable(KXVariable* variable)
{
    if (variable == m_variable)
        return;
    delete m_variable;
    m_variable = variable;
}
