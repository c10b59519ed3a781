#pragma once

#include "sceneapi/KXMeshPrimitive.h"
#include "sceneapi/KXSceneExport.h"

// A truncated cone (a cylinder when both radii are equal, a pointed cone when
// one is 0): light markers, arrows, spot-light reach.
//
// The axis starts at position and runs along direction for length; the
// radius is radiusAtPosition at the start and radiusAtEnd at the end. The
// side is cut into slices around the axis and stacks bands along it; each
// end may be closed by a flat cap, facing away from the cone. An end of
// radius 0 is a point (one vertex per slice, with the normal of its slice)
// and gets no cap. s runs around the axis, t from 0 at the end to 1 at the
// position. The default cone stands on the plane z = -0.5: base radius 0.5
// at (0, 0, -0.5), apex at (0, 0, 0.5), 32 slices, one stack, base capped.
//
// Triangles: slices x (2 x stacks - [radiusAtPosition is 0] - [radiusAtEnd is
// 0]) on the side (none when both are 0), plus slices per cap.
class KXSCENE_API KXCone : public KXMeshPrimitive
{
public:
    KXCone();
    explicit KXCone(KXScene* scene);

    // position: centre of the start of the axis.
    // direction: the axis's direction (normalised here; +z when too short).
    // radiusAtPosition, radiusAtEnd: radii at the start and at the end (signs
    //   ignored).
    // length: distance from the start to the end, position + direction x
    //   length; a negative length runs the axis backwards from position.
    // angleStep: the angle in radians between slices; the number of slices is
    //   2 pi / angleStep rounded to the nearest whole number and clamped to
    //   3..1024, and the step actually used is 2 pi / slices, so that the rim
    //   closes (pi / 16 gives 32 slices). A step that is not a positive number
    //   gives 32 slices.
    // stacks: bands along the side, clamped to 1..1024.
    // capAtPosition, capAtEnd: close that end with a flat disc.
    void setParameters(const KXPosition& position, const KXVector& direction, float radiusAtPosition,
                       float radiusAtEnd, float length, float angleStep, int stacks, bool capAtPosition,
                       bool capAtEnd);

    const KXPosition& getPosition() const { return m_position; }
    const KXVector& getDirection() const { return m_direction; }
    float getRadiusAtPosition() const { return m_radiusAtPosition; }
    float getRadiusAtEnd() const { return m_radiusAtEnd; }
    float getLength() const { return m_length; }
    float getAngleStep() const { return m_angleStep; }
    int getStacks() const { return m_stacks; }
    bool getCapAtPosition() const { return m_capAtPosition; }
    bool getCapAtEnd() const { return m_capAtEnd; }
    // The number of slices the angle step gives.
    int getSlices() const;

protected:
    void generate(KXPrimitiveBuilder& builder) const override;

private:
    KXPosition m_position{0.0f, 0.0f, -0.5f};
    KXVector m_direction{0.0f, 0.0f, 1.0f};
    float m_radiusAtPosition = 0.5f;
    float m_radiusAtEnd = 0.0f;
    float m_length = 1.0f;
    float m_angleStep = 0.19634954f;
    int m_stacks = 1;
    bool m_capAtPosition = true;
    bool m_capAtEnd = false;
};
