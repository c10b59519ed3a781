#pragma once

// Checked access to the raw data of a parsed glTF model, shared by the parts
// of the glTF loader. Not part of the library's interface.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tinygltf {
class Model;
}

namespace kxgltf {

// Thrown inside the loader when the file cannot be used; the loader's entry
// points catch it and report its message.
struct Failure {
    std::string message;
};

[[noreturn]] void fail(const std::string& message);

// Most elements one accessor or one primitive may have: far beyond real
// models, low enough that a lying count cannot make us allocate gigabytes.
constexpr size_t kMaxElements = size_t(1) << 26;

// An accessor read as floats: count tuples of components values each.
// Normalised integers are mapped to 0..1 or -1..1, other integers converted
// as they are.
struct FloatData {
    std::vector<float> values;
    int components = 0;
    size_t count = 0;
};

// Reads accessor index. The element type must have a number of components
// in [minComponents, maxComponents] (VEC2 is 2, VEC3 3, ...). Fails for a
// missing accessor, data outside its buffer view or buffer, non-finite
// values, counts above kMaxElements and large counts without a buffer view.
FloatData readFloats(const tinygltf::Model& model, int index, int minComponents, int maxComponents);

// Reads a scalar accessor of unsigned integers (vertex indices).
std::vector<uint32_t> readIndices(const tinygltf::Model& model, int index);

// The bytes of a buffer view, checked against its buffer.
std::vector<unsigned char> readBufferView(const tinygltf::Model& model, int index);

// Checks glTF text before it is parsed: nesting no deeper than maxDepth, and
// no more JSON values than a real file has (the parsed form of each value
// costs far more memory than its text). Fails with a message otherwise.
void checkJsonText(const char* text, size_t size);

// Checks the chunk layout of a GLB file: signature, version 2, a JSON chunk
// first, and every chunk inside the declared and the actual length.
void checkGlbLayout(const unsigned char* bytes, size_t size);

} // namespace kxgltf
