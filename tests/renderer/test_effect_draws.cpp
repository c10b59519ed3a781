// Effect draws of the window and off-screen renderers, with recording
// effects: the matrix semantics set from the device's transforms, the
// technique and pass loop around the mesh draws, the environment cube, and
// the off-screen renderers' private maps.

#include "FakeEffect.h"
#include "KXDXTestScenes.h"

#include "renderer/dx/KXDXOffScreenRenderer.h"
#include "resources/KXDXImage3DImpl.h"
#include "resources/KXDXOffScreenShaderProgramImpl.h"
#include "resources/KXDXShaderProgramImpl.h"
#include "sceneapi/KXEffectVariable.h"
#include "sceneapi/KXImage3D.h"
#include "sceneapi/KXParameter.h"
#include "sceneapi/KXTexture3D.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using namespace kxdxtest;

namespace {

const char* const matrixSemantics[] = {
    "World",       "View",                  "Projection",  "WorldView",
    "WorldViewProjection", "ViewProjection", "WorldInverse", "WorldInverseTranspose",
    "ViewInverse", "ViewInverseTranspose",  "WorldViewInverse", "WorldViewInverseTranspose",
};

// Renderers that write their mesh draws into the effect's log.
template <class Base>
class LoggingRenderer : public Base
{
public:
    std::vector<std::string>* log = nullptr;
    // The effect the off-screen renderer's implementations take.
    FakeEffect* offScreenEffect = nullptr;

    void drawTriMesh(KXTriMesh* mesh) override
    {
        if (log)
            log->push_back("drawTriMesh");
        Base::drawTriMesh(mesh);
    }

protected:
    KXDXShaderProgramImpl* createShaderProgramImpl(KXDXDevice* device, KXShaderProgram* program) override
    {
        if (!offScreenEffect)
            return Base::createShaderProgramImpl(device, program);
        return new KXDXOffScreenShaderProgramImpl(device, program, offScreenEffect);
    }
};

using WindowRenderer = LoggingRenderer<KXDXRenderer>;
using OffScreenRenderer = LoggingRenderer<KXDXOffScreenRenderer>;

std::vector<float> row(const D3DXMATRIX& m)
{
    return std::vector<float>(&m._11, &m._11 + 16);
}

// A plain row-vector product, beside D3DX's.
D3DXMATRIX product(const D3DXMATRIX& a, const D3DXMATRIX& b)
{
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            r.m[i][j] = 0.0f;
            for (int k = 0; k < 4; ++k)
                r.m[i][j] += a.m[i][k] * b.m[k][j];
        }
    return r;
}

D3DXMATRIX matrixOf(const std::vector<float>& values)
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    for (size_t i = 0; i < values.size() && i < 16; ++i)
        (&m._11)[i] = values[i];
    return m;
}

void expectNear(const D3DXMATRIX& expected, const D3DXMATRIX& actual, float tolerance, const char* what)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR((&expected._11)[i], (&actual._11)[i], tolerance) << what << " element " << i;
}

class EffectDrawTest : public DeviceTest
{
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        renderer->log = &log;
        ASSERT_EQ(0, renderer->initialize(device.get()));
    }
    void TearDown() override
    {
        renderer.reset();
        mesh = nullptr;
        DeviceTest::TearDown();
    }
    // An effect in the program's slot, sharing the test's log.
    FakeEffectPtr effectInSlot(KXShaderProgram& program)
    {
        FakeEffectPtr effect = makeFakeEffect();
        effect->shareLog(&log);
        program.setImplementation(new KXDXShaderProgramImpl(device.get(), &program, effect.get()));
        return effect;
    }

    std::vector<std::string> log;
    std::unique_ptr<WindowRenderer> renderer = std::make_unique<WindowRenderer>();
    KXRef<KXTriMesh> mesh = makeSquare(0.5f);
};

