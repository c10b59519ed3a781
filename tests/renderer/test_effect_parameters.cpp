// The user-tunable parameters an effect publishes into its shader program:
// which annotations make a parameter, its control and its variable, and
// what a second compilation of the same program does with them. Driven with
// a recording effect, so every annotation can be shaped at will.

#include "FakeEffect.h"

#include "resources/KXDXShaderProgramUtils.h"
#include "sceneapi/KXControl.h"
#include "sceneapi/KXEffectVariable.h"
#include "sceneapi/KXParameter.h"
#include "sceneapi/KXShaderProgram.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kxdxtest::FakeEffect;
using kxdxtest::makeFakeEffect;
using Node = FakeEffect::Node;

namespace {

class EffectParametersTest : public ::testing::Test
{
protected:
    // A float parameter with a value.
    Node& addFloat(const char* name, float value) { return effect->addParameter(name, D3DXPT_FLOAT).value({value}); }
    void describe() { ASSERT_TRUE(KXDXShaderProgramUtils::createParameters(effect.get(), &program)); }
    std::vector<std::wstring> names() const
    {
        std::vector<std::wstring> result;
        for (int i = 0; i < program.getNumParameters(); ++i)
            result.push_back(program.getParameter(i)->getName());
        return result;
    }
    KXSliderControl* slider(const wchar_t* name) const
    {
        const KXParameter* parameter = program.findParameter(name);
        return parameter ? dynamic_cast<KXSliderControl*>(parameter->getControl()) : nullptr;
    }

    kxdxtest::FakeEffectPtr effect = makeFakeEffect();
    KXShaderProgram program;
};

// The widget text is compared without case; a float step divides the range
// into steps rounded up; the control is named and labelled by "UIName"; the
// variable holds the current value, bound to this effect and parameter.
TEST_F(EffectParametersTest, SliderFromAFloatStep)
{
    Node& ks = addFloat("Ks", 0.4f)
                   .annotate("UIWidget", "slider")
                   .annotate("UIName", "Specular")
                   .annotate("UIMin", 0.0f)
                   .annotate("UIMax", 1.0f)
                   .annotate("UIStep", 0.3f);
    describe();

    ASSERT_EQ(1, program.getNumParameters());
    const KXParameter* parameter = program.getParameter(0);
    EXPECT_EQ(L"Ks", parameter->getName());
    const KXSliderControl* control = slider(L"Ks");
    ASSERT_NE(nullptr, control);
    EXPECT_EQ(KXControl::KXCONTROL_SLIDER, control->getKind());
    EXPECT_EQ(L"Specular", control->getName());
    EXPECT_EQ(L"Specular", control->getLabel());
    EXPECT_TRUE(control->isEnabled());
    EXPECT_EQ(0.0f, control->getMinimum());
    EXPECT_EQ(1.0f, control->getMaximum());
    EXPECT_EQ(4, control->getSteps());
    const auto* variable = dynamic_cast<KXEffectVariable*>(parameter->getVariable());
    ASSERT_NE(nullptr, variable);
    EXPECT_EQ(nullptr, dynamic_cast<const KXColorVariable*>(variable));
    EXPECT_EQ(KXVariant(0.4f), variable->getValue());
    EXPECT_EQ(effect.get(), variable->getEffect());
    EXPECT_EQ(FakeEffect::handleOf(&ks), variable->getHandle());
    // Describing reads; it writes nothing into the effect.
    EXPECT_TRUE(effect->log().empty());
}

// Steps: 10 without "UIStep", the count of an integer "UIStep"; a range
// that is empty gives no control but still a variable, as does a step that
// cannot divide it. "UIMin" and "UIMax" are both required.
TEST_F(EffectParametersTest, SliderStepsAndRanges)
{
    const auto sliderParameter = [&](const char* name, float minimum, float maximum) -> Node& {
        return addFloat(name, 0.5f)
            .annotate("UIWidget", "Slider")
            .annotate("UIName", name)
            .annotate("UIMin", minimum)
            .annotate("UIMax", maximum);
    };
    sliderParameter("NoStep", 0.0f, 1.0f);
    sliderParameter("IntegerStep", 0.0f, 1.0f).annotate("UIStep", 5);
    sliderParameter("EmptyRange", 1.0f, 1.0f);
    sliderParameter("ZeroStep", 0.0f, 1.0f).annotate("UIStep", 0.0f);
    sliderParameter("NegativeCount", 0.0f, 1.0f).annotate("UIStep", -2);
    sliderParameter("TextStep", 2.0f, 3.0f).annotate("UIStep", "0.5");
    addFloat("NoMaximum", 0.5f).annotate("UIWidget", "Slider").annotate("UIName", "x").annotate("UIMin", 0.0f);
    describe();

    ASSERT_EQ(7, program.getNumParameters());
    ASSERT_NE(nullptr, slider(L"NoStep"));
    EXPECT_EQ(10, slider(L"NoStep")->getSteps());
    ASSERT_NE(nullptr, slider(L"IntegerStep"));
    EXPECT_EQ(5, slider(L"IntegerStep")->getSteps());
    // A step annotation of another type leaves the default.
    ASSERT_NE(nullptr, slider(L"TextStep"));
    EXPECT_EQ(10, slider(L"TextStep")->getSteps());
    EXPECT_EQ(2.0f, slider(L"TextStep")->getMinimum());
    for (const wchar_t* name : {L"EmptyRange", L"ZeroStep", L"NegativeCount", L"NoMaximum"}) {
        const KXParameter* parameter = program.findParameter(name);
        ASSERT_NE(nullptr, parameter) << name;
        EXPECT_EQ(nullptr, parameter->getControl()) << name;
        ASSERT_NE(nullptr, dynamic_cast<KXEffectVariable*>(parameter->getVariable())) << name;
        EXPECT_EQ(KXVariant(0.5f), parameter->getVariable()->getValue());
    }
}

// Colours: "UIType" serves when "UIWidget" is missing; without "UIName"
// there is no control, with it a colour control; the variable holds the
// four current floats (zeros past a float3).
TEST_F(EffectParametersTest, ColorParameters)
{
    effect->addParameter("Tint", D3DXPT_FLOAT, D3DXPC_VECTOR).value({0.1f, 0.2f, 0.3f, 0.4f}).annotate("UIType", "Color");
    effect->addParameter("Lamp", D3DXPT_FLOAT, D3DXPC_VECTOR)
        .value({1.0f, 0.5f, 0.25f})
        .annotate("UIName", "Lamp 0")
        .annotate("UIWidget", "COLORPICKER");
    describe();

    ASSERT_EQ((std::vector<std::wstring>{L"Tint", L"Lamp"}), names());
    const KXParameter* tint = program.findParameter(L"Tint");
    EXPECT_EQ(nullptr, tint->getControl());
    const auto* tintVariable = dynamic_cast<KXColorVariable*>(tint->getVariable());
    ASSERT_NE(nullptr, tintVariable);
    EXPECT_EQ(KXVariant::KXVARIANT_FLOATARRAY, tintVariable->getValue().getType());
    EXPECT_EQ((std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f}), tintVariable->getValue().getFloatArray());

