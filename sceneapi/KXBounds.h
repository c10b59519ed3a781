#pragma once

#include "sceneapi/KXMatrix.h"
#include "sceneapi/KXSceneExport.h"
#include "sceneapi/KXVector.h"

// An axis-aligned box given by its lower-left (minimum) and upper-right
// (maximum) corners. A default box is the single point at the origin; an
// empty box (see makeEmpty) takes the first point it is grown by as its
// extent.
class KXSCENE_API KXBounds
{
public:
    KXBounds() = default;
    KXBounds(const KXPosition& lowerLeft, const KXPosition& upperRight);

    const KXPosition& getLowerLeftPos() const { return m_lower; }
    const KXPosition& getUpperRightPos() const { return m_upper; }
    void set(const KXPosition& lowerLeft, const KXPosition& upperRight);

    KXPosition getCenter() const;
    // Half the length of the diagonal: the radius of the sphere around the
    // centre that holds the box. 0 for an empty box.
    float getRadius() const;
    // Extents along each axis; 0 for an empty box.
    float getXRange() const;
    float getYRange() const;
    float getZRange() const;

    void makeEmpty();
    bool isEmpty() const { return m_empty; }

    // Extends the box to hold a point or another box (an empty box adds nothing).
    void grow(const KXPosition& p);
    void grow(const KXBounds& b);
    // Replaces the box by the smallest one holding the given points; with no
    // points the box becomes empty.
    void compute(const KXPosition* points, int count);
    // Same for count points stored as x, y, z float triples.
    void compute(const float* xyz, int count);
    // Replaces the box by the axis-aligned box around its eight corners
    // transformed by m.
    void transform(const KXMatrix& m);

    bool contains(const KXPosition& p) const;
    bool operator==(const KXBounds& b) const;
    bool operator!=(const KXBounds& b) const { return !(*this == b); }

private:
    KXPosition m_lower;
    KXPosition m_upper;
    bool m_empty = false;
};
