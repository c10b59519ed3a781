#pragma once

// Small scenes and meshes for the ray tracer tests.

#include "sceneapi/sceneapi.h"

#include <cmath>
#include <random>
#include <vector>

namespace rttest {

// A square in the plane z = height, centre (cx, cy), side 2·half, counter-
// clockwise seen from +z, normals +z unless withNormals is false.
inline KXRef<KXTriMesh> makeQuad(float height, float half = 1.0f, bool withNormals = true, float cx = 0.0f,
                                 float cy = 0.0f)
{
    std::vector<KXPosition> v = {{cx - half, cy - half, height}, {cx + half, cy - half, height},
                                 {cx + half, cy + half, height}, {cx - half, cy + half, height}};
    std::vector<KXUnitVector> n;
    if (withNormals)
        n.assign(4, KXUnitVector(0.0f, 0.0f, 1.0f));
    auto mesh = KXMake<KXTriMesh>();
    mesh->set(KXTriMesh::KXTRIMESHTYPE_LIST, std::move(v), {0, 1, 2, 0, 2, 3}, std::move(n));
    return mesh;
}

inline KXRef<KXTriMesh> makeSphere(const KXPosition& centre, float radius, int slices = 64, int stacks = 32)
{
    auto sphere = KXMake<KXSphere>();
    sphere->setParameters(centre, radius, slices, stacks, false);
    return KXRef<KXTriMesh>(sphere.get());
}

inline KXRef<KXTriMesh> makeBox(const KXPosition& centre, float size)
{
    auto box = KXMake<KXBox>();
    box->setParameters(centre, size, size, size);
    return KXRef<KXTriMesh>(box.get());
}

// Random triangles in the cube [-1, 1]^3, a list with normals.
inline KXRef<KXTriMesh> makeTriangleSoup(int triangles, unsigned seed, float size = 0.3f)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::vector<KXPosition> v;
    std::vector<KXUnitVector> n;
    std::vector<uint32_t> idx;
    for (int t = 0; t < triangles; ++t) {
        const KXPosition c(unit(random), unit(random), unit(random));
        for (int k = 0; k < 3; ++k) {
            v.emplace_back(c.getX() + size * unit(random), c.getY() + size * unit(random), c.getZ() + size * unit(random));
            n.emplace_back(unit(random), unit(random), unit(random));
            idx.push_back(static_cast<uint32_t>(v.size() - 1));
        }
    }
    auto mesh = KXMake<KXTriMesh>();
    mesh->set(KXTriMesh::KXTRIMESHTYPE_LIST, std::move(v), std::move(idx), std::move(n));
    return mesh;
}

inline KXRef<KXAppearance> makeLook(const KXColor& diffuse, const KXColor& specular = KXColor(0, 0, 0, 1),
                                    float shininess = 128.0f, const KXColor& ambient = KXColor(0, 0, 0, 1),
                                    const KXColor& emissive = KXColor(0, 0, 0, 1))
{
    auto look = KXMake<KXAppearance>();
    look->createMaterial()->set(ambient, diffuse, specular, emissive, shininess);
    return look;
}

inline KXShape* addShape(KXGroup* parent, KXTriMesh* mesh, KXAppearance* look,
                         const KXMatrix& transform = KXMatrix())
{
    auto shape = KXMake<KXShape>();
    shape->setGeometry(mesh);
    shape->setAppearance(look);
    shape->getTransform()->setTransformationMatrix(transform);
    parent->addChild(shape.get());
    return shape.get();
}

// A scene with an empty root, a perspective camera at eye looking at target
// and a viewport of width x height.
inline KXRoot* makeScene(KXScene& scene, const KXPosition& eye = KXPosition(0, 0, 10),
                         const KXPosition& target = KXPosition(0, 0, 0), unsigned width = 64, unsigned height = 64)
{
    auto root = KXMake<KXRoot>(&scene);
    auto camera = KXMake<KXPerspectiveCamera>();
    const KXVector up = std::fabs(eye.getX() - target.getX()) + std::fabs(eye.getY() - target.getY()) < 1e-6f
                            ? KXVector(0, 1, 0)
                            : KXVector(0, 0, 1);
    camera->setPosition(eye, target, up);
    camera->setViewport(KXDimension2D(static_cast<float>(width), static_cast<float>(height)));
    camera->setNearPlane(0.1f);
    camera->setFarPlane(100.0f);
    root->setCamera(camera.get());
    scene.setRoot(root.get());
    return root.get();
}

inline void setBackgroundColor(KXRoot* root, const KXColor& color)
{
    auto background = KXMake<KXSingleColorBackground>();
    background->setColor(color);
    root->setBackground(background.get());
}

inline KXRawImage2D makeImage(unsigned width, unsigned height)
{
    KXRawImage2D image(width, height, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    image.createData();
    return image;
}

} // namespace rttest
