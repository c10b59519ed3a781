#pragma once

#include "sceneapi/KXMatrix.h"
#include "sceneapi/KXVector.h"

#include <cmath>

// Plain three-float vectors and row-vector matrix helpers for the hot paths
// of the tracer. KXVector carries a virtual table and KXUnitVector
// normalises after every operation; neither belongs in a per-ray loop.
struct RTVec3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;

    RTVec3() = default;
    RTVec3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
    explicit RTVec3(const KXPosition& p) : x(p.getX()), y(p.getY()), z(p.getZ()) {}
    explicit RTVec3(const KXVector& v) : x(v.getX()), y(v.getY()), z(v.getZ()) {}

    float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
    float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
    RTVec3 operator+(const RTVec3& v) const { return RTVec3(x + v.x, y + v.y, z + v.z); }
    RTVec3 operator-(const RTVec3& v) const { return RTVec3(x - v.x, y - v.y, z - v.z); }
    RTVec3 operator-() const { return RTVec3(-x, -y, -z); }
    RTVec3 operator*(float s) const { return RTVec3(x * s, y * s, z * s); }
    KXPosition toPosition() const { return KXPosition(x, y, z); }
};

inline float rtDot(const RTVec3& a, const RTVec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline RTVec3 rtCross(const RTVec3& a, const RTVec3& b)
{
    return RTVec3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}
inline float rtLength(const RTVec3& v) { return std::sqrt(rtDot(v, v)); }
// Divides by the length when it is at least 1e-7, as KXVector::normalize
// does; a shorter vector stays as it is.
inline RTVec3 rtNormalize(const RTVec3& v)
{
    const float length = rtLength(v);
    return length >= 1e-7f ? RTVec3(v.x / length, v.y / length, v.z / length) : v;
}

// [x y z 1] * M divided by w; the origin when |w| < 1e-8.
inline RTVec3 rtTransformPoint(const float* m, const RTVec3& p)
{
    const float w = p.x * m[3] + p.y * m[7] + p.z * m[11] + m[15];
    if (std::fabs(w) < 1e-8f)
        return RTVec3();
    return RTVec3((p.x * m[0] + p.y * m[4] + p.z * m[8] + m[12]) / w,
                  (p.x * m[1] + p.y * m[5] + p.z * m[9] + m[13]) / w,
                  (p.x * m[2] + p.y * m[6] + p.z * m[10] + m[14]) / w);
}

// [x y z] times the upper 3x3.
inline RTVec3 rtTransformDirection(const float* m, const RTVec3& v)
{
    return RTVec3(v.x * m[0] + v.y * m[4] + v.z * m[8], v.x * m[1] + v.y * m[5] + v.z * m[9],
                  v.x * m[2] + v.y * m[6] + v.z * m[10]);
}

// Inverts a 4x4 matrix by cofactors in double precision. Returns false, and
// leaves dst alone, when the matrix is singular: when its determinant is
// below 1e-9 relative to the product of its row lengths (the largest value
// the determinant of a matrix with those rows can have). The relative test
// keeps finely scaled models (a node scaled by 0.001 has a determinant of
// 1e-9) invertible while flattened ones stay singular.
bool rtInvert(const KXMatrix& m, KXMatrix& dst);

// Cube root of |det|: the linear scale of a transform.
float rtScaleOf(const KXMatrix& m);

// True when every element differs from the identity's by less than 1e-7.
bool rtIsIdentity(const KXMatrix& m);
