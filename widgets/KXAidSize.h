#pragma once

// Internal to the renderer library: how large the editor aids are drawn, so
// that they keep their size on screen when the camera zooms, in perspective
// and orthographic views alike.

class KXCamera;
class KXCanvas;
class KXMatrix;
class KXNode;
class KXPosition;

class KXAidSize
{
public:
    // The field of view the sizes are made for: an eighth turn.
    static constexpr float REFERENCE_FOV = 0.7853975f;

    // The distance from the eye at which a perspective camera with the
    // reference field of view would show the canvas's view around point as
    // large as the canvas's camera shows it. Perspective (the canvas's camera
    // type 1): the distance from the canvas's eye to point, times the
    // camera's field of view over the reference one. Orthographic: the
    // distance at which the reference view is as high as the orthographic
    // view box (the canvas's viewport scale), wherever point is. The aids'
    // sizes are proportional to it.
    static float viewDistance(const KXCanvas& canvas, const KXCamera* camera, const KXPosition& point);

    // Where the node stands in the scene: its world matrix, or, when the
    // canvas's story board animates it, its pivot's matrix placed by its
    // parent's world matrix. animated (may be null) tells which.
    static KXMatrix nodeWorldMatrix(const KXCanvas& canvas, const KXNode& node, bool* animated = nullptr);
};