    const KXParameter* lamp = program.findParameter(L"Lamp");
    ASSERT_NE(nullptr, dynamic_cast<KXColorControl*>(lamp->getControl()));
    EXPECT_EQ(KXControl::KXCONTROL_COLOR, lamp->getControl()->getKind());
    EXPECT_EQ(L"Lamp 0", lamp->getControl()->getLabel());
    const auto* lampVariable = dynamic_cast<KXColorVariable*>(lamp->getVariable());
    ASSERT_NE(nullptr, lampVariable);
    EXPECT_EQ((std::vector<float>{1.0f, 0.5f, 0.25f, 0.0f}), lampVariable->getValue().getFloatArray());
}

// What records nothing: an invisible parameter, file widgets, unknown or
// missing widgets, a widget annotation that is not text (with "UIType"
// beside it), and a parameter without a name. A direction is recorded with
// neither control nor variable.
TEST_F(EffectParametersTest, WhatIsRecordedAndWhatIsNot)
{
    addFloat("Hidden", 1.0f).annotate("UIVisible", false).annotate("UIWidget", "Slider");
    addFloat("Shown", 1.0f).annotate("UIVisible", true).annotate("UIWidget", "Color");
    effect->addParameter("Map", D3DXPT_STRING, D3DXPC_OBJECT).annotate("UIWidget", "Image");
    effect->addParameter("File", D3DXPT_STRING, D3DXPC_OBJECT).annotate("UIWidget", "FilePicker");
    addFloat("Plain", 1.0f).annotate("UIName", "Plain");
    addFloat("Unknown", 1.0f).annotate("UIWidget", "None");
    addFloat("NumericWidget", 1.0f).annotate("UIWidget", 2.0f).annotate("UIType", "Slider");
    addFloat("", 1.0f).annotate("UIWidget", "Slider");
    effect->addParameter("LightDir", D3DXPT_FLOAT, D3DXPC_VECTOR)
        .value({0, 0, -1})
        .annotate("UIName", "Light")
        .annotate("UIWidget", "Direction");
    describe();

    ASSERT_EQ((std::vector<std::wstring>{L"Shown", L"LightDir"}), names());
    const KXParameter* direction = program.findParameter(L"LightDir");
    EXPECT_EQ(nullptr, direction->getControl());
    EXPECT_EQ(nullptr, direction->getVariable());
}

