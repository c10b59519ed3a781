#pragma once

#include "sceneapi/KXBounds.h"
#include "sceneapi/KXSceneExport.h"
#include "sceneapi/KXVector.h"

class KXCamera;

// Fits a camera to a box, for views computed rather than chosen by a user (a
// light's view of the scene for shadows, a view of everything).
//
// The bounds are in scene coordinates; the camera's world matrix is applied
// to them first, as it is to everything the camera draws. The usual sequence
// is initialize, updateViewport, updateFarPlane, updateNearPlane; then every
// corner of the bounds lies inside the clip volume, with depth between 0 and 1.
// Every operation does nothing for a null camera; an empty box is taken as
// the point at the origin.
class KXSCENE_API KXCameraUtils
{
public:
    // Aims the camera along direction at the centre of the bounds, from a
    // point outside the bounds' bounding sphere, with the given up vector
    // (another is chosen when it runs along the direction). A perspective
    // camera is placed just far enough away for the sphere to fit its field
    // of view at its current aspect ratio; near and far planes are set around
    // the sphere. A direction too short to be one is taken as (0, 0, -1).
    static void initialize(KXCamera* camera, const KXBounds& bounds, const KXUnitVector& direction,
                           const KXUnitVector& up);

    // Sets the viewport to width × height pixels. An orthographic camera also
    // gets the viewport scale at which the bounds, seen from the camera, just
    // fill the view in its tighter direction. A perspective camera keeps its
    // field of view and place: a viewport narrower than the one it was
    // initialised with can cut the sides of the bounds.
    static void updateViewport(KXCamera* camera, unsigned width, unsigned height, const KXBounds& bounds);

    // Near plane at the front of the bounds' bounding sphere along the view
    // direction, margin scene units closer to the eye. It stays positive: when
    // the eye is inside (or almost at) the sphere the near plane is a
    // thousandth of the far plane, so call updateFarPlane first.
    static void updateNearPlane(KXCamera* camera, const KXBounds& bounds, float margin = 0.0f);

    // Far plane at the back of the bounds' bounding sphere along the view
    // direction (positive even when the bounds lie behind the eye).
    static void updateFarPlane(KXCamera* camera, const KXBounds& bounds);
};
