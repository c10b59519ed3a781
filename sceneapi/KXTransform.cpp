#include "sceneapi/KXTransform.h"

#include "sceneapi/KXNode.h"

#include <cmath>

void KXTransform::rebuild()
{
    const KXVector p(m_pivot);
    m_matrix = KXMatrix::translation(-p) * KXMatrix::scaling(m_scale.getX(), m_scale.getY(), m_scale.getZ()) *
               m_rotation * KXMatrix::translation(p) * KXMatrix::translation(m_translation);
    if (m_owner)
        m_owner->transformChanged();
}

void KXTransform::setTransformationMatrix(const KXMatrix& m)
{
    const bool affine = m.get(0, 3) == 0.0f && m.get(1, 3) == 0.0f && m.get(2, 3) == 0.0f && m.get(3, 3) == 1.0f;
    KXVector scale, translation;
    KXMatrix rotation;
    if (affine && m.decompose(scale, rotation, translation)) {
        // Keep the components only when they rebuild the same matrix: a shear
        // cannot be expressed as scale and rotation.
        const KXMatrix rebuilt =
            KXMatrix::scaling(scale.getX(), scale.getY(), scale.getZ()) * rotation * KXMatrix::translation(translation);
        bool same = true;
        for (int i = 0; i < 16 && same; ++i)
            same = std::fabs(rebuilt[i] - m[i]) <= 1e-5f * (1.0f + std::fabs(m[i]));
        if (same) {
            m_scale = scale;
            m_rotation = rotation;
            m_translation = translation;
            m_pivot = KXPosition();
        }
    }
    m_matrix = m;
    if (m_owner)
        m_owner->transformChanged();
}

void KXTransform::setTranslation(const KXVector& t)
{
    m_translation = t;
    rebuild();
}

void KXTransform::setScale(const KXVector& s)
{
    m_scale = s;
    rebuild();
}

void KXTransform::setRotation(const KXMatrix& rotation)
{
    m_rotation = rotation;
    m_rotation.setTranslation(KXVector());
    rebuild();
}

void KXTransform::setRotation(const KXVector& axis, float angle)
{
    m_rotation = KXMatrix::rotationAxis(axis, angle);
    rebuild();
}

void KXTransform::setPivot(const KXPosition& pivot)
{
    m_pivot = pivot;
    rebuild();
}

void KXTransform::setIdentity()
{
    m_translation = KXVector();
    m_scale = KXVector(1.0f, 1.0f, 1.0f);
    m_rotation.setIdentity();
    m_pivot = KXPosition();
    rebuild();
}
