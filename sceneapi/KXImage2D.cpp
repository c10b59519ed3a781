#include "sceneapi/KXImage2D.h"

#include <utility>

KXImage2D::KXImage2D(const void* data, size_t size, KXIMAGE2DFILETYPE fileType)
{
    if (data && size > 0) {
        const unsigned char* bytes = static_cast<const unsigned char*>(data);
        m_data.assign(bytes, bytes + size);
    }
    m_fileType = fileType;
}

KXImage2D::KXImage2D(const KXImage2D& other)
    : KXImage(other), m_data(other.m_data), m_fileType(other.m_fileType)
{
}

int KXImage2D::setData(const void* data, size_t size, KXIMAGE2DFILETYPE fileType)
{
    if (!data && size > 0)
        return -3;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    if (size > 0)
        m_data.assign(bytes, bytes + size);
    else
        std::vector<unsigned char>().swap(m_data);
    m_fileType = fileType;
    dataChanged();
    return 0;
}

void KXImage2D::setData(std::vector<unsigned char>&& bytes, KXIMAGE2DFILETYPE fileType)
{
    m_data = std::move(bytes);
    m_fileType = fileType;
    dataChanged();
}

void KXImage2D::clearData()
{
    std::vector<unsigned char>().swap(m_data);
    m_fileType = KXIMAGE2D_UNKNOWN;
    dataChanged();
}
