#include "canvas/KXPlanarShadowPainter.h"

KXPlanarShadowPainter::~KXPlanarShadowPainter() = default;

void KXPlanarShadowPainter::paint(const KXScene*)
{
}
