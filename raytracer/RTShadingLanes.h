#pragma once

#include "raytracer/RTShading.h"

// rtPrepareHit for several hits at once (any number; hits[k] null for a lane
// without a hit): the interpolation and the lit normal of four hits are
// computed together, each lane with exactly the arithmetic rtPrepareHit uses
// for it alone, so prepared[k], shadowRays[k] and the returned bits (lanes
// whose hit wants a shadow ray) are what rtPrepareHit gives lane by lane.
// The first pass prepares a row's nearest hits this way: one hit at a time,
// the square roots and divisions of each wait on one another.
unsigned rtPrepareHits(const RTShadingContext& shading, const RTHit* const* hits, int count, RTPreparedHit* prepared,
                       RTRay* shadowRays);
