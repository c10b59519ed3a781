#pragma once

#include "sceneapi/KXSceneExport.h"
#include "sceneapi/KXVector.h"

// A 4x4 matrix of sixteen floats in Direct3D layout (row major, _11 .. _44),
// used with row vectors: a point p becomes [x y z 1] * M, and M * N applies M
// first, then N. The floats can be handed to Direct3D unchanged.
class KXSCENE_API KXMatrix
{
public:
    // The identity.
    KXMatrix();
    explicit KXMatrix(const float* sixteen);
    KXMatrix(float m11, float m12, float m13, float m14,
             float m21, float m22, float m23, float m24,
             float m31, float m32, float m33, float m34,
             float m41, float m42, float m43, float m44);

    // Element of row r and column c, both 0..3.
    float get(int r, int c) const { return m_m[r * 4 + c]; }
    void set(int r, int c, float v) { m_m[r * 4 + c] = v; }
    const float* getData() const { return m_m; }
    float* getData() { return m_m; }
    void setData(const float* sixteen);
    float operator[](int i) const { return m_m[i]; }
    float& operator[](int i) { return m_m[i]; }

    void setIdentity();
    bool isIdentity() const;

    KXMatrix operator*(const KXMatrix& n) const;
    KXMatrix& operator*=(const KXMatrix& n);
    bool operator==(const KXMatrix& n) const;
    bool operator!=(const KXMatrix& n) const { return !(*this == n); }

    float determinant() const;
    // Writes the inverse into dst and returns true. When |determinant| < 1e-9
    // the matrix is taken as singular: dst is left unchanged and the result
    // is false.
    bool getInverse(KXMatrix& dst) const;
    // Inverts in place; a singular matrix stays as it is.
    bool invert();
    KXMatrix getTranspose() const;
    void transpose();

    // [x y z 1] * M divided by w; (0, 0, 0) when |w| < 1e-8.
    KXPosition transform(const KXPosition& p) const;
    // [x y z] times the upper 3x3: translation and projection play no part.
    KXVector transform(const KXVector& v) const;

    // Splits an affine matrix into scale, rotation and translation such that
    // M = S * R * T. The rotation is a pure rotation matrix (determinant +1);
    // a mirroring shows up as a negative x scale. Returns false when a scale
    // is zero, in which case rotation is the identity.
    bool decompose(KXVector& scale, KXMatrix& rotation, KXVector& translation) const;

    KXVector getTranslation() const { return KXVector(m_m[12], m_m[13], m_m[14]); }
    void setTranslation(const KXVector& t);

    static KXMatrix translation(float x, float y, float z);
    static KXMatrix translation(const KXVector& t) { return translation(t.getX(), t.getY(), t.getZ()); }
    static KXMatrix scaling(float x, float y, float z);
    // Rotations by an angle in radians, counter-clockwise when looking down the
    // axis toward the origin (right-handed).
    static KXMatrix rotationX(float angle);
    static KXMatrix rotationY(float angle);
    static KXMatrix rotationZ(float angle);
    static KXMatrix rotationAxis(const KXVector& axis, float angle);
    // Right-handed look-at view matrix: the camera looks down its -z axis.
    static KXMatrix lookAt(const KXPosition& eye, const KXPosition& target, const KXVector& up);
    // Right-handed projections with depth 0 at the near plane and 1 at the far
    // plane. fovY is the full vertical field of view in radians.
    static KXMatrix perspective(float fovY, float aspect, float zNear, float zFar);
    static KXMatrix orthographic(float width, float height, float zNear, float zFar);
    static KXMatrix orthographicOffCenter(float left, float right, float bottom, float top, float zNear, float zFar);
    static KXMatrix perspectiveOffCenter(float left, float right, float bottom, float top, float zNear, float zFar);

private:
    float m_m[16];
};
