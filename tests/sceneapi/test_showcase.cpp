#include "sceneapi/sceneapi.h"

#include <gtest/gtest.h>

#include <set>

namespace {

KXAppearance* appearanceOf(const KXNode* node)
{
    return node->getType() == KXNode::KXNODETYPE_SHAPE ? static_cast<const KXShape*>(node)->getAppearance() : nullptr;
}

} // namespace

TEST(KXShowcaseSceneTest, HoldsEveryKindOfContentTheRenderersShow)
{
    KXScene scene;
    ASSERT_EQ(KXShowcaseScene::build(scene, 640, 480), 0);
    KXRoot* root = scene.getRoot();
    ASSERT_NE(root, nullptr);
    ASSERT_GE(root->getNumChildNodes(), 7);

    int transparent = 0, textured = 0;
    for (int i = 0; i < root->getNumChildNodes(); ++i) {
        const KXAppearance* look = appearanceOf(root->getChild(i));
        ASSERT_NE(look, nullptr);
        ASSERT_NE(look->getMaterial(), nullptr);
        if (look->getMaterial()->getDiffuseColor().getA() == 0.5f)
            ++transparent;
        if (auto* texture = dynamic_cast<KXTexture2D*>(look->getTexture(0))) {
            ++textured;
            // The texture is a real PNG checker: two colours alternating.
            KXRawImage2D raw;
            ASSERT_EQ(KXImageUtils::decode(texture->getImage2D(), &raw), 0);
            EXPECT_EQ(texture->getImage2D()->getFileType(), KXImage2D::KXIMAGE2D_PNG);
            EXPECT_NE(raw.getColor(0, 0).getBGRA(), raw.getColor(16, 0).getBGRA());
            EXPECT_EQ(raw.getColor(0, 0).getBGRA(), raw.getColor(16, 16).getBGRA());
        }
    }
    EXPECT_EQ(transparent, 1);
    EXPECT_EQ(textured, 1);

    // The ground lies in z = 0 and everything stands on or above it.
    const KXBounds bounds = root->getBounds();
    EXPECT_NEAR(bounds.getLowerLeftPos().getZ(), 0.0f, 1e-5f);

    std::set<int> lightTypes;
    KXLightModel* lights = root->getLightModel();
    ASSERT_NE(lights, nullptr);
    for (int i = 0; i < lights->getNumLights(); ++i)
        lightTypes.insert(lights->getLight(i)->getLightType());
    EXPECT_EQ(lightTypes, (std::set<int>{1, 2, 3}));
    ASSERT_NE(root->getBackground(), nullptr);
    EXPECT_EQ(root->getBackground()->getBackgroundType(), 1);
}

TEST(KXShowcaseSceneTest, CameraSeesEveryObject)
{
    KXScene scene;
    ASSERT_EQ(KXShowcaseScene::build(scene), 0);
    KXCamera* camera = KXSceneUtils::getRootCamera(&scene);
    ASSERT_NE(camera, nullptr);
    const KXMatrix viewProjection = camera->getViewMatrix() * camera->getProjectionMatrix();
    KXRoot* root = scene.getRoot();
    for (int i = 0; i < root->getNumChildNodes(); ++i) {
        const KXNode* node = root->getChild(i);
        if (node->getName() == L"Ground")
            continue;
        KXBounds b = node->getBounds();
        b.transform(KXNodeUtils::getWorldMatrixAtNode(node));
        const KXPosition c = viewProjection.transform(b.getCenter());
        EXPECT_LT(std::abs(c.getX()), 0.9f) << "node " << i;
        EXPECT_LT(std::abs(c.getY()), 0.9f) << "node " << i;
        EXPECT_GT(c.getZ(), 0.0f);
        EXPECT_LT(c.getZ(), 1.0f);
    }
}
