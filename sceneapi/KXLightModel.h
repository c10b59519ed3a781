#pragma once

#include "sceneapi/KXObject.h"
#include "sceneapi/KXSceneExport.h"

#include <vector>

class KXLight;

// The lights of a scene: an ordered list of lights and one ambient light.
//
// The index of a light in the list is the light's number on the device, so a
// disabled light leaves a gap rather than moving the lights after it. The
// model holds a reference to each of its lights and to its ambient light.
//
// A fixed model has its lights in scene space: they stay where they are when
// the camera moves. The lights of a model that is not fixed are given in
// camera space and move with the camera (a head light).
//
// A new model is fixed, holds no lights and has no ambient light.
class KXSCENE_API KXLightModel : public KXObject
{
public:
    KXLightModel() = default;
    explicit KXLightModel(KXScene* scene) : KXObject(scene) {}
    KXLightModel(const KXLightModel&) = delete;
    ~KXLightModel() override;

    int getNumLights() const { return static_cast<int>(m_lights.size()); }
    // Null for an index out of range.
    KXLight* getLight(int index) const;
    int indexOfLight(const KXLight* light) const;
    // Appends a light. Refused (false) for null and for a light already in
    // the list.
    bool addLight(KXLight* light);
    // Removes a light; the lights after it move up by one. False when the
    // light is not in the list.
    bool removeLight(KXLight* light);
    bool removeLight(int index);
    void removeAllLights();

    // An ambient light (getLightType 0); null when the model has none.
    KXLight* getAmbientLight() const { return m_ambientLight; }
    // Null removes the ambient light; a light of any other type is refused.
    void setAmbientLight(KXLight* light);

    bool isFixed() const { return m_fixed; }
    void setFixed(bool fixed);

private:
    std::vector<KXLight*> m_lights;
    KXLight* m_ambientLight = nullptr;
    bool m_fixed = true;
};
