#include "widgets/KXShapeSet.h"

KXShape* KXShapeSet::create(int type)
{
    KXRef<KXShape>& slot = m_shapes[type];
    if (slot)
        return nullptr;
    slot = new KXShape();
    return slot.get();
}

KXShape* KXShapeSet::get(int type) const
{
    const auto it = m_shapes.find(type);
    return it == m_shapes.end() ? nullptr : it->second.get();
}

KXWidget* KXWidgetSet::create(int type)
{
    std::unique_ptr<KXWidget>& slot = m_widgets[type];
    if (slot)
        return nullptr;
    slot = std::make_unique<KXWidget>();
    return slot.get();
}

KXWidget* KXWidgetSet::get(int type) const
{
    const auto it = m_widgets.find(type);
    return it == m_widgets.end() ? nullptr : it->second.get();
}
