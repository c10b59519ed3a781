#pragma once

#include "sceneapi/KXMatrix.h"
#include "sceneapi/KXSceneExport.h"

class KXNode;

// The placement of a node in its parent: scale, then rotation, then
// translation, optionally about a pivot point. The matrix can also be set
// directly, in which case the components are read back from it.
class KXSCENE_API KXTransform
{
public:
    explicit KXTransform(KXNode* owner = nullptr) : m_owner(owner) {}
    KXTransform(const KXTransform&) = delete;
    KXTransform& operator=(const KXTransform&) = delete;

    // pivot⁻¹ · S · R · pivot · T for row vectors.
    const KXMatrix& getTransformationMatrix() const { return m_matrix; }
    // Sets the whole matrix. An affine matrix is split into scale, rotation
    // and translation (pivot reset to the origin); any other matrix is kept as
    // given and the components keep their last values.
    void setTransformationMatrix(const KXMatrix& m);

    const KXVector& getTranslation() const { return m_translation; }
    const KXVector& getScale() const { return m_scale; }
    const KXMatrix& getRotation() const { return m_rotation; }
    const KXPosition& getPivot() const { return m_pivot; }
    void setTranslation(const KXVector& t);
    void setScale(const KXVector& s);
    void setRotation(const KXMatrix& rotation);
    // Rotation about an axis, counter-clockwise in radians.
    void setRotation(const KXVector& axis, float angle);
    void setPivot(const KXPosition& pivot);
    void setIdentity();
    bool isIdentity() const { return m_matrix.isIdentity(); }

private:
    void rebuild();

    KXNode* m_owner;
    KXVector m_translation;
    KXVector m_scale{1.0f, 1.0f, 1.0f};
    KXMatrix m_rotation;
    KXPosition m_pivot;
    KXMatrix m_matrix;
};
