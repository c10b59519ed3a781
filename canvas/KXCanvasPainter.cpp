#include "canvas/KXCanvasPainter.h"

#include "canvas/KXCanvasEvent.h"

KXCanvasPainter::~KXCanvasPainter() = default;
KXCanvasEvent::~KXCanvasEvent() = default;
