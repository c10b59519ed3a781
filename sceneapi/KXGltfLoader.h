#pragma once

#include "sceneapi/KXSceneExport.h"

#include <cstddef>
#include <string>

class KXScene;

// Settings of a glTF load.
struct KXGltfLoadOptions {
    // Viewport given to the cameras of the file and to the camera fitted to a
    // file without one: the size of the images that will be made of the scene.
    unsigned viewportWidth = 1024;
    unsigned viewportHeight = 768;
    // Largest glTF, GLB, buffer or image file read, in bytes.
    size_t maxFileSize = size_t(1) << 30;
};

// Reads glTF 2.0 scenes (.gltf text with embedded or external buffers, and
// binary .glb) into a KXScene.
//
// The default scene of the file (else its first, else every node that is
// nobody's child) becomes the scene's tree:
// - every glTF node a KXGroup with the node's transform, under one group
//   that turns glTF's y-up space into our z-up space (+90 degrees about x);
// - every mesh primitive a KXShape of the node's group: triangle lists,
//   strips and fans as KXTriMesh (positions, normals, the texture
//   coordinates the base colour texture reads, COLOR_0 as vertex colours),
//   lines, line strips and line loops as KXPolyline; points are skipped.
//   Primitives without normals get flat ones. Under a mirroring transform
//   the triangles are turned around so that their front faces stay in front;
// - materials as appearances: base colour to diffuse (and ambient), its
//   texture as a KXTexture2D over the encoded image bytes, emissive colour,
//   metallic and roughness to a specular colour and shininess, blended
//   materials' alpha to diffuse alpha, double-sided materials to two-sided
//   meshes. Textures that cannot be mapped (metallic-roughness, emissive)
//   are reduced to their mean colour;
// - cameras as KXPerspectiveCamera or KXOrthoCamera on their nodes, the
//   first one met also as the root camera;
// - KHR_lights_punctual lights in the root's light model (fixed, in scene
//   space, casting shadows) with a dim ambient light.
// A file without a camera gets a perspective camera fitted to the scene's
// bounds, a file without lights a default light model.
//
// Results: 0 success; -1 a file that cannot be read or is not valid glTF
// (the reason goes to *error); -3 a null path or data. On failure the scene
// is left as it was. Nothing is thrown.
class KXSCENE_API KXGltfLoader
{
public:
    // Loads a .gltf or .glb file (told apart by the GLB signature, not by the
    // extension). External buffers and images are read from the file's
    // directory.
    static int load(const wchar_t* path, KXScene& scene, std::string* error = nullptr,
                    const KXGltfLoadOptions& options = KXGltfLoadOptions());

    // Loads glTF text or GLB bytes held in memory. Only embedded data is
    // used: buffers or images in external files count as missing.
    static int loadFromMemory(const void* data, size_t size, KXScene& scene, std::string* error = nullptr,
                              const KXGltfLoadOptions& options = KXGltfLoadOptions());
};
