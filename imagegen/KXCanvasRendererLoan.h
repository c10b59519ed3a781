#pragma once

class KXCanvas;
class KXRenderer;

// Lends a canvas to another renderer for as long as the object lives; the
// canvas's own renderer comes back after, so that a host's canvas keeps
// drawing in its window once a picture has been made with it.
class KXCanvasRendererLoan
{
public:
    KXCanvasRendererLoan(KXCanvas* canvas, KXRenderer* renderer);
    ~KXCanvasRendererLoan();
    KXCanvasRendererLoan(const KXCanvasRendererLoan&) = delete;
    KXCanvasRendererLoan& operator=(const KXCanvasRendererLoan&) = delete;

private:
    KXCanvas* m_canvas;
    KXRenderer* m_previous;
};