// Every declared matrix semantic gets its value from the device's world,
// view and projection, in a fixed order, before the technique runs: the
// products in row-vector order, the inverses, their transposes, and the eye
// in object space.
TEST_F(EffectDrawTest, MatrixSemanticsFollowTheDeviceTransforms)
{
    // World: scale 2, then move by (1, 2, 3). View: a quarter turn about z,
    // then move by (4, 5, 6). A projection with a perspective divide.
    const D3DXMATRIX world(2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 1, 2, 3, 1);
    const D3DXMATRIX view(0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 4, 5, 6, 1);
    const D3DXMATRIX projection(1.5f, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1.1f, 1, 0, 0, -0.5f, 0);
    d3d()->SetTransform(D3DTS_WORLD, &world);
    d3d()->SetTransform(D3DTS_VIEW, &view);
    d3d()->SetTransform(D3DTS_PROJECTION, &projection);

    KXShaderProgram program;
    FakeEffectPtr effect = effectInSlot(program);
    // Declared in another order than the one they are set in; semantics are
    // matched without case.
    effect->addParameter("Eye", D3DXPT_FLOAT, D3DXPC_VECTOR, "VIEWPOSITION");
    for (int i = 11; i >= 0; --i)
        effect->addMatrix((std::string("m") + matrixSemantics[i]).c_str(), matrixSemantics[i]);
    effect->passes = 1;
    renderer->drawTriMeshWithShader(&program, mesh.get());

    std::vector<std::string> expected;
    for (const char* semantic : matrixSemantics)
        expected.push_back(std::string("SetMatrix(m") + semantic + ")");
    expected.insert(expected.end(), {"SetVector(Eye)", "FindNextValidTechnique", "SetTechnique", "Begin(0)",
                                     "BeginPass(0)", "drawTriMesh", "EndPass", "End"});
    EXPECT_EQ(expected, log);

    const auto value = [&](const char* semantic) {
        return matrixOf(effect->parameter((std::string("m") + semantic).c_str())->values);
    };
    EXPECT_EQ(row(world), row(value("World")));
    EXPECT_EQ(row(view), row(value("View")));
    EXPECT_EQ(row(projection), row(value("Projection")));
    expectNear(product(world, view), value("WorldView"), 1e-5f, "WorldView");
    expectNear(product(product(world, view), projection), value("WorldViewProjection"), 1e-5f, "WVP");
    expectNear(product(view, projection), value("ViewProjection"), 1e-5f, "ViewProjection");
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    expectNear(identity, product(value("WorldInverse"), world), 1e-5f, "WorldInverse");
    expectNear(identity, product(value("ViewInverse"), view), 1e-5f, "ViewInverse");
    expectNear(identity, product(value("WorldViewInverse"), product(world, view)), 1e-5f, "WorldViewInverse");
    for (const char* semantic : {"World", "View", "WorldView"}) {
        const D3DXMATRIX inverseTranspose = value((std::string(semantic) + "InverseTranspose").c_str());
        D3DXMATRIX transposed;
        D3DXMatrixTranspose(&transposed, &inverseTranspose);
        expectNear(value((std::string(semantic) + "Inverse").c_str()), transposed, 0.0f, semantic);
    }
    // The eye sits at the world point (-5, 4, -6) (where the view puts the
    // origin), which is (-3, 1, -4.5) before the world's scale and move.
    const std::vector<float>& eye = effect->parameter("Eye")->values;
    ASSERT_EQ(4u, eye.size());
    EXPECT_NEAR(-3.0f, eye[0], 1e-5f);
    EXPECT_NEAR(1.0f, eye[1], 1e-5f);
    EXPECT_NEAR(-4.5f, eye[2], 1e-5f);
    EXPECT_NEAR(1.0f, eye[3], 1e-5f);
}

// A world that cannot be inverted (flattened onto a plane) leaves the
// inverses it would give unset; the rest is set and the mesh drawn.
TEST_F(EffectDrawTest, SingularWorldLeavesItsInversesUnset)
{
    const D3DXMATRIX flat(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1);
    d3d()->SetTransform(D3DTS_WORLD, &flat);
    KXShaderProgram program;
    FakeEffectPtr effect = effectInSlot(program);
    for (const char* semantic : {"World", "WorldInverse", "ViewInverse", "WorldViewInverseTranspose"})
        effect->addMatrix(semantic, semantic);
    effect->addParameter("Eye", D3DXPT_FLOAT, D3DXPC_VECTOR, "ViewPosition");
    renderer->drawTriMeshWithShader(&program, mesh.get());
    EXPECT_EQ((std::vector<std::string>{"SetMatrix(World)", "SetMatrix(ViewInverse)", "FindNextValidTechnique",
                                        "SetTechnique", "Begin(0)", "BeginPass(0)", "drawTriMesh", "EndPass", "End"}),
              log);
}

