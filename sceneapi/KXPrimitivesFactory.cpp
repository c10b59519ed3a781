#include "sceneapi/KXPrimitivesFactory.h"

#include "sceneapi/KXBox.h"
#include "sceneapi/KXCone.h"
#include "sceneapi/KXCylinder.h"
#include "sceneapi/KXDisc.h"
#include "sceneapi/KXSheet.h"
#include "sceneapi/KXSphere.h"
#include "sceneapi/KXTorus.h"
#include "sceneapi/KXWireSheet.h"

#include <algorithm>
#include <memory>

namespace {

std::unique_ptr<KXMeshPrimitive> makeMeshPrimitive(int type)
{
    switch (type) {
    case KXPrimitivesFactory::KXPRIMITIVETYPE_BOX:
        return std::make_unique<KXBox>();
    case KXPrimitivesFactory::KXPRIMITIVETYPE_SPHERE:
        return std::make_unique<KXSphere>();
    case KXPrimitivesFactory::KXPRIMITIVETYPE_CONE:
        return std::make_unique<KXCone>();
    case KXPrimitivesFactory::KXPRIMITIVETYPE_CYLINDER:
        return std::make_unique<KXCylinder>();
    case KXPrimitivesFactory::KXPRIMITIVETYPE_TORUS:
        return std::make_unique<KXTorus>();
    case KXPrimitivesFactory::KXPRIMITIVETYPE_GRID: {
        auto grid = std::make_unique<KXSheet>();
        grid->setSubdivisions(16, 16);
        return grid;
    }
    case KXPrimitivesFactory::KXPRIMITIVETYPE_DISC:
        return std::make_unique<KXDisc>();
    case KXPrimitivesFactory::KXPRIMITIVETYPE_SHEET:
        return std::make_unique<KXSheet>();
    default:
        return nullptr;
    }
}

} // namespace

KXPrimitivesFactory::~KXPrimitivesFactory()
{
    // Taken out of the list first: an observer told of a deletion may call
    // back into the factory.
    std::vector<KXGeometry*> primitives;
    primitives.swap(m_primitives);
    for (KXGeometry* primitive : primitives)
        primitive->unref();
}

KXGeometry* KXPrimitivesFactory::createGeometryPrimitive(int type, int attributes)
{
    std::unique_ptr<KXGeometry> primitive;
    if (type == KXPRIMITIVETYPE_WIRESHEET) {
        auto sheet = std::make_unique<KXWireSheet>();
        sheet->setAttributes(attributes);
        primitive = std::move(sheet);
    } else if (std::unique_ptr<KXMeshPrimitive> mesh = makeMeshPrimitive(type)) {
        mesh->setAttributes(attributes);
        primitive = std::move(mesh);
    }
    if (!primitive)
        return nullptr;
    // Listed before it is held, so that a full memory cannot strand it.
    m_primitives.push_back(primitive.get());
    primitive->ref();
    return primitive.release();
}

void KXPrimitivesFactory::destroyGeometryPrimitive(KXGeometry* primitive)
{
    const auto it = std::find(m_primitives.begin(), m_primitives.end(), primitive);
    if (primitive == nullptr || it == m_primitives.end())
        return;
    m_primitives.erase(it);
    primitive->unref();
}
