#include "sceneapi/KXImage3D.h"

namespace {

bool isFace(int face)
{
    return face >= 0 && face < KXImage3D::NUM_CUBEMAP_FACES;
}

} // namespace

KXImage3D::KXImage3D(const KXImage3D& other)
    : KXImage(other), m_image3DType(other.m_image3DType), m_data(other.m_data), m_fileType(other.m_fileType)
{
    for (int i = 0; i < NUM_CUBEMAP_FACES; ++i)
        m_faces[i] = other.m_faces[i];
}

int KXImage3D::setData(const void* data, size_t size, KXIMAGE3DTYPE type, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    if (!data && size > 0)
        return -3;
    if (type != KXIMAGE3D_CUBEMAP && type != KXIMAGE3D_VOLUME)
        return -1;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    if (size > 0)
        m_data.assign(bytes, bytes + size);
    else
        std::vector<unsigned char>().swap(m_data);
    m_fileType = fileType;
    m_image3DType = type;
    dataChanged();
    return 0;
}

const unsigned char* KXImage3D::getComponentData(int face) const
{
    if (!isFace(face) || m_faces[face].data.empty())
        return nullptr;
    return m_faces[face].data.data();
}

size_t KXImage3D::getComponentSize(int face) const
{
    return isFace(face) ? m_faces[face].data.size() : 0;
}

KXImage2D::KXIMAGE2DFILETYPE KXImage3D::getComponentType(int face) const
{
    return isFace(face) ? m_faces[face].fileType : KXImage2D::KXIMAGE2D_UNKNOWN;
}

int KXImage3D::setComponentData(int face, const void* data, size_t size, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    if (!data && size > 0)
        return -3;
    if (!isFace(face))
        return -1;
    Face& f = m_faces[face];
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    if (size > 0)
        f.data.assign(bytes, bytes + size);
    else
        std::vector<unsigned char>().swap(f.data);
    f.fileType = fileType;
    m_image3DType = KXIMAGE3D_CUBEFACES;
    dataChanged();
    return 0;
}
