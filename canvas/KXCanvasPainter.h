#pragma once

#include "renderer/KXExport.h"

class KXRenderer;
class KXScene;

// Base of the painters a canvas runs after the scene (shadows, soft
// shadows, reflections, the overlay). The canvas owns its painters and
// writes its renderer into each of them.
class KXDXRENDERER_API KXCanvasPainter
{
public:
    enum KXCANVASPAINTERTYPE : int {
        KXCANVASPAINTER_PLANARSHADOW = 0,
        KXCANVASPAINTER_PLANARSOFTSHADOW = 1,
        KXCANVASPAINTER_PLANARREFLECTION = 2,
        KXCANVASPAINTER_OVERLAY = 3,
    };

    virtual ~KXCanvasPainter();
    virtual KXCANVASPAINTERTYPE getPainterType() const = 0;
    virtual void paint(const KXScene* scene) = 0;

    KXRenderer* getRenderer() const { return m_renderer; }
    void setRenderer(KXRenderer* renderer) { m_renderer = renderer; }

protected:
    KXCanvasPainter() = default;
    KXCanvasPainter(const KXCanvasPainter&) = delete;
    KXCanvasPainter& operator=(const KXCanvasPainter&) = delete;

    KXRenderer* m_renderer = nullptr;
};
