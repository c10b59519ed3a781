#include "canvas/KXOverlayPainter.h"

KXOverlayPainter::~KXOverlayPainter() = default;

void KXOverlayPainter::paint(const KXScene*)
{
}
