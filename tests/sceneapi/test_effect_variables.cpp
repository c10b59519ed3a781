// Effect parameters of shader programs: effect variables writing their
// values into a recording effect, their copies and their detachment when an
// effect goes, and the parameter and control records with their clones.

#include "FakeEffect.h"

#include "sceneapi/KXControl.h"
#include "sceneapi/KXEffectVariable.h"
#include "sceneapi/KXParameter.h"
#include "sceneapi/KXShaderProgram.h"

#include <gtest/gtest.h>

#include <memory>
#include <typeinfo>

using kxdxtest::FakeEffect;
using kxdxtest::makeFakeEffect;

namespace {

class EffectVariableTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        effect->addParameter("Strength", D3DXPT_FLOAT);
        effect->addParameter("Tint", D3DXPT_FLOAT, D3DXPC_VECTOR).value({0, 0, 0, 0});
        effect->addParameter("Caption", D3DXPT_STRING, D3DXPC_OBJECT);
        effect->addParameter("Enabled", D3DXPT_BOOL);
        effect->addParameter("Count", D3DXPT_INT);
    }
    D3DXHANDLE handle(const char* name) const { return FakeEffect::handleOf(effect->parameter(name)); }
    const std::vector<float>& values(const char* name) const { return effect->parameter(name)->values; }

    kxdxtest::FakeEffectPtr effect = makeFakeEffect();
};

// Each value type reaches the effect through the setter of its type.
TEST_F(EffectVariableTest, ApplyWritesEachValueTypeWithItsSetter)
{
    KXEffectVariable strength(effect.get(), handle("Strength"), KXVariant(0.75f));
    KXEffectVariable enabled(effect.get(), handle("Enabled"), KXVariant(true));
    KXEffectVariable count(effect.get(), handle("Count"), KXVariant(7));
    KXEffectVariable tint(effect.get(), handle("Tint"), KXVariant(std::vector<float>{0.5f, 0.25f, 1.0f}));
    KXEffectVariable caption(effect.get(), handle("Caption"), KXVariant(L"na\u00efve"));
    for (KXEffectVariable* variable : {&strength, &enabled, &count, &tint, &caption})
        variable->apply();

    EXPECT_EQ((std::vector<std::string>{"SetFloat(Strength)", "SetBool(Enabled)", "SetInt(Count)",
                                        "SetFloatArray(Tint)", "SetString(Caption)"}),
              effect->log());
    EXPECT_EQ(std::vector<float>{0.75f}, values("Strength"));
    EXPECT_EQ(std::vector<float>{1.0f}, values("Enabled"));
    EXPECT_EQ(std::vector<float>{7.0f}, values("Count"));
    EXPECT_EQ((std::vector<float>{0.5f, 0.25f, 1.0f}), values("Tint"));
    // The wide text arrives as the multi-byte text of the platform (UTF-8).
    EXPECT_EQ("na\xc3\xafve", effect->parameter("Caption")->text);
}

// A variable without an effect or a handle, or holding no value, writes
// nothing.
TEST_F(EffectVariableTest, DetachedOrEmptyVariablesWriteNothing)
{
    KXEffectVariable noEffect(nullptr, handle("Strength"), KXVariant(1.0f));
    KXEffectVariable noHandle(effect.get(), nullptr, KXVariant(1.0f));
    KXEffectVariable empty(effect.get(), handle("Strength"), KXVariant());
    KXColorVariable noColorHandle(effect.get(), nullptr, KXVariant(KXColor(1, 0, 0, 1)));
    for (KXEffectVariable* variable : {&noEffect, &noHandle, &empty, static_cast<KXEffectVariable*>(&noColorHandle)})
        variable->apply();
    EXPECT_TRUE(effect->log().empty());
}

