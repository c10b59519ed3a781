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
    const KXLight* lights[] = {&ambient, &directional, &point, &spot};
    for (int type = 0; type < 4; ++type)
        EXPECT_EQ(lights[type]->getLightType(), type);
    // A spot light is a point light, which is how renderers read its position.
    EXPECT_EQ(dynamic_cast<const KXPointLight*>(lights[0]), nullptr);
    EXPECT_EQ(dynamic_cast<const KXPointLight*>(lights[1]), nullptr);
    EXPECT_NE(dynamic_cast<const KXPointLight*>(lights[3]), nullptr);
    EXPECT_EQ(dynamic_cast<const KXSpotLight*>(lights[2]), nullptr);
}

TEST(KXLightTest, NewLightsAreWhiteShadowlessUnattenuatedAndPointDown)
{
    KXDirectionalLight directional;
    KXSpotLight spot;
    EXPECT_EQ(spot.getColor(), KXColor(1, 1, 1, 1));
    EXPECT_FALSE(spot.getCastShadows());
    EXPECT_EQ(directional.getDirection(), KXVector(0, 0, -1));
    EXPECT_EQ(spot.getDirection(), KXVector(0, 0, -1));
    EXPECT_EQ(spot.getPosition(), KXPosition(0, 0, 0));
    EXPECT_EQ(spot.getAttenuation(), KXVector(1, 0, 0));
    EXPECT_FLOAT_EQ(spot.getRange(), KXPointLight::MAX_RANGE);
    EXPECT_LE(spot.getRange(), std::sqrt(3.4028235e38f)); // what Direct3D accepts
    EXPECT_FLOAT_EQ(spot.getRadius(), 0.0f);
    EXPECT_LT(spot.getInnerSpreadAngle(), spot.getOuterSpreadAngle());
    EXPECT_FLOAT_EQ(spot.getConcentration(), 1.0f);
}

TEST(KXLightTest, SettersRefuseValuesThatCannotLight)
{
    KXSpotLight spot;
    ChangeCounter counter;
    spot.registerObserver(&counter);
    spot.setDirection(KXVector(0, 3, 4));
    EXPECT_NEAR(spot.getDirection().getY(), 0.6f, 1e-6f);
    spot.setDirection(KXVector(0, 0, 0));
    spot.setAttenuation(0.5f, 0.25f, 0.125f);
    spot.setAttenuation(0, 0, 0);  // would divide by zero
    spot.setAttenuation(1, -1, 0); // would grow with distance
    spot.setRange(25.0f);
    spot.setRange(-1.0f);
    spot.setRadius(-0.3f);
    spot.setConcentration(NAN);
    EXPECT_NEAR(spot.getDirection().getY(), 0.6f, 1e-6f);
    EXPECT_EQ(spot.getAttenuation(), KXVector(0.5f, 0.25f, 0.125f));
    EXPECT_FLOAT_EQ(spot.getRange(), 25.0f);
    EXPECT_FLOAT_EQ(spot.getRadius(), 0.0f);
    EXPECT_EQ(counter.count, 3);
    spot.setRange(INFINITY);
    EXPECT_FLOAT_EQ(spot.getRange(), KXPointLight::MAX_RANGE);

    // One angle at a time is kept as given (within 0..pi); both at once are
    // put in order.
    spot.setOuterSpreadAngle(0.2f);
    spot.setInnerSpreadAngle(0.4f);
    EXPECT_FLOAT_EQ(spot.getOuterSpreadAngle(), 0.2f);
    spot.setSpreadAngles(1.2f, 0.6f);
    EXPECT_FLOAT_EQ(spot.getInnerSpreadAngle(), 0.6f);
    EXPECT_FLOAT_EQ(spot.getOuterSpreadAngle(), 1.2f);
    spot.setOuterSpreadAngle(7.0f);
    EXPECT_FLOAT_EQ(spot.getOuterSpreadAngle(), 3.14159265f);
    spot.unregisterObserver(&counter);
}

TEST(KXLightModelTest, LightsKeepTheirOrderAndIndices)
{
    auto model = KXMake<KXLightModel>();
    EXPECT_TRUE(model->isFixed());
    EXPECT_EQ(model->getAmbientLight(), nullptr);
    auto a = KXMake<KXDirectionalLight>();
    auto b = KXMake<KXPointLight>();
    auto c = KXMake<KXSpotLight>();
    EXPECT_TRUE(model->addLight(a.get()));
    EXPECT_TRUE(model->addLight(b.get()));
    EXPECT_TRUE(model->addLight(c.get()));
    EXPECT_FALSE(model->addLight(b.get()));
    EXPECT_FALSE(model->addLight(nullptr));
    ASSERT_EQ(model->getNumLights(), 3);
    EXPECT_EQ(model->getLight(1), b.get());
    EXPECT_EQ(model->getLight(3), nullptr);
    EXPECT_EQ(model->getLight(-1), nullptr);
    // A disabled light keeps its index; a removed one closes the gap.
    b->setEnabled(false);
    EXPECT_EQ(model->getLight(1), b.get());
    EXPECT_TRUE(model->removeLight(b.get()));
    EXPECT_FALSE(model->removeLight(b.get()));
    EXPECT_EQ(model->getLight(1), c.get());
}

TEST(KXLightModelTest, ModelHoldsItsLightsAndAcceptsOnlyAnAmbientLightAsAmbient)
{
    auto model = KXMake<KXLightModel>();
    auto light = KXMake<KXPointLight>();
    auto ambient = KXMake<KXAmbientLight>();
    model->addLight(light.get());
    model->setAmbientLight(light.get());
    EXPECT_EQ(model->getAmbientLight(), nullptr);
    model->setAmbientLight(ambient.get());
    EXPECT_EQ(model->getAmbientLight(), ambient.get());
    EXPECT_EQ(light->getRefCount(), 2);
    EXPECT_EQ(ambient->getRefCount(), 2);
    model = nullptr;
    EXPECT_EQ(light->getRefCount(), 1);
    EXPECT_EQ(ambient->getRefCount(), 1);
}
