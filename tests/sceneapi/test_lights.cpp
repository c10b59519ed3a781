#include "sceneapi/KXLight.h"
#include "sceneapi/KXLightModel.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

class ChangeCounter : public KXObserver
{
public:
    void update(KXObservable*, const KXEvent&) override { ++count; }
    int count = 0;
};

} // namespace

TEST(KXLightTest, KindsAreToldApartByTypeAndRunTimeTypeTests)
{
    KXAmbientLight ambient;
    KXDirectionalLight directional;
    KXPointLight point;
    KXSpotLight spot(nullptr);
    EXPECT_EQ(ambient.getLightType(), 0);
    EXPECT_EQ(directional.getLightType(), 1);
    EXPECT_EQ(point.getLightType(), 2);
    EXPECT_EQ(spot.getLightType(), 3);

    // A spot light is a point light; the renderers rely on that to read its
    // position and range.
    const KXLight* lights[] = {&ambient, &directional, &point, &spot};
    EXPECT_EQ(dynamic_cast<const KXPointLight*>(lights[0]), nullptr);
    EXPECT_EQ(dynamic_cast<const KXPointLight*>(lights[1]), nullptr);
    EXPECT_NE(dynamic_cast<const KXPointLight*>(lights[2]), nullptr);
    EXPECT_NE(dynamic_cast<const KXPointLight*>(lights[3]), nullptr);
    EXPECT_EQ(dynamic_cast<const KXSpotLight*>(lights[2]), nullptr);
    EXPECT_NE(dynamic_cast<const KXDirectionalLight*>(lights[1]), nullptr);
}

TEST(KXLightTest, NewLightsAreWhiteShadowlessAndPointDown)
{
    KXDirectionalLight directional;
    KXSpotLight spot;
    for (const KXLight* light : {static_cast<const KXLight*>(&directional), static_cast<const KXLight*>(&spot)}) {
        EXPECT_EQ(light->getColor(), KXColor(1, 1, 1, 1));
        EXPECT_FALSE(light->getCastShadows());
        EXPECT_TRUE(light->isEnabled());
    }
    EXPECT_EQ(directional.getDirection(), KXVector(0, 0, -1));
    EXPECT_EQ(spot.getDirection(), KXVector(0, 0, -1));

    // No fall-off, unlimited reach, hard shadows.
    EXPECT_EQ(spot.getPosition(), KXPosition(0, 0, 0));
    EXPECT_EQ(spot.getAttenuation(), KXVector(1, 0, 0));
    EXPECT_FLOAT_EQ(spot.getRange(), KXPointLight::MAX_RANGE);
    EXPECT_LE(spot.getRange(), std::sqrt(3.4028235e38f));
    EXPECT_FLOAT_EQ(spot.getRadius(), 0.0f);
    EXPECT_LT(spot.getInnerSpreadAngle(), spot.getOuterSpreadAngle());
    EXPECT_FLOAT_EQ(spot.getOuterSpreadAngle(), 0.7853982f);
    EXPECT_FLOAT_EQ(spot.getConcentration(), 1.0f);
}

TEST(KXLightTest, SettersKeepValuesUsableAndRefuseTheRest)
{
    KXSpotLight spot;
    spot.setDirection(KXVector(0, 3, 4));
    EXPECT_NEAR(spot.getDirection().getY(), 0.6f, 1e-6f);
    EXPECT_NEAR(spot.getDirection().getZ(), 0.8f, 1e-6f);
    spot.setDirection(KXVector(0, 0, 0));
    spot.setDirection(KXVector(NAN, 1, 0));
    EXPECT_NEAR(spot.getDirection().getY(), 0.6f, 1e-6f);

    spot.setAttenuation(0.5f, 0.25f, 0.125f);
    EXPECT_EQ(spot.getAttenuation(), KXVector(0.5f, 0.25f, 0.125f));
    spot.setAttenuation(0, 0, 0);   // would divide by zero
    spot.setAttenuation(1, -1, 0);  // would grow with distance
    spot.setAttenuation(1, 0, INFINITY);
    EXPECT_EQ(spot.getAttenuation(), KXVector(0.5f, 0.25f, 0.125f));

    spot.setRange(25.0f);
    spot.setRange(-1.0f);
    spot.setRange(NAN);
    EXPECT_FLOAT_EQ(spot.getRange(), 25.0f);
    spot.setRange(INFINITY);
    EXPECT_FLOAT_EQ(spot.getRange(), KXPointLight::MAX_RANGE);

    spot.setRadius(0.3f);
    spot.setRadius(-0.3f);
    EXPECT_FLOAT_EQ(spot.getRadius(), 0.3f);

    // Angles one at a time are kept as given (clamped to 0..pi); both at once
    // are put in order.
    spot.setOuterSpreadAngle(0.2f);
    spot.setInnerSpreadAngle(0.4f);
    EXPECT_FLOAT_EQ(spot.getInnerSpreadAngle(), 0.4f);
    EXPECT_FLOAT_EQ(spot.getOuterSpreadAngle(), 0.2f);
    spot.setSpreadAngles(1.2f, 0.6f);
    EXPECT_FLOAT_EQ(spot.getInnerSpreadAngle(), 0.6f);
    EXPECT_FLOAT_EQ(spot.getOuterSpreadAngle(), 1.2f);
    spot.setOuterSpreadAngle(7.0f);
    EXPECT_FLOAT_EQ(spot.getOuterSpreadAngle(), 3.14159265f);

    spot.setConcentration(-2.0f);
    EXPECT_FLOAT_EQ(spot.getConcentration(), 1.0f);
}

