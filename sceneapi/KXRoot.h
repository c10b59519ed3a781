#pragma once

#include "sceneapi/KXGroup.h"
#include "sceneapi/KXSceneExport.h"

class KXBackground;
class KXFog;
class KXLightModel;

// The top of a scene tree: a group that also holds what applies to the whole
// scene (background, fog, light model, reflection environment). Its camera
// (KXNode::getCamera) is the view camera. A root cannot be the child of
// another node.
class KXSCENE_API KXRoot : public KXGroup
{
public:
    KXRoot() = default;
    explicit KXRoot(KXScene* scene) : KXGroup(scene) {}
    ~KXRoot() override;

    int getType() const override { return KXNODETYPE_ROOT; }

    KXBackground* getBackground() const { return m_background; }
    void setBackground(KXBackground* background);
    KXFog* getFog() const { return m_fog; }
    void setFog(KXFog* fog);
    KXLightModel* getLightModel() const { return m_lightModel; }
    void setLightModel(KXLightModel* lightModel);
    // What reflective surfaces mirror: a sky box gives the environment cube.
    KXBackground* getReflectionEnvironment() const { return m_reflectionEnvironment; }
    void setReflectionEnvironment(KXBackground* environment);

private:
    KXBackground* m_background = nullptr;
    KXFog* m_fog = nullptr;
    KXLightModel* m_lightModel = nullptr;
    KXBackground* m_reflectionEnvironment = nullptr;
};
