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

// rtShade(shading, *hits[k], rays[k], ..., 0, &prepared[k]) for the lanes of
// lanes that it can shade four at a time, with rtShade's arithmetic lane by
// lane: lit surfaces without a texture under directional and point lights,
// whose shadows are the prepared ones (no other light casts shadows the hit
// would need), without reflections. Writes colors[k] for those lanes and
// returns them; the caller shades the others with rtShade.
unsigned rtShadeHits(const RTShadingContext& shading, const RTHit* const* hits, const RTRay* rays,
                     const RTPreparedHit* prepared, unsigned lanes, KXColor* colors);
