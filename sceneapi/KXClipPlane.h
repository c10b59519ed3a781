#pragma once

#include "sceneapi/KXObject.h"
#include "sceneapi/KXPlane.h"

// A user clip plane: geometry on the negative side of the plane is cut away
// when the plane is in use.
class KXClipPlane : public KXObject
{
public:
    KXClipPlane() = default;
    explicit KXClipPlane(const KXPlane& plane) : m_plane(plane) {}

    const KXPlane& getPlane() const { return m_plane; }
    void setPlane(const KXPlane& plane)
    {
        m_plane = plane;
        changed();
    }

private:
    KXPlane m_plane;
};
