// libFuzzer entry point for the glTF loader: any bytes, as glTF text or GLB,
// must load or fail with a message, and a loaded scene must hold only
// meshes whose indices stay inside their vertices.

#include "sceneapi/KXGltfLoader.h"
#include "sceneapi/sceneapi.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void checkNode(const KXNode* node)
{
    if (const auto* shape = dynamic_cast<const KXShape*>(node)) {
        if (const auto* mesh = dynamic_cast<const KXTriMesh*>(shape->getGeometry())) {
            const uint32_t vertices = static_cast<uint32_t>(mesh->getNumVertices());
            for (uint32_t index : mesh->getIndicesArray())
                if (index >= vertices)
                    std::abort();
        }
    }
    if (const auto* group = dynamic_cast<const KXGroup*>(node))
        for (int i = 0; i < group->getNumChildNodes(); ++i)
            checkNode(group->getChild(i));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    KXScene scene;
    std::string error;
    const int result = KXGltfLoader::loadFromMemory(data, size, scene, &error);
    if (result != 0 && error.empty())
        std::abort(); // a failure must say why
    if (result == 0) {
        scene.getRoot()->getBounds();
        checkNode(scene.getRoot());
    }
    return 0;
}
