// Shader programs compiled by D3DX: the parameters an effect file publishes
// before anything is drawn, compile errors, the implementation's own
// compilation, and a frame drawn with an effect.

#include "KXDXTestScenes.h"

#include "renderer/dx/KXDXRenderer.h"
#include "resources/KXDXShaderProgramImpl.h"
#include "resources/KXDXShaderProgramUtils.h"
#include "sceneapi/KXControl.h"
#include "sceneapi/KXEffectVariable.h"
#include "sceneapi/KXParameter.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

using namespace kxdxtest;

namespace {

std::string readEffectFile(const char* name)
{
    std::ifstream file(std::string(KX_TEST_DATA_DIR) + "/effects/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

const char* const brokenEffect = "float4 Tint = {1, 0, 0, 1};\n"
                                 "technique T { pass P { PixelShader = compile ps_2_0 Missing(); } }\n"
                                 "this is not an effect\n";

// A pixel shader of one colour over the mesh, placed by the renderer's
// world-view-projection.
const char* const tintEffect = R"(
float4x4 WorldViewProjection : WorldViewProjection;
float4 Tint < string UIWidget = "Color"; string UIName = "Tint"; > = {1, 0, 0, 1};

float4 Place(float3 position : POSITION) : POSITION
{
    return mul(float4(position, 1), WorldViewProjection);
}

float4 Paint() : COLOR
{
    return Tint;
}

technique Flat
{
    pass P0
    {
        CullMode = None;
        VertexShader = compile vs_2_0 Place();
        PixelShader = compile ps_2_0 Paint();
    }
}
)";

void expectSlider(const KXShaderProgram& program, const wchar_t* name, const wchar_t* label, float minimum,
                  float maximum, int steps, float value)
{
    const KXParameter* parameter = program.findParameter(name);
    ASSERT_NE(nullptr, parameter) << name;
    const auto* slider = dynamic_cast<const KXSliderControl*>(parameter->getControl());
    ASSERT_NE(nullptr, slider) << name;
    EXPECT_EQ(label, slider->getLabel());
    EXPECT_EQ(minimum, slider->getMinimum());
    EXPECT_EQ(maximum, slider->getMaximum());
    EXPECT_EQ(steps, slider->getSteps());
    ASSERT_NE(nullptr, parameter->getVariable());
    EXPECT_FLOAT_EQ(value, parameter->getVariable()->getValue().getFloat());
}

// The user-interface parameters of an annotated effect file, known before
// anything is drawn: two colours and two sliders; the others ask for no
// widget (or "None"). The variables carry values only, and compiling again
// adds nothing.
TEST(EffectCompilation, PopulateEffectPublishesTheAnnotatedParameters)
{
    const std::string source = readEffectFile("ui_annotations.fx");
    ASSERT_FALSE(source.empty());
    KXShaderProgram program;
    program.setSource(source);
    ASSERT_TRUE(KXDXShaderProgramUtils::populateEffect(&program));

    ASSERT_EQ(4, program.getNumParameters());
    EXPECT_EQ(L"Lamp0Color", program.getParameter(0)->getName());
    EXPECT_EQ(L"Ks", program.getParameter(1)->getName());
    EXPECT_EQ(L"SpecExpon", program.getParameter(2)->getName());
    EXPECT_EQ(L"SurfaceColor", program.getParameter(3)->getName());
    // 1 / 0.05 and 127 / 1 steps.
    expectSlider(program, L"Ks", L"Specular", 0.0f, 1.0f, 20, 0.4f);
    expectSlider(program, L"SpecExpon", L"Specular Power", 1.0f, 128.0f, 127, 55.0f);
    for (const wchar_t* name : {L"Lamp0Color", L"SurfaceColor"}) {
        const KXParameter* colour = program.findParameter(name);
        ASSERT_NE(nullptr, dynamic_cast<KXColorControl*>(colour->getControl())) << name;
        const auto* variable = dynamic_cast<KXColorVariable*>(colour->getVariable());
        ASSERT_NE(nullptr, variable) << name;
        const std::vector<float>& rgba = variable->getValue().getFloatArray();
        ASSERT_EQ(4u, rgba.size());
        EXPECT_EQ(1.0f, rgba[0]);
        EXPECT_EQ(1.0f, rgba[1]);
        EXPECT_EQ(1.0f, rgba[2]);
    }
    EXPECT_EQ(L"Lamp 0", program.findParameter(L"Lamp0Color")->getControl()->getLabel());
    for (int i = 0; i < program.getNumParameters(); ++i) {
        const auto* variable = dynamic_cast<KXEffectVariable*>(program.getParameter(i)->getVariable());
        ASSERT_NE(nullptr, variable);
        EXPECT_EQ(nullptr, variable->getEffect());
        EXPECT_EQ(nullptr, variable->getHandle());
    }
    ASSERT_TRUE(KXDXShaderProgramUtils::populateEffect(&program));
    EXPECT_EQ(4, program.getNumParameters());
    const auto* ks = dynamic_cast<KXEffectVariable*>(program.findParameter(L"Ks")->getVariable());
    EXPECT_EQ(nullptr, ks->getEffect());
}

// A source that does not compile still "populates": true, and the list as
// it was. No program is refused.
TEST(EffectCompilation, PopulateEffectOfABrokenSourceLeavesTheListAlone)
{
    KXShaderProgram program;
    auto* kept = new KXParameter(nullptr, new KXEffectVariable(nullptr, nullptr, KXVariant(1.0f)));
    kept->setName(L"Kept");
    program.addParameter(kept);
    program.setSource(brokenEffect);
    EXPECT_TRUE(KXDXShaderProgramUtils::populateEffect(&program));
    ASSERT_EQ(1, program.getNumParameters());
    EXPECT_EQ(kept, program.getParameter(0));
    EXPECT_FALSE(KXDXShaderProgramUtils::populateEffect(nullptr));
}

class EffectCompilationTest : public DeviceTest
{
};

// The implementation compiles the program for its device: its variables
// are bound to its effect. A source that does not compile leaves no
// effect.
TEST_F(EffectCompilationTest, ShaderProgramImplementationsCompileTheirSource)
{
    KXShaderProgram program;
    program.setSource(readEffectFile("ui_annotations.fx"));
    {
        KXDXShaderProgramImpl impl(device.get(), &program);
        ASSERT_NE(nullptr, impl.getEffect());
        ASSERT_EQ(4, program.getNumParameters());
        const auto* ks = dynamic_cast<KXEffectVariable*>(program.findParameter(L"Ks")->getVariable());
        ASSERT_NE(nullptr, ks);
        EXPECT_EQ(impl.getEffect(), ks->getEffect());
        EXPECT_EQ(impl.getEffect()->GetParameterByName(nullptr, "Ks"), ks->getHandle());
    }
    const auto* ks = dynamic_cast<KXEffectVariable*>(program.findParameter(L"Ks")->getVariable());
    EXPECT_EQ(nullptr, ks->getEffect());

    KXShaderProgram broken;
    broken.setSource(brokenEffect);
    KXDXShaderProgramImpl impl(device.get(), &broken);
    EXPECT_EQ(nullptr, impl.getEffect());
    EXPECT_EQ(device.get(), impl.getDevice());
    EXPECT_EQ(0, broken.getNumParameters());
}

// A frame of a square drawn with an effect shows the effect's colour where
// the square is, and a new value set through the program's variable shows
// in the next frame.
TEST_F(EffectCompilationTest, FramesDrawnWithAnEffectShowItsParameters)
{
    Made<KXRenderer> renderer = createRenderer(KXRenderer::KXRENDERER_WINDOW);
    ASSERT_TRUE(renderer);
    ASSERT_EQ(0, renderer->initialize(device.get()));
    KXShaderProgram program;
    program.setSource(tintEffect);
    auto square = makeSquare(0.5f);
    const auto frame = [&] {
        setIdentityTransforms(d3d());
        renderer->clear(KXColor(0.0f, 0.0f, 0.0f, 1.0f));
        renderer->beginScene();
        renderer->drawTriMeshWithShader(&program, square.get());
        renderer->endScene();
        return presentedImage(window.get());
    };
    PresentedImage red = frame();
    ASSERT_FALSE(red.empty());
    EXPECT_EQ(0xFFFF0000u, red.at(32, 32));
    EXPECT_EQ(0xFF000000u, red.at(4, 4));

    KXParameter* tint = program.findParameter(L"Tint");
    ASSERT_NE(nullptr, tint);
    ASSERT_NE(nullptr, tint->getVariable());
    tint->getVariable()->setValue(KXVariant(KXColor(0.0f, 1.0f, 0.0f, 1.0f)));
    tint->getVariable()->apply();
    PresentedImage green = frame();
    EXPECT_EQ(0xFF00FF00u, green.at(32, 32));
    EXPECT_EQ(0xFF000000u, green.at(60, 60));
    program.setImplementation(nullptr);
    renderer.reset();
}

} // namespace
