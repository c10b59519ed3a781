#pragma once

#include "renderer/KXExport.h"
#include "sceneapi/KXObservable.h"

// What a canvas tells its observers during a frame. In both kinds the
// renderer's scene is open, so observers may draw.
class KXDXRENDERER_API KXCanvasEvent : public KXEvent
{
public:
    enum KXCANVASEVENTKIND : int {
        KXCANVASEVENT_FRAMEBEGUN = 0,  // the scene has just been opened
        KXCANVASEVENT_FRAMEENDING = 1, // the scene is about to be closed
    };

    explicit KXCanvasEvent(KXCANVASEVENTKIND kind) : KXEvent(kind) {}
    ~KXCanvasEvent() override;
};
