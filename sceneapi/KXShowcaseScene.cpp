#include "sceneapi/KXShowcaseScene.h"

#include "sceneapi/KXAppearance.h"
#include "sceneapi/KXBackground.h"
#include "sceneapi/KXBox.h"
#include "sceneapi/KXCamera.h"
#include "sceneapi/KXCone.h"
#include "sceneapi/KXCylinder.h"
#include "sceneapi/KXImage2D.h"
#include "sceneapi/KXImageUtils.h"
#include "sceneapi/KXLight.h"
#include "sceneapi/KXLightModel.h"
#include "sceneapi/KXMaterial.h"
#include "sceneapi/KXRawImage2D.h"
#include "sceneapi/KXRoot.h"
#include "sceneapi/KXScene.h"
#include "sceneapi/KXSelection.h"
#include "sceneapi/KXShape.h"
#include "sceneapi/KXSheet.h"
#include "sceneapi/KXSphere.h"
#include "sceneapi/KXTexture2D.h"
#include "sceneapi/KXTorus.h"

namespace {

KXRef<KXAppearance> makeAppearance(const KXColor& diffuse, const KXColor& specular = KXColor(0.3f, 0.3f, 0.3f, 1.0f),
                                   float shininess = 32.0f)
{
    auto appearance = KXMake<KXAppearance>();
    KXMaterial* material = appearance->createMaterial();
    material->setAmbientColor(KXColor(diffuse.getR() * 0.3f, diffuse.getG() * 0.3f, diffuse.getB() * 0.3f, 1.0f));
    material->setDiffuseColor(diffuse);
    material->setSpecularColor(specular);
    material->setEmissiveColor(KXColor(0.0f, 0.0f, 0.0f, 1.0f));
    material->setShininess(shininess);
    return appearance;
}

void addShape(KXRoot* root, KXGeometry* geometry, KXAppearance* appearance, const wchar_t* name)
{
    auto shape = KXMake<KXShape>();
    shape->setName(name);
    shape->setGeometry(geometry);
    shape->setAppearance(appearance);
    root->addChild(shape.get());
}

// An 8 x 8 checker of two colours, 128 pixels square, stored as a PNG image.
KXRef<KXImage2D> makeCheckerImage()
{
    const unsigned size = 128, cell = 16;
    KXRawImage2D raw(size, size, KXRawImage2D::KXRAWIMAGE2D_BGRA);
    if (raw.createData() != 0)
        return nullptr;
    const KXColor light(0.95f, 0.9f, 0.75f, 1.0f), dark(0.15f, 0.35f, 0.6f, 1.0f);
    for (unsigned y = 0; y < size; ++y)
        for (unsigned x = 0; x < size; ++x)
            raw.setColor(x, y, ((x / cell + y / cell) & 1) ? dark : light);
    auto image = KXMake<KXImage2D>();
    if (KXImageUtils::encode(&raw, image.get(), KXImage2D::KXIMAGE2D_PNG) != 0)
        return nullptr;
    return image;
}

} // namespace