// Every pass draws the mesh, also for an effect without matrix semantics;
// a pass that cannot begin is left out; without a valid technique, or when
// it cannot be set, nothing begins.
TEST_F(EffectDrawTest, PassLoop)
{
    KXShaderProgram program;
    FakeEffectPtr effect = effectInSlot(program);
    effect->passes = 3;
    renderer->drawTriMeshWithShader(&program, mesh.get());
    EXPECT_EQ((std::vector<std::string>{"FindNextValidTechnique", "SetTechnique", "Begin(0)", "BeginPass(0)",
                                        "drawTriMesh", "EndPass", "BeginPass(1)", "drawTriMesh", "EndPass",
                                        "BeginPass(2)", "drawTriMesh", "EndPass", "End"}),
              log);

    log.clear();
    effect->failingPasses = {1};
    renderer->drawTriMeshWithShader(&program, mesh.get());
    EXPECT_EQ(2, std::count(log.begin(), log.end(), "drawTriMesh"));
    EXPECT_EQ(2, std::count(log.begin(), log.end(), "EndPass"));

    log.clear();
    effect->failSetTechnique = true;
    renderer->drawTriMeshWithShader(&program, mesh.get());
    EXPECT_EQ((std::vector<std::string>{"FindNextValidTechnique", "SetTechnique"}), log);

    log.clear();
    effect->hasValidTechnique = false;
    renderer->drawTriMeshWithShader(&program, mesh.get());
    EXPECT_EQ((std::vector<std::string>{"FindNextValidTechnique"}), log);

    log.clear();
    effect->hasValidTechnique = true;
    effect->failSetTechnique = false;
    effect->failBegin = true;
    renderer->drawTriMeshWithShader(&program, mesh.get());
    EXPECT_EQ((std::vector<std::string>{"FindNextValidTechnique", "SetTechnique", "Begin(0)"}), log);

    // Null arguments draw nothing.
    log.clear();
    renderer->drawTriMeshWithShader(nullptr, mesh.get());
    renderer->drawTriMeshWithShader(&program, nullptr);
    EXPECT_TRUE(log.empty());
}

// The environment cube is bound only to an effect that has a
// "CubicEnvironment" parameter: without one the cube's image is never
// looked at; with one the image is required and bound through its own
// implementation slot.
TEST_F(EffectDrawTest, EnvironmentCubeBindsOnlyWhereTheEffectAsksForIt)
{
    KXShaderProgram program;
    FakeEffectPtr effect = effectInSlot(program);
    auto withoutImage = KXMake<KXTexture3D>();
    renderer->drawTriMeshWithEnvironment(&program, withoutImage.get(), mesh.get());
    EXPECT_EQ(1, std::count(log.begin(), log.end(), "drawTriMesh"));
    renderer->drawTriMeshWithEnvironment(&program, nullptr, mesh.get());
    EXPECT_EQ(1, std::count(log.begin(), log.end(), "drawTriMesh"));

    effect->addParameter("Environment", D3DXPT_TEXTURECUBE, D3DXPC_OBJECT, "CubicEnvironment");
    log.clear();
    renderer->drawTriMeshWithEnvironment(&program, withoutImage.get(), mesh.get());
    EXPECT_TRUE(log.empty());

    KXRef<KXImage2D> face = solidPng(KXColor(0.0f, 0.5f, 1.0f, 1.0f));
    auto cube = KXMake<KXImage3D>();
    for (int i = 0; i < 6; ++i)
        ASSERT_EQ(0, cube->setComponentData(i, face->getData(), face->getSize(), KXImage2D::KXIMAGE2D_PNG));
    auto environment = KXMake<KXTexture3D>();
    environment->setImage3D(cube.get());
    renderer->drawTriMeshWithEnvironment(&program, environment.get(), mesh.get());
    auto* cubeImpl = dynamic_cast<KXDXImage3DImpl*>(cube->getImplementation());
    ASSERT_NE(nullptr, cubeImpl);
    ASSERT_NE(nullptr, cubeImpl->getCubeTexture());
    EXPECT_EQ(cubeImpl->getCubeTexture(), effect->parameter("Environment")->texture);
    EXPECT_EQ("SetTexture(Environment)", log.front());
    EXPECT_EQ(1, std::count(log.begin(), log.end(), "drawTriMesh"));
}

