#pragma once

#include "sceneapi/KXObject.h"
#include "sceneapi/KXSceneExport.h"

#include <vector>

class KXLight;
class KXNode;

// The nodes and lights the user has selected, each list in selection order.
// The selection holds a reference to what it lists, so a selected object that
// is removed from the scene stays valid until it is deselected.
class KXSCENE_API KXSelection : public KXObject
{
public:
    KXSelection() = default;
    explicit KXSelection(KXScene* scene) : KXObject(scene) {}
    ~KXSelection() override;

    int getNumSelectedNodes() const { return static_cast<int>(m_nodes.size()); }
    int getNumSelectedLights() const { return static_cast<int>(m_lights.size()); }
    // Null for an index outside the list.
    KXNode* getSelectedNode(int index) const;
    KXLight* getSelectedLight(int index) const;

    // True when the object is a selected node or light.
    bool check(const KXObject* object) const;

    // Adding what is already selected, or null, changes nothing.
    void selectNode(KXNode* node);
    void selectLight(KXLight* light);
    void deselect(const KXObject* object);
    void clear();

private:
    std::vector<KXNode*> m_nodes;
    std::vector<KXLight*> m_lights;
};
