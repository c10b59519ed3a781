#pragma once

#include "sceneapi/KXSceneExport.h"

class KXScene;

// Builds a scene that shows what the library can draw: a ground plane at
// z = 0, a sphere, a box, a cone, a torus and a cylinder, a half-transparent
// object (diffuse alpha 0.5), a checker-textured object (the texture made in
// memory and stored as a PNG image), directional, point and spot lights, a
// gradient background and a perspective camera that sees it all.
class KXSCENE_API KXShowcaseScene
{
public:
    // Replaces the scene's root with the showcase. The camera's viewport is
    // width x height pixels. Returns 0, or -1 when the checker image could not
    // be made (the scene is then built without the texture).
    static int build(KXScene& scene, unsigned width = 1024, unsigned height = 768);
};