// The window renderer keeps one implementation per program in its slot,
// made on first use and kept when its source did not compile; one made for
// a device that is gone is replaced.
TEST_F(EffectDrawTest, ImplementationsLiveInTheProgramsSlot)
{
    KXShaderProgram program;
    FakeEffectPtr effect = effectInSlot(program);
    KXShaderProgramImpl* impl = program.getImplementation();
    renderer->drawTriMeshWithShader(&program, mesh.get());
    renderer->drawTriMeshWithShader(&program, mesh.get());
    EXPECT_EQ(impl, program.getImplementation());
    EXPECT_EQ(2, std::count(log.begin(), log.end(), "drawTriMesh"));

    // An implementation without an effect (as a source that does not
    // compile leaves) stays and draws nothing.
    KXShaderProgram broken;
    broken.setImplementation(new KXDXShaderProgramImpl(device.get(), &broken, nullptr));
    impl = broken.getImplementation();
    log.clear();
    renderer->drawTriMeshWithShader(&broken, mesh.get());
    EXPECT_EQ(impl, broken.getImplementation());
    EXPECT_TRUE(log.empty());
}

// The off-screen renderers keep their own implementation per program and
// leave the program's slot alone; an entry found again first receives the
// program's current values. Its environment cube comes from its own map
// and is required even for an effect that does not use it.
TEST_F(EffectDrawTest, OffScreenRenderersUseTheirOwnMaps)
{
    OffScreenRenderer offScreen;
    offScreen.log = &log;
    ASSERT_EQ(0, offScreen.initialize(device.get()));
    FakeEffectPtr effect = makeFakeEffect();
    effect->shareLog(&log);
    effect->addParameter("Ks", D3DXPT_FLOAT).value({0.5f}).annotate("UIWidget", "Slider");
    offScreen.offScreenEffect = effect.get();

    KXShaderProgram program;
    offScreen.drawTriMeshWithShader(&program, mesh.get());
    EXPECT_EQ(nullptr, program.getImplementation());
    EXPECT_EQ(1u, offScreen.getNumShaderPrograms());
    EXPECT_EQ(2u, effect->refCount());
    EXPECT_EQ((std::vector<std::string>{"FindNextValidTechnique", "SetTechnique", "Begin(0)", "BeginPass(0)",
                                        "drawTriMesh", "EndPass", "End"}),
              log);

    auto* variable = dynamic_cast<KXEffectVariable*>(program.findParameter(L"Ks")->getVariable());
    ASSERT_NE(nullptr, variable);
    variable->setValue(KXVariant(0.75f));
    log.clear();
    offScreen.drawTriMeshWithShader(&program, mesh.get());
    EXPECT_EQ(1u, offScreen.getNumShaderPrograms());
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("SetFloat(Ks)", log.front());
    EXPECT_EQ(std::vector<float>{0.75f}, effect->parameter("Ks")->values);

    // Environment draws: no image, nothing drawn; with one, an entry of the
    // cube map, the image's slot untouched.
    log.clear();
    auto withoutImage = KXMake<KXTexture3D>();
    offScreen.drawTriMeshWithEnvironment(&program, withoutImage.get(), mesh.get());
    EXPECT_EQ(0, std::count(log.begin(), log.end(), "drawTriMesh"));
    KXRef<KXImage2D> face = solidPng(KXColor(1.0f, 0.5f, 0.0f, 1.0f));
    auto cube = KXMake<KXImage3D>();
    for (int i = 0; i < 6; ++i)
        ASSERT_EQ(0, cube->setComponentData(i, face->getData(), face->getSize(), KXImage2D::KXIMAGE2D_PNG));
    auto environment = KXMake<KXTexture3D>();
    environment->setImage3D(cube.get());
    effect->addParameter("Environment", D3DXPT_TEXTURECUBE, D3DXPC_OBJECT, "CubicEnvironment");
    offScreen.drawTriMeshWithEnvironment(&program, environment.get(), mesh.get());
    EXPECT_EQ(1, std::count(log.begin(), log.end(), "drawTriMesh"));
    EXPECT_EQ(1u, offScreen.getNumImages3D());
    EXPECT_EQ(nullptr, cube->getImplementation());
    EXPECT_NE(nullptr, effect->parameter("Environment")->texture);

    // Editing the program drops its entry: the next draw makes a new one.
    program.setSource("edited");
    EXPECT_EQ(0u, offScreen.getNumShaderPrograms());
    EXPECT_EQ(1u, effect->refCount());
    offScreen.uninitialize();
    EXPECT_EQ(0u, offScreen.getNumImages3D());
}

} // namespace
