// The glTF parser the loader is built on, compiled into the scene library
// from Debian's single-header tinygltf. Images are never decoded here (the
// loader keeps their encoded bytes), so the build leaves stb_image out with
// TINYGLTF_NO_STB_IMAGE and TINYGLTF_NO_STB_IMAGE_WRITE.
#define TINYGLTF_IMPLEMENTATION
#include <tiny_gltf.h>
