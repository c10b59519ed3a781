#include "sceneapi/KXScene.h"

#include "sceneapi/KXRoot.h"
#include "sceneapi/KXSelection.h"

KXScene::KXScene()
{
    KXHold(m_root, new KXRoot(this));
    KXHold(m_selection, new KXSelection(this));
}

KXScene::~KXScene()
{
    // The selection may hold nodes of the tree; let go of it first.
    KXHold<KXSelection>(m_selection, nullptr);
    KXHold<KXRoot>(m_root, nullptr);
}

void KXScene::setRoot(KXRoot* root)
{
    KXHold(m_root, root);
}
