#include "imagegen/KXCanvasRendererLoan.h"

#include "canvas/KXCanvas.h"

KXCanvasRendererLoan::KXCanvasRendererLoan(KXCanvas* canvas, KXRenderer* renderer)
    : m_canvas(canvas), m_previous(canvas ? canvas->getRenderer() : nullptr)
{
    if (m_canvas)
        m_canvas->setRenderer(renderer);
}

KXCanvasRendererLoan::~KXCanvasRendererLoan()
{
    if (m_canvas)
        m_canvas->setRenderer(m_previous);
}
