#pragma once

#include "renderer/KXExport.h"
#include "sceneapi/KXObject.h"
#include "sceneapi/KXShape.h"
#include "widgets/KXWidget.h"

#include <map>
#include <memory>

// The shapes of one kind of editor aid, by type number. Shapes are made on
// request, empty, for the application to fill; the set owns them until it
// is destroyed.
class KXDXRENDERER_API KXShapeSet
{
public:
    // Makes the shape of a type and returns it; null, changing nothing, when
    // the type has one already.
    KXShape* create(int type);
    // Null when the type has none.
    KXShape* get(int type) const;

private:
    std::map<int, KXRef<KXShape>> m_shapes;
};

// The widgets of one kind of editor aid, by type number; owned likewise.
class KXDXRENDERER_API KXWidgetSet
{
public:
    // Makes the widget of a type and returns it; null, changing nothing, when
    // the type has one already.
    KXWidget* create(int type);
    // Null when the type has none.
    KXWidget* get(int type) const;

private:
    std::map<int, std::unique_ptr<KXWidget>> m_widgets;
};
