#include "d3d9/Pipeline.h"

namespace swd3d9 {

// Draws are validated and accepted; the drawing stages are not connected yet.
void drawPrimitives(Device&, const DrawDescription&) {}

} // namespace swd3d9
