#pragma once

#include "sceneapi/KXSceneExport.h"

#include <string>

// Describes the control a user interface should show to edit an effect
// parameter: its kind, a name and a label. The scene graph only stores the
// description; drawing the control is the application's business.
class KXSCENE_API KXControl
{
public:
    enum KXCONTROLTYPE {
        KXCONTROL_NONE = 0,
        KXCONTROL_SLIDER = 2,    // a KXSliderControl over a float
        KXCONTROL_DIRECTION = 3, // a direction vector
        KXCONTROL_COLOR = 7,     // a colour picker (KXColorControl)
        KXCONTROL_FILE = 8,      // a file picker (KXFileControl)
    };

    explicit KXControl(KXCONTROLTYPE kind = KXCONTROL_NONE, const std::wstring& name = std::wstring(),
                       const std::wstring& label = std::wstring());
    virtual ~KXControl() = default;

    // A new control with copies of the kind, flag, name and label; the caller
    // owns it. Controls that add no fields of their own (colour, file) clone
    // into a plain KXControl: the kind still tells what they are.
    virtual KXControl* clone() const;

    KXCONTROLTYPE getKind() const { return m_kind; }
    void setKind(KXCONTROLTYPE kind) { m_kind = kind; }
    // Whether the control is offered for editing; new controls are enabled.
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }
    const std::wstring& getName() const { return m_name; }
    void setName(const std::wstring& name) { m_name = name; }
    // The text shown beside the control.
    const std::wstring& getLabel() const { return m_label; }
    void setLabel(const std::wstring& label) { m_label = label; }

protected:
    // Copies go through clone() so that a derived control is never sliced by
    // accident.
    KXControl(const KXControl&) = default;
    KXControl& operator=(const KXControl&) = default;

private:
    KXCONTROLTYPE m_kind;
    bool m_enabled = true;
    std::wstring m_name;
    std::wstring m_label;
};

// A slider over a float range in a number of steps. The description is not
// checked: a user interface should refuse a range with maximum <= minimum or
// a step count below 1.
class KXSCENE_API KXSliderControl : public KXControl
{
public:
    KXSliderControl(const std::wstring& name = std::wstring(), const std::wstring& label = std::wstring(),
                    float minimum = 0.0f, float maximum = 1.0f, int steps = 10);

    KXControl* clone() const override;

    float getMinimum() const { return m_minimum; }
    void setMinimum(float minimum) { m_minimum = minimum; }
    float getMaximum() const { return m_maximum; }
    void setMaximum(float maximum) { m_maximum = maximum; }
    int getSteps() const { return m_steps; }
    void setSteps(int steps) { m_steps = steps; }

protected:
    KXSliderControl(const KXSliderControl&) = default;
    KXSliderControl& operator=(const KXSliderControl&) = default;

private:
    float m_minimum;
    float m_maximum;
    int m_steps;
};

// A colour picker over four floats red, green, blue, alpha.
class KXColorControl : public KXControl
{
public:
    explicit KXColorControl(const std::wstring& name = std::wstring(), const std::wstring& label = std::wstring())
        : KXControl(KXCONTROL_COLOR, name, label)
    {
    }
};

// A file picker for a texture or other file a parameter names.
class KXFileControl : public KXControl
{
public:
    explicit KXFileControl(const std::wstring& name = std::wstring(), const std::wstring& label = std::wstring())
        : KXControl(KXCONTROL_FILE, name, label)
    {
    }
};