TEST(KXLightTest, ObserversHearRealChangesOnly)
{
    KXPointLight light;
    ChangeCounter counter;
    light.registerObserver(&counter);
    light.setColor(KXColor(1, 1, 1, 1));
    light.setPosition(KXPosition());
    light.setRange(-5.0f);
    EXPECT_EQ(counter.count, 0);
    light.setColor(KXColor(1, 0, 0, 1));
    light.setCastShadows(true);
    light.setPosition(KXPosition(1, 2, 3));
    light.setRadius(2.0f);
    EXPECT_EQ(counter.count, 4);
    light.unregisterObserver(&counter);
}

TEST(KXLightModelTest, NewModelIsFixedAndEmpty)
{
    KXLightModel model;
    EXPECT_TRUE(model.isFixed());
    EXPECT_EQ(model.getNumLights(), 0);
    EXPECT_EQ(model.getAmbientLight(), nullptr);
    EXPECT_EQ(model.getLight(0), nullptr);
    EXPECT_EQ(model.getLight(-1), nullptr);
    model.setFixed(false);
    EXPECT_FALSE(model.isFixed());
}

TEST(KXLightModelTest, LightsKeepTheirOrderAndIndices)
{
    auto model = KXMake<KXLightModel>();
    auto a = KXMake<KXDirectionalLight>();
    auto b = KXMake<KXPointLight>();
    auto c = KXMake<KXSpotLight>();
    EXPECT_TRUE(model->addLight(a.get()));
    EXPECT_TRUE(model->addLight(b.get()));
    EXPECT_TRUE(model->addLight(c.get()));
    EXPECT_FALSE(model->addLight(b.get()));
    EXPECT_FALSE(model->addLight(nullptr));
    ASSERT_EQ(model->getNumLights(), 3);
    EXPECT_EQ(model->getLight(0), a.get());
    EXPECT_EQ(model->getLight(1), b.get());
    EXPECT_EQ(model->getLight(2), c.get());
    EXPECT_EQ(model->getLight(3), nullptr);

    // A disabled light stays at its index.
    b->setEnabled(false);
    EXPECT_EQ(model->getLight(1), b.get());

    EXPECT_TRUE(model->removeLight(b.get()));
    EXPECT_FALSE(model->removeLight(b.get()));
    EXPECT_EQ(model->getLight(1), c.get());
    EXPECT_EQ(model->indexOfLight(a.get()), 0);
    EXPECT_EQ(model->indexOfLight(b.get()), -1);
}

TEST(KXLightModelTest, ModelHoldsItsLightsByReference)
{
    auto model = KXMake<KXLightModel>();
    auto* light = new KXPointLight();
    model->addLight(light);
    EXPECT_EQ(light->getRefCount(), 1);

    // Lights added without another holder die with the model.
    KXRef<KXPointLight> kept(light);
    EXPECT_EQ(light->getRefCount(), 2);
    model->removeAllLights();
    EXPECT_EQ(light->getRefCount(), 1);

    auto ambient = KXMake<KXAmbientLight>();
    model->setAmbientLight(ambient.get());
    EXPECT_EQ(ambient->getRefCount(), 2);
    model = nullptr;
    EXPECT_EQ(ambient->getRefCount(), 1);
}

TEST(KXLightModelTest, AmbientLightMustBeOfTypeZero)
{
    KXLightModel model;
    auto ambient = KXMake<KXAmbientLight>();
    auto directional = KXMake<KXDirectionalLight>();
    model.setAmbientLight(directional.get());
    EXPECT_EQ(model.getAmbientLight(), nullptr);
    model.setAmbientLight(ambient.get());
    EXPECT_EQ(model.getAmbientLight(), ambient.get());
    model.setAmbientLight(directional.get());
    EXPECT_EQ(model.getAmbientLight(), ambient.get());
    model.setAmbientLight(nullptr);
    EXPECT_EQ(model.getAmbientLight(), nullptr);
}

TEST(KXLightModelTest, ObserversHearListAndSettingChanges)
{
    KXLightModel model;
    ChangeCounter counter;
    model.registerObserver(&counter);
    auto light = KXMake<KXDirectionalLight>();
    model.addLight(light.get());
    model.addLight(light.get());
    model.setFixed(true);
    model.setFixed(false);
    model.removeLight(0);
    model.removeAllLights();
    EXPECT_EQ(counter.count, 3);
    model.unregisterObserver(&counter);
}