int KXShowcaseScene::build(KXScene& scene, unsigned width, unsigned height)
{
    int result = 0;
    auto rootRef = KXMake<KXRoot>(&scene);
    KXRoot* root = rootRef.get();
    root->setName(L"Showcase");

    // Ground: a 20 x 20 sheet in z = 0, facing up.
    auto ground = KXMake<KXSheet>();
    ground->setSubdivisions(8, 8);
    ground->setParameters(KXPosition(0, 0, 0), KXVector(1, 0, 0), KXVector(0, 1, 0), 20.0f, 20.0f);
    addShape(root, ground.get(), makeAppearance(KXColor(0.55f, 0.55f, 0.5f, 1.0f), KXColor(0, 0, 0, 1), 0.0f).get(),
             L"Ground");

    auto sphere = KXMake<KXSphere>();
    sphere->setParameters(KXPosition(0, 0, 1.0f), 1.0f, 48, 24, false);
    addShape(root, sphere.get(), makeAppearance(KXColor(0.8f, 0.15f, 0.1f, 1.0f), KXColor(0.8f, 0.8f, 0.8f, 1.0f), 64.0f).get(),
             L"Sphere");

    auto box = KXMake<KXBox>();
    box->setParameters(KXPosition(2.8f, 0.5f, 0.75f), 1.5f, 1.5f, 1.5f);
    addShape(root, box.get(), makeAppearance(KXColor(0.2f, 0.6f, 0.25f, 1.0f)).get(), L"Box");

    auto cone = KXMake<KXCone>();
    cone->setParameters(KXPosition(-2.8f, 0.5f, 0.0f), KXVector(0, 0, 1), 0.9f, 0.0f, 2.2f, 0.19634954f, 1, true, false);
    addShape(root, cone.get(), makeAppearance(KXColor(0.9f, 0.7f, 0.1f, 1.0f)).get(), L"Cone");

    auto torus = KXMake<KXTorus>();
    torus->setParameters(KXPosition(1.2f, 3.2f, 0.35f), KXVector(0, 0, 1), 0.9f, 0.35f, 48, 24);
    addShape(root, torus.get(), makeAppearance(KXColor(0.55f, 0.25f, 0.7f, 1.0f), KXColor(0.6f, 0.6f, 0.6f, 1.0f), 48.0f).get(),
             L"Torus");

    // The half-transparent object: a glassy cylinder in front of the sphere.
    // Its base stands a hair above the ground: seen through the glass, a base
    // in the ground's own plane would fight the ground for every depth.
    auto cylinder = KXMake<KXCylinder>();
    cylinder->setParameters(KXPosition(0.6f, -2.6f, 0.01f), KXVector(0, 0, 1), 0.7f, 1.6f, 48, true);
    addShape(root, cylinder.get(), makeAppearance(KXColor(0.3f, 0.6f, 0.9f, 0.5f), KXColor(0.9f, 0.9f, 0.9f, 1.0f), 96.0f).get(),
             L"Glass cylinder");

    // The textured object: a checkered box.
    auto crate = KXMake<KXBox>();
    crate->setParameters(KXPosition(-2.0f, -2.4f, 0.6f), 1.2f, 1.2f, 1.2f);
    auto crateLook = makeAppearance(KXColor(1.0f, 1.0f, 1.0f, 1.0f), KXColor(0.1f, 0.1f, 0.1f, 1.0f), 8.0f);
    if (auto checker = makeCheckerImage()) {
        auto* texture = static_cast<KXTexture2D*>(crateLook->createTexture(KXTexture::KXTEXTURE_2D, 0));
        texture->setImage2D(checker.get());
    } else {
        result = -1;
    }
    addShape(root, crate.get(), crateLook.get(), L"Checkered box");

    // Lights in scene space: a sun, a warm point light and a spot.
    auto lights = KXMake<KXLightModel>();
    lights->setFixed(true);
    auto ambient = KXMake<KXAmbientLight>();
    ambient->setColor(KXColor(0.2f, 0.2f, 0.22f, 1.0f));
    lights->setAmbientLight(ambient.get());
    auto sun = KXMake<KXDirectionalLight>();
    sun->setDirection(KXVector(-0.4f, 0.5f, -1.0f));
    sun->setColor(KXColor(0.8f, 0.8f, 0.75f, 1.0f));
    sun->setCastShadows(true);
    lights->addLight(sun.get());
    auto bulb = KXMake<KXPointLight>();
    bulb->setPosition(KXPosition(-3.0f, -3.0f, 3.0f));
    bulb->setColor(KXColor(0.5f, 0.35f, 0.2f, 1.0f));
    bulb->setAttenuation(1.0f, 0.05f, 0.01f);
    bulb->setRange(30.0f);
    lights->addLight(bulb.get());
    auto spot = KXMake<KXSpotLight>();
    spot->setPosition(KXPosition(3.0f, -4.0f, 5.0f));
    spot->setDirection(KXPosition(1.2f, 0.5f, 0.0f) - KXPosition(3.0f, -4.0f, 5.0f));
    spot->setSpreadAngles(0.5f, 0.8f);
    spot->setColor(KXColor(0.3f, 0.4f, 0.6f, 1.0f));
    spot->setRange(30.0f);
    lights->addLight(spot.get());
    root->setLightModel(lights.get());

    auto background = KXMake<KXGradientBackground>();
    background->setColors(KXColor(0.85f, 0.88f, 0.92f, 1.0f), KXColor(0.25f, 0.4f, 0.7f, 1.0f));
    root->setBackground(background.get());

    auto camera = KXMake<KXPerspectiveCamera>();
    camera->setPosition(KXPosition(7.5f, -10.0f, 6.0f), KXPosition(0.0f, 0.0f, 0.8f), KXVector(0, 0, 1));
    camera->setFOV(0.7853975f);
    camera->setViewport(KXDimension2D(static_cast<float>(width), static_cast<float>(height)));
    camera->setNearPlane(0.5f);
    camera->setFarPlane(60.0f);
    root->setCamera(camera.get());

    scene.getSelection()->clear();
    scene.setRoot(root);
    return result;
}