// Compiling the program again adds nothing: each known parameter's stored
// value goes into the new effect once, and its variable stays bound to the
// effect that adopted it first. A variable left without an effect (its
// effect went) is adopted by the new one.
TEST_F(EffectParametersTest, SecondCompilationPushesStoredValuesAndAddsNothing)
{
    addFloat("Ks", 0.4f).annotate("UIWidget", "Slider").annotate("UIName", "Ks").annotate("UIMin", 0.0f).annotate(
        "UIMax", 1.0f);
    effect->addParameter("Tint", D3DXPT_FLOAT, D3DXPC_VECTOR).value({0, 0, 0, 1}).annotate("UIWidget", "Color");
    effect->addParameter("LightDir", D3DXPT_FLOAT, D3DXPC_VECTOR).value({0, 0, 1}).annotate("UIWidget", "Direction");
    describe();
    ASSERT_EQ(3, program.getNumParameters());
    auto* ks = dynamic_cast<KXEffectVariable*>(program.findParameter(L"Ks")->getVariable());
    auto* tint = dynamic_cast<KXColorVariable*>(program.findParameter(L"Tint")->getVariable());
    ASSERT_TRUE(ks && tint);
    ks->setValue(KXVariant(0.9f));
    tint->setValue(KXVariant(KXColor(1.0f, 0.5f, 0.0f, 1.0f)));

    // The second effect declares the parameters differently: what counts is
    // the name.
    auto second = makeFakeEffect();
    Node& ks2 = second->addParameter("Ks", D3DXPT_FLOAT).value({0.0f}).annotate("UIWidget", "Color");
    Node& tint2 = second->addParameter("Tint", D3DXPT_FLOAT, D3DXPC_VECTOR).value({0, 0, 0, 0});
    ASSERT_TRUE(KXDXShaderProgramUtils::createParameters(second.get(), &program));

    EXPECT_EQ(3, program.getNumParameters());
    EXPECT_EQ((std::vector<std::string>{"SetFloat(Ks)", "SetVector(Tint)"}), second->log());
    EXPECT_EQ(std::vector<float>{0.9f}, ks2.values);
    EXPECT_EQ((std::vector<float>{1.0f, 0.5f, 0.0f, 1.0f}), tint2.values);
    EXPECT_EQ(effect.get(), ks->getEffect());
    EXPECT_EQ(FakeEffect::handleOf(effect->parameter("Ks")), ks->getHandle());
    EXPECT_EQ(effect.get(), tint->getEffect());
    EXPECT_TRUE(effect->log().empty());

    KXEffectVariable::detachAll(effect.get());
    ASSERT_TRUE(KXDXShaderProgramUtils::createParameters(second.get(), &program));
    EXPECT_EQ(second.get(), ks->getEffect());
    EXPECT_EQ(FakeEffect::handleOf(&ks2), ks->getHandle());
    KXEffectVariable::detachAll(second.get());
}

// Parameters are described in the effect's order; an effect whose
// description cannot be read has no parameters, and null arguments are
// refused.
TEST_F(EffectParametersTest, OrderAndRefusals)
{
    for (const char* name : {"C", "A", "B"})
        addFloat(name, 0.0f).annotate("UIWidget", "Color");
    EXPECT_FALSE(KXDXShaderProgramUtils::createParameters(nullptr, &program));
    EXPECT_FALSE(KXDXShaderProgramUtils::createParameters(effect.get(), nullptr));
    effect->failGetDesc = true;
    describe();
    EXPECT_EQ(0, program.getNumParameters());
    effect->failGetDesc = false;
    describe();
    EXPECT_EQ((std::vector<std::wstring>{L"C", L"A", L"B"}), names());
    KXEffectVariable::detachAll(effect.get());
}

} // namespace
