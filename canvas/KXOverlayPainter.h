#pragma once

#include "canvas/KXCanvasPainter.h"
#include "renderer/KXExport.h"

// Draws a second, pre-transformed scene over the finished frame; the last
// painter of a frame. The overlay scene is not owned; null switches the
// overlay off. The overlay drawing itself is not built yet: paint draws
// nothing.
class KXDXRENDERER_API KXOverlayPainter : public KXCanvasPainter
{
public:
    KXOverlayPainter() = default;
    ~KXOverlayPainter() override;

    KXCANVASPAINTERTYPE getPainterType() const override { return KXCANVASPAINTER_OVERLAY; }
    // The canvas's scene is not used: the overlay scene is drawn.
    void paint(const KXScene* scene) override;

    const KXScene* getOverlayScene() const { return m_overlayScene; }
    void setOverlayScene(const KXScene* scene) { m_overlayScene = scene; }

private:
    const KXScene* m_overlayScene = nullptr;
};
