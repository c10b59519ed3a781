#include "sceneapi/KXTextureAttributes.h"

namespace {

bool isArgument(int i)
{
    return i >= 0 && i < KXTextureAttributes::NUM_TEXTURE_ARGUMENTS;
}

} // namespace

void KXTextureAttributes::copy(const KXTextureAttributes& other)
{
    if (&other == this)
        return;
    bool different = m_textureMatrix != other.m_textureMatrix || m_operation != other.m_operation ||
                     m_index != other.m_index;
    for (int i = 0; i < NUM_TEXTURE_ARGUMENTS; ++i)
        different = different || m_arguments[i] != other.m_arguments[i];
    if (!different)
        return;
    m_textureMatrix = other.m_textureMatrix;
    m_operation = other.m_operation;
    m_index = other.m_index;
    for (int i = 0; i < NUM_TEXTURE_ARGUMENTS; ++i)
        m_arguments[i] = other.m_arguments[i];
    changed();
}

void KXTextureAttributes::setTextureMatrix(const KXMatrix2D& matrix)
{
    if (matrix == m_textureMatrix)
        return;
    m_textureMatrix = matrix;
    changed();
}

void KXTextureAttributes::setTextureOperation(KXTEXTUREOPERATION operation)
{
    if (operation == m_operation)
        return;
    m_operation = operation;
    changed();
}

void KXTextureAttributes::setTextureIndex(KXTEXTUREINDEX index)
{
    if (index == m_index)
        return;
    m_index = index;
    changed();
}

KXTextureAttributes::KXTEXTUREAGRVAL KXTextureAttributes::getTextureArgument(int i) const
{
    return isArgument(i) ? m_arguments[i] : KXTEXTUREARG_CONSTANT;
}

void KXTextureAttributes::setTextureArgument(int i, KXTEXTUREAGRVAL value)
{
    if (!isArgument(i) || m_arguments[i] == value)
        return;
    m_arguments[i] = value;
    changed();
}
