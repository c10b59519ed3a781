#pragma once

#include "sceneapi/KXSceneExport.h"

class KXVector;

// A point in space: three floats.
class KXSCENE_API KXPosition
{
public:
    KXPosition() = default;
    KXPosition(float x, float y, float z) : m_x(x), m_y(y), m_z(z) {}
    explicit KXPosition(const KXVector& v);

    float getX() const { return m_x; }
    float getY() const { return m_y; }
    float getZ() const { return m_z; }
    void setX(float x) { m_x = x; }
    void setY(float y) { m_y = y; }
    void setZ(float z) { m_z = z; }
    void set(float x, float y, float z) { m_x = x; m_y = y; m_z = z; }
    float operator[](int i) const { return i == 0 ? m_x : (i == 1 ? m_y : m_z); }

    float distance(const KXPosition& p) const;

    KXPosition operator+(const KXVector& v) const;
    KXPosition operator-(const KXVector& v) const;
    KXVector operator-(const KXPosition& p) const;
    KXPosition& operator+=(const KXVector& v);
    KXPosition& operator-=(const KXVector& v);
    bool operator==(const KXPosition& p) const { return m_x == p.m_x && m_y == p.m_y && m_z == p.m_z; }
    bool operator!=(const KXPosition& p) const { return !(*this == p); }

private:
    float m_x = 0.0f;
    float m_y = 0.0f;
    float m_z = 0.0f;
};

// A direction or displacement: three floats behind a virtual table, so that
// KXUnitVector can keep itself normalised through the same operations.
class KXSCENE_API KXVector
{
public:
    KXVector() = default;
    KXVector(float x, float y, float z) : m_x(x), m_y(y), m_z(z) {}
    explicit KXVector(const KXPosition& p) : m_x(p.getX()), m_y(p.getY()), m_z(p.getZ()) {}
    KXVector(const KXVector&) = default;
    KXVector& operator=(const KXVector&) = default;
    virtual ~KXVector() = default;

    // Divides by the length when the length is at least 1e-7; a shorter
    // vector is left unchanged.
    virtual void normalize();
    virtual void setX(float x) { m_x = x; }
    virtual void setY(float y) { m_y = y; }
    virtual void setZ(float z) { m_z = z; }
    virtual float length() const;
    virtual KXVector& operator+=(const KXVector& v);
    virtual KXVector& operator-=(const KXVector& v);
    virtual KXVector& operator*=(float s);
    // Division by zero leaves the vector unchanged.
    virtual KXVector& operator/=(float s);
    virtual KXVector operator+(const KXVector& v) const;
    virtual KXVector toVector() const { return KXVector(m_x, m_y, m_z); }
    virtual KXVector operator-(const KXVector& v) const;
    virtual KXVector operator-() const;
    virtual KXVector operator*(float s) const;
    virtual KXVector operator/(float s) const;

    float getX() const { return m_x; }
    float getY() const { return m_y; }
    float getZ() const { return m_z; }
    void set(float x, float y, float z);
    float operator[](int i) const { return i == 0 ? m_x : (i == 1 ? m_y : m_z); }

    float dot(const KXVector& v) const { return m_x * v.m_x + m_y * v.m_y + m_z * v.m_z; }
    KXVector cross(const KXVector& v) const;
    bool operator==(const KXVector& v) const { return m_x == v.m_x && m_y == v.m_y && m_z == v.m_z; }
    bool operator!=(const KXVector& v) const { return !(*this == v); }

protected:
    float m_x = 0.0f;
    float m_y = 0.0f;
    float m_z = 0.0f;
};

// A vector that normalises itself after every setter and compound operation.
// Its arithmetic operators return normalised KXVectors. A vector too short to
// normalise keeps its value, as KXVector::normalize does.
class KXSCENE_API KXUnitVector : public KXVector
{
public:
    KXUnitVector() : KXVector(0.0f, 0.0f, 1.0f) {}
    KXUnitVector(float x, float y, float z) : KXVector(x, y, z) { KXVector::normalize(); }
    KXUnitVector(const KXVector& v) : KXVector(v.getX(), v.getY(), v.getZ()) { KXVector::normalize(); }
    KXUnitVector(const KXUnitVector&) = default;
    KXUnitVector& operator=(const KXUnitVector&) = default;
    KXUnitVector& operator=(const KXVector& v);

    void normalize() override { KXVector::normalize(); }
    void setX(float x) override;
    void setY(float y) override;
    void setZ(float z) override;
    float length() const override { return KXVector::length(); }
    KXVector& operator+=(const KXVector& v) override;
    KXVector& operator-=(const KXVector& v) override;
    KXVector& operator*=(float s) override;
    KXVector& operator/=(float s) override;
    KXVector operator+(const KXVector& v) const override;
    KXVector toVector() const override { return KXVector(m_x, m_y, m_z); }
    KXVector operator-(const KXVector& v) const override;
    KXVector operator-() const override;
    KXVector operator*(float s) const override;
    KXVector operator/(float s) const override;
};

inline KXVector operator*(float s, const KXVector& v) { return v * s; }
