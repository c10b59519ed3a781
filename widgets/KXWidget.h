#pragma once

#include "renderer/KXExport.h"
#include "sceneapi/KXObject.h"
#include "sceneapi/KXShape.h"

// An editor widget made of up to three shapes that the application fills
// with geometry and appearances: the visual, a handle to grab and a letter.
// The widget owns its shapes.
class KXDXRENDERER_API KXWidget
{
public:
    KXWidget() = default;
    KXWidget(const KXWidget&) = delete;
    KXWidget& operator=(const KXWidget&) = delete;
    virtual ~KXWidget();

    // Each makes the shape and returns it; null, changing nothing, when the
    // shape exists already.
    KXShape* createVisual();
    KXShape* createHandle();
    KXShape* createLetter();
    KXShape* getVisual() const { return m_visual.get(); }
    KXShape* getHandle() const { return m_handle.get(); }
    KXShape* getLetter() const { return m_letter.get(); }

private:
    KXRef<KXShape> m_visual;
    KXRef<KXShape> m_handle;
    KXRef<KXShape> m_letter;
};