// A colour is written as a vector of four components; a shorter array is
// filled with zeros.
TEST_F(EffectVariableTest, ColorVariablesWriteAVectorOfFour)
{
    KXColorVariable full(effect.get(), handle("Tint"), KXVariant(KXColor(0.1f, 0.2f, 0.3f, 0.4f)));
    full.apply();
    EXPECT_EQ((std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f}), values("Tint"));
    KXColorVariable shortArray(effect.get(), handle("Tint"), KXVariant(std::vector<float>{0.5f, 0.6f}));
    shortArray.apply();
    EXPECT_EQ((std::vector<float>{0.5f, 0.6f, 0.0f, 0.0f}), values("Tint"));
    EXPECT_EQ((std::vector<std::string>{"SetVector(Tint)", "SetVector(Tint)"}), effect->log());
}

// Clones keep their class, value and binding; an edited original leaves the
// clone's value alone.
TEST_F(EffectVariableTest, ClonesKeepClassValueAndBinding)
{
    KXColorVariable color(effect.get(), handle("Tint"), KXVariant(KXColor(1, 0, 0, 1)));
    std::unique_ptr<KXVariable> copy(color.clone());
    auto* colorCopy = dynamic_cast<KXColorVariable*>(copy.get());
    ASSERT_NE(nullptr, colorCopy);
    EXPECT_EQ(effect.get(), colorCopy->getEffect());
    EXPECT_EQ(handle("Tint"), colorCopy->getHandle());
    color.setValue(KXVariant(KXColor(0, 1, 0, 1)));
    colorCopy->apply();
    EXPECT_EQ((std::vector<float>{1, 0, 0, 1}), values("Tint"));

    KXEffectVariable strength(effect.get(), handle("Strength"), KXVariant(2.0f));
    std::unique_ptr<KXVariable> strengthCopy(strength.clone());
    EXPECT_EQ(nullptr, dynamic_cast<KXColorVariable*>(strengthCopy.get()));
    strengthCopy->apply();
    EXPECT_EQ(std::vector<float>{2.0f}, values("Strength"));
}

// When an effect goes, its owner detaches every variable bound to it,
// copies included, and nothing else: a detached variable then writes
// nothing, and may be bound again.
TEST_F(EffectVariableTest, DetachAllUnbindsEveryVariableOfTheEffectOnly)
{
    auto other = makeFakeEffect();
    other->addParameter("Strength", D3DXPT_FLOAT);
    const D3DXHANDLE otherStrength = FakeEffect::handleOf(other->parameter("Strength"));

    auto original = std::make_unique<KXEffectVariable>(effect.get(), handle("Strength"), KXVariant(1.0f));
    std::unique_ptr<KXVariable> copy(original->clone());
    KXColorVariable color(effect.get(), handle("Tint"), KXVariant(KXColor()));
    KXEffectVariable elsewhere(other.get(), otherStrength, KXVariant(3.0f));
    // A variable that went before the effect has left the list.
    auto gone = std::make_unique<KXEffectVariable>(effect.get(), handle("Strength"), KXVariant(1.0f));
    gone.reset();

    KXEffectVariable::detachAll(effect.get());
    const auto* copied = dynamic_cast<const KXEffectVariable*>(copy.get());
    ASSERT_NE(nullptr, copied);
    for (const KXEffectVariable* variable : {static_cast<const KXEffectVariable*>(original.get()), copied,
                                             static_cast<const KXEffectVariable*>(&color)}) {
        EXPECT_EQ(nullptr, variable->getEffect());
        EXPECT_EQ(nullptr, variable->getHandle());
    }
    EXPECT_EQ(other.get(), elsewhere.getEffect());
    EXPECT_EQ(otherStrength, elsewhere.getHandle());
    copy->apply();
    EXPECT_TRUE(effect->log().empty());

    // Bound again, a variable is detached again with its new effect.
    original->setEffect(other.get());
    original->setHandle(otherStrength);
    original->apply();
    EXPECT_EQ((std::vector<std::string>{"SetFloat(Strength)"}), other->log());
    KXEffectVariable::detachAll(other.get());
    EXPECT_EQ(nullptr, original->getEffect());
    EXPECT_EQ(nullptr, elsewhere.getEffect());
    EXPECT_EQ(original->getValue(), KXVariant(1.0f));
}

