#pragma once

#include "sceneapi/KXObject.h"
#include "sceneapi/KXSceneExport.h"

class KXRoot;
class KXSelection;

// A scene: the root of its tree and the current selection. A new scene has an
// empty root and an empty selection. The scene holds both; it is an ordinary
// value owner that may live on the stack.
class KXSCENE_API KXScene
{
public:
    KXScene();
    KXScene(const KXScene&) = delete;
    KXScene& operator=(const KXScene&) = delete;
    ~KXScene();

    KXRoot* getRoot() const { return m_root; }
    // Replaces the root; null leaves the scene without one.
    void setRoot(KXRoot* root);
    KXSelection* getSelection() const { return m_selection; }

private:
    KXRoot* m_root = nullptr;
    KXSelection* m_selection = nullptr;
};
