#include "sceneapi/KXControl.h"

KXControl::KXControl(KXCONTROLTYPE kind, const std::wstring& name, const std::wstring& label)
    : m_kind(kind), m_name(name), m_label(label)
{
}

KXControl* KXControl::clone() const
{
    return new KXControl(*this);
}

KXSliderControl::KXSliderControl(const std::wstring& name, const std::wstring& label, float minimum,
                                 float maximum, int steps)
    : KXControl(KXCONTROL_SLIDER, name, label), m_minimum(minimum), m_maximum(maximum), m_steps(steps)
{
}

KXControl* KXSliderControl::clone() const
{
    return new KXSliderControl(*this);
}
