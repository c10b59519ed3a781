#pragma once

#include "sceneapi/KXGeometry2D.h"
#include "sceneapi/KXSceneExport.h"

// A 3x3 matrix for transforms of the plane (texture coordinates), row major,
// used with row vectors: [u v 1] * M, and M * N applies M first.
class KXSCENE_API KXMatrix2D
{
public:
    // The identity.
    KXMatrix2D();
    explicit KXMatrix2D(const float* nine);

    float get(int r, int c) const { return m_m[r * 3 + c]; }
    void set(int r, int c, float v) { m_m[r * 3 + c] = v; }
    const float* getData() const { return m_m; }
    void setData(const float* nine);
    void setIdentity();
    bool isIdentity() const;

    KXMatrix2D operator*(const KXMatrix2D& n) const;
    bool operator==(const KXMatrix2D& n) const;
    bool operator!=(const KXMatrix2D& n) const { return !(*this == n); }

    // [x y 1] * M, divided by the third component unless it is (near) zero.
    KXPosition2D transform(const KXPosition2D& p) const;
    // Same as above without the division: for affine matrices.
    void transform(float& u, float& v) const;

    static KXMatrix2D translation(float x, float y);
    static KXMatrix2D scaling(float x, float y);
    static KXMatrix2D rotation(float angle);

private:
    float m_m[9];
};
