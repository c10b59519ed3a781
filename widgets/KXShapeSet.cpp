#include "widgets/KXShapeSet.h"

#include "renderer/KXOutOfMemory.h"

KXShape* KXShapeSet::create(int type)
{
    if (m_shapes.count(type))
        return nullptr;
    // Out of memory nothing is made, and no empty entry is left behind.
    KXShape* made = nullptr;
    kxRunWithinMemory([&] {
        KXRef<KXShape> shape(new KXShape());
        m_shapes.emplace(type, shape);
        made = shape.get();
    });
    return made;
}

KXShape* KXShapeSet::get(int type) const
{
    const auto it = m_shapes.find(type);
    return it == m_shapes.end() ? nullptr : it->second.get();
}

KXWidget* KXWidgetSet::create(int type)
{
    if (m_widgets.count(type))
        return nullptr;
    KXWidget* made = nullptr;
    kxRunWithinMemory([&] {
        auto widget = std::make_unique<KXWidget>();
        made = widget.get();
        m_widgets.emplace(type, std::move(widget));
    });
    return m_widgets.count(type) ? made : nullptr;
}

KXWidget* KXWidgetSet::get(int type) const
{
    const auto it = m_widgets.find(type);
    return it == m_widgets.end() ? nullptr : it->second.get();
}
