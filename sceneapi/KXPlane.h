#pragma once

#include "sceneapi/KXSceneExport.h"
#include "sceneapi/KXVector.h"

// The plane a*x + b*y + c*z + d = 0. The normal (a, b, c) points to the
// positive side.
class KXSCENE_API KXPlane
{
public:
    KXPlane() = default;
    KXPlane(float a, float b, float c, float d) : m_a(a), m_b(b), m_c(c), m_d(d) {}
    // The plane through a point with the given normal (normalised here).
    KXPlane(const KXVector& normal, const KXPosition& point);

    float getA() const { return m_a; }
    float getB() const { return m_b; }
    float getC() const { return m_c; }
    float getD() const { return m_d; }
    void set(float a, float b, float c, float d) { m_a = a; m_b = b; m_c = c; m_d = d; }
    void get(float* abcd) const;
    KXVector getNormal() const { return KXVector(m_a, m_b, m_c); }

    // Signed value of the plane equation at p: the distance when the normal
    // has unit length.
    float distance(const KXPosition& p) const { return m_a * p.getX() + m_b * p.getY() + m_c * p.getZ() + m_d; }
    // Scales the equation so that the normal has unit length (unchanged when
    // the normal is shorter than 1e-7).
    void normalize();
    bool operator==(const KXPlane& p) const { return m_a == p.m_a && m_b == p.m_b && m_c == p.m_c && m_d == p.m_d; }

private:
    // The default is the ground plane z = 0 with its normal up.
    float m_a = 0.0f;
    float m_b = 0.0f;
    float m_c = 1.0f;
    float m_d = 0.0f;
};
