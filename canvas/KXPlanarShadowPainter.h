#pragma once

#include "canvas/KXCanvasPainter.h"
#include "renderer/KXExport.h"

// Draws hard shadows of the scene flattened onto a plane just above the
// ground. The canvas runs it when shadows are on and soft shadows are not.
// The shadow drawing itself is not built yet: paint draws nothing.
class KXDXRENDERER_API KXPlanarShadowPainter : public KXCanvasPainter
{
public:
    KXPlanarShadowPainter() = default;
    ~KXPlanarShadowPainter() override;

    KXCANVASPAINTERTYPE getPainterType() const override { return KXCANVASPAINTER_PLANARSHADOW; }
    void paint(const KXScene* scene) override;
};
