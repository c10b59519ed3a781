#pragma once

#include "sceneapi/KXGeometry2D.h"
#include "sceneapi/KXMatrix.h"
#include "sceneapi/KXObject.h"
#include "sceneapi/KXSceneExport.h"
#include "sceneapi/KXVector.h"

// Base of the cameras: where the eye is, what it looks at, and how the view
// is projected.
//
// Matrices are row-vector matrices in Direct3D layout: a point p of the scene
// reaches clip space as [x y z 1] × world × view × projection.
// - The world matrix is a transform applied to everything drawn with the
//   camera, under the whole scene; the identity by default.
// - The view matrix is a right-handed look-at matrix: the eye is the origin
//   of view space, the camera looks down view-space -z, and the up vector
//   shows as +y.
// - The projection maps the near plane to depth 0 and the far plane to
//   depth 1, and the view to the clip square -1..1 in x and y. Near and far
//   are distances from the eye along the view direction.
//
// All matrices are computed when a setter changes what they depend on, never
// when they are read: the getters are plain reads and safe to call from many
// threads at once while nobody changes the camera.
//
// The projection is built from the viewport's aspect ratio (width / height),
// the near and far planes and what the kind of camera adds (field of view,
// or the viewport scale of an orthographic camera). setProjectionMatrix puts
// a matrix of the caller's in its place, for tiled rendering that narrows the
// view and puts it back afterwards; that matrix stays in force until a
// parameter of the projection changes value (then the projection is built
// again from the parameters) or resetProjectionMatrix is called. Setting a
// parameter to the value it already has changes nothing and keeps a hand-set
// projection.
//
// Defaults: eye (0, -5, 0) looking at the origin with up (0, 0, 1), that is
// along +y with +z up; viewport 100 × 100; viewport scale 1; near plane 0.1,
// far plane 100.
class KXSCENE_API KXCamera : public KXObject
{
public:
    enum KXCAMERATYPE {
        KXCAMERATYPE_ORTHOGRAPHIC = 0, // KXOrthoCamera
        KXCAMERATYPE_PERSPECTIVE = 1,  // KXPerspectiveCamera
    };

    virtual KXCAMERATYPE getCameraType() const = 0;

    const KXPosition& getEyePosition() const { return m_eye; }
    const KXPosition& getTargetPosition() const { return m_target; }
    // The up vector as given to setPosition, normalised; it need not be
    // perpendicular to the view direction.
    const KXUnitVector& getUpVector() const { return m_up; }
    // Places the camera. A call with a non-finite coordinate is ignored; an up
    // vector too short to give a direction keeps the previous one. When the
    // eye and target coincide the camera keeps looking the way it looked, and
    // when the up vector runs along the view direction the view matrix uses
    // +z (or +y when looking along z) as up instead, so that the view matrix
    // is always a proper rotation.
    void setPosition(const KXPosition& eye, const KXPosition& target, const KXVector& up);
    // The unit direction the camera looks in, as the view matrix has it.
    KXUnitVector getViewDirection() const;

    const KXMatrix& getWorldMatrix() const { return m_world; }
    void setWorldMatrix(const KXMatrix& world);

    const KXMatrix& getViewMatrix() const { return m_view; }

    const KXMatrix& getProjectionMatrix() const { return m_projection; }
    // Puts a matrix of the caller's in place of the projection (see above).
    void setProjectionMatrix(const KXMatrix& projection);
    // True while a projection set with setProjectionMatrix is in force.
    bool isProjectionMatrixSet() const { return m_projectionSet; }
    // Builds the projection from the parameters again.
    void resetProjectionMatrix();

    // Size of the view in pixels; only its aspect ratio affects the matrices.
    const KXDimension2D& getViewport() const { return m_viewport; }
    // Negative or NaN sizes are ignored. A zero size is kept, and the aspect
    // ratio is then taken as 1.
    void setViewport(const KXDimension2D& viewport);
    void setViewportWidth(float width);
    void setViewportHeight(float height);
    // Width / height of the viewport; 1 when either is zero.
    float getAspectRatio() const;

    // The zoom of an orthographic camera: the height of its view in scene
    // units (the width follows from the aspect ratio). Perspective cameras
    // keep the value without using it. When type is not null the camera
    // type is written to it.
    float getViewportScale(int* type = nullptr) const;
    // A scale that is not positive and finite is ignored. The type argument
    // is not used.
    void setViewportScale(float scale, int* type = nullptr);

    // The planes are kept as set (non-finite values are ignored), so that
    // they can be set in any order. The projection uses them as they are as
    // long as they make sense; otherwise it moves the far plane just beyond
    // the near plane, and a perspective camera uses a near plane of
    // 1e-4 × far (or 1e-4) when its near plane is not positive.
    float getNearPlane() const { return m_near; }
    void setNearPlane(float distance);
    float getFarPlane() const { return m_far; }
    void setFarPlane(float distance);

protected:
    KXCamera();
    explicit KXCamera(KXScene* scene);
    KXCamera(const KXCamera&) = default;

    // The projection for the current parameters.
    virtual KXMatrix computeProjectionMatrix() const = 0;
    // Near and far planes the projection can use: far beyond near, and near
    // positive when positiveNear is set.
    void getUsablePlanes(bool positiveNear, float& zNear, float& zFar) const;
    // Rebuilds the projection from the parameters, dropping a hand-set one.
    // Derived constructors call it once their parameters are in place.
    void updateProjectionMatrix();
    // For derived setters: rebuilds the projection and tells observers.
    void projectionParameterChanged();

private:
    KXPosition m_eye{0.0f, -5.0f, 0.0f};
    KXPosition m_target{0.0f, 0.0f, 0.0f};
    KXUnitVector m_up{0.0f, 0.0f, 1.0f};
    KXMatrix m_world;
    KXMatrix m_view;
    KXMatrix m_projection;
    bool m_projectionSet = false;
    KXDimension2D m_viewport{100.0f, 100.0f};
    float m_viewportScale = 1.0f;
    float m_near = 0.1f;
    float m_far = 100.0f;
};

// A camera with a perspective projection. Its field of view is the full
// vertical angle in radians, 0.7853975 (an eighth of a turn) by default.
class KXSCENE_API KXPerspectiveCamera : public KXCamera
{
public:
    static constexpr float DEFAULT_FOV = 0.7853975f;

    KXPerspectiveCamera();
    explicit KXPerspectiveCamera(KXScene* scene);
    KXPerspectiveCamera(const KXPerspectiveCamera&) = default;

    KXCAMERATYPE getCameraType() const override { return KXCAMERATYPE_PERSPECTIVE; }

    float getFOV() const { return m_fov; }
    // Angles outside the open range 0..pi are ignored.
    void setFOV(float fov);

protected:
    KXMatrix computeProjectionMatrix() const override;

private:
    float m_fov = DEFAULT_FOV;
};

// A camera with an orthographic (parallel) projection. Its view is a box
// getViewportScale high and getViewportScale × aspect ratio wide, centred on
// the view direction.
class KXSCENE_API KXOrthoCamera : public KXCamera
{
public:
    KXOrthoCamera();
    explicit KXOrthoCamera(KXScene* scene);
    KXOrthoCamera(const KXOrthoCamera&) = default;

    KXCAMERATYPE getCameraType() const override { return KXCAMERATYPE_ORTHOGRAPHIC; }

protected:
    KXMatrix computeProjectionMatrix() const override;
};