// A parameter clones its name, control and variable; slider fields survive,
// colour and file controls clone into plain controls of their kind.
TEST(EffectParameter, CloneCopiesNameControlAndVariable)
{
    auto effect = makeFakeEffect();
    const D3DXHANDLE handle = FakeEffect::handleOf(&effect->addParameter("Ks", D3DXPT_FLOAT));
    auto* slider = new KXSliderControl(L"Specular", L"Specular label", 0.5f, 4.0f, 7);
    slider->setEnabled(false);
    KXParameter parameter(slider, new KXEffectVariable(effect.get(), handle, KXVariant(0.25f)));
    parameter.setName(L"Ks");

    std::unique_ptr<KXParameter> copy(parameter.clone());
    EXPECT_EQ(L"Ks", copy->getName());
    auto* sliderCopy = dynamic_cast<KXSliderControl*>(copy->getControl());
    ASSERT_NE(nullptr, sliderCopy);
    EXPECT_NE(slider, sliderCopy);
    EXPECT_EQ(KXControl::KXCONTROL_SLIDER, sliderCopy->getKind());
    EXPECT_FALSE(sliderCopy->isEnabled());
    EXPECT_EQ(L"Specular", sliderCopy->getName());
    EXPECT_EQ(L"Specular label", sliderCopy->getLabel());
    EXPECT_EQ(0.5f, sliderCopy->getMinimum());
    EXPECT_EQ(4.0f, sliderCopy->getMaximum());
    EXPECT_EQ(7, sliderCopy->getSteps());
    auto* variableCopy = dynamic_cast<KXEffectVariable*>(copy->getVariable());
    ASSERT_NE(nullptr, variableCopy);
    EXPECT_NE(parameter.getVariable(), variableCopy);
    EXPECT_EQ(effect.get(), variableCopy->getEffect());
    EXPECT_EQ(handle, variableCopy->getHandle());
    EXPECT_EQ(KXVariant(0.25f), variableCopy->getValue());

    const KXColorControl color(L"Tint", L"Tint");
    const KXFileControl file(L"Map", L"Map file");
    for (const KXControl* control : {static_cast<const KXControl*>(&color), static_cast<const KXControl*>(&file)}) {
        std::unique_ptr<KXControl> plain(control->clone());
        EXPECT_EQ(typeid(KXControl), typeid(*plain));
        EXPECT_EQ(control->getKind(), plain->getKind());
        EXPECT_EQ(control->getName(), plain->getName());
        EXPECT_EQ(control->getLabel(), plain->getLabel());
        EXPECT_TRUE(plain->isEnabled());
    }
    EXPECT_EQ(KXControl::KXCONTROL_COLOR, color.getKind());
    EXPECT_EQ(KXControl::KXCONTROL_FILE, file.getKind());
}

// A copied program carries clones of the parameters, still bound to the
// original's effect; when that effect goes, the copies are detached as well.
TEST(EffectParameter, CopiedProgramsParametersFollowTheEffectsLifetime)
{
    auto effect = makeFakeEffect();
    const D3DXHANDLE handle = FakeEffect::handleOf(&effect->addParameter("Ks", D3DXPT_FLOAT));
    KXShaderProgram program;
    auto* parameter = new KXParameter(nullptr, new KXEffectVariable(effect.get(), handle, KXVariant(0.5f)));
    parameter->setName(L"Ks");
    program.addParameter(parameter);

    KXShaderProgram copy(program);
    auto* copied = dynamic_cast<KXEffectVariable*>(copy.findParameter(L"Ks")->getVariable());
    ASSERT_NE(nullptr, copied);
    EXPECT_EQ(effect.get(), copied->getEffect());
    KXEffectVariable::detachAll(effect.get());
    EXPECT_EQ(nullptr, copied->getEffect());
    copied->apply();
    EXPECT_TRUE(effect->log().empty());
}

} // namespace
