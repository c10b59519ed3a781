#pragma once

#include "canvas/KXCanvasPainter.h"
#include "renderer/KXExport.h"

class KXGeometry;
class KXGroup;

// Draws a second, flat scene over the finished frame; the last painter of a
// frame. Its geometry is given in screen-ready (pre-transformed) form, so no
// camera, transform, appearance or depth is used: the overlay lies over
// everything, blended by its vertices' alpha, and leaves the depth buffer as
// it was. Geometry that is not pre-transformed is skipped. The overlay scene
// is not owned; null switches the overlay off.
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
    void walk(KXGroup* group);
    void drawGeometry(KXGeometry* geometry);

    const KXScene* m_overlayScene = nullptr;
};
