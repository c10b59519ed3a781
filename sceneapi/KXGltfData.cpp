#include "sceneapi/KXGltfData.h"

#include <tiny_gltf.h>

#include <cmath>
#include <cstring>

namespace kxgltf {

void fail(const std::string& message)
{
    throw Failure{message};
}

namespace {

// Accessor component types (the OpenGL enumerants glTF uses).
constexpr int kByte = 5120;
constexpr int kUnsignedByte = 5121;
constexpr int kShort = 5122;
constexpr int kUnsignedShort = 5123;
constexpr int kUnsignedInt = 5125;
constexpr int kFloat = 5126;

// glTF caps the stride of vertex data.
constexpr size_t kMaxByteStride = 252;

// Values an accessor without a buffer view (all zeros, or sparse) may have.
constexpr size_t kMaxUnbackedValues = size_t(1) << 24;

// Nesting and size limits of glTF text. Real files nest a dozen levels and
// hold a few values per node or accessor; tinygltf converts nested values
// recursively, and every parsed value costs a few hundred bytes.
constexpr int kMaxJsonDepth = 256;
constexpr size_t kMaxJsonContainers = size_t(1) << 21;
constexpr size_t kMaxJsonValues = size_t(1) << 25;

int componentSize(int componentType)
{
    switch (componentType) {
    case kByte:
    case kUnsignedByte:
        return 1;
    case kShort:
    case kUnsignedShort:
        return 2;
    case kUnsignedInt:
    case kFloat:
        return 4;
    default:
        return 0;
    }
}

int componentsInType(int type)
{
    switch (type) {
    case TINYGLTF_TYPE_SCALAR:
        return 1;
    case TINYGLTF_TYPE_VEC2:
        return 2;
    case TINYGLTF_TYPE_VEC3:
        return 3;
    case TINYGLTF_TYPE_VEC4:
        return 4;
    default:
        return 0; // matrices are never vertex attributes or indices
    }
}

std::string accessorName(int index)
{
    return "accessor " + std::to_string(index);
}

uint32_t readUnsigned(const unsigned char* p, int componentType)
{
    switch (componentType) {
    case kUnsignedByte:
        return p[0];
    case kUnsignedShort: {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    default: {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    }
}

float readFloat(const unsigned char* p, int componentType, bool normalized)
{
    switch (componentType) {
    case kByte: {
        const auto v = static_cast<int8_t>(p[0]);
        return normalized ? std::fmax(v / 127.0f, -1.0f) : static_cast<float>(v);
    }
    case kUnsignedByte:
        return normalized ? p[0] / 255.0f : static_cast<float>(p[0]);
    case kShort: {
        int16_t v;
        std::memcpy(&v, p, 2);
        return normalized ? std::fmax(v / 32767.0f, -1.0f) : static_cast<float>(v);
    }
    case kUnsignedShort: {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return normalized ? v / 65535.0f : static_cast<float>(v);
    }
    case kUnsignedInt: {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return normalized ? static_cast<float>(v / 4294967295.0) : static_cast<float>(v);
    }
    default: {
        float v;
        std::memcpy(&v, p, 4);
        return v;
    }
    }
}

// Where count elements of elementSize bytes lie: at byteOffset in buffer view
// viewIndex, spaced by the view's stride when strided is set (vertex data),
// packed otherwise. Everything is checked against the view and its buffer.
const unsigned char* locate(const tinygltf::Model& model, int viewIndex, size_t byteOffset, size_t count,
                            size_t elementSize, bool strided, size_t& stride, const std::string& what)
{
    if (viewIndex < 0 || static_cast<size_t>(viewIndex) >= model.bufferViews.size())
        fail(what + " refers to buffer view " + std::to_string(viewIndex) + ", which does not exist");
    const tinygltf::BufferView& view = model.bufferViews[static_cast<size_t>(viewIndex)];
    const std::string viewName = "buffer view " + std::to_string(viewIndex);
    if (view.buffer < 0 || static_cast<size_t>(view.buffer) >= model.buffers.size())
        fail(viewName + " refers to buffer " + std::to_string(view.buffer) + ", which does not exist");
    const std::vector<unsigned char>& data = model.buffers[static_cast<size_t>(view.buffer)].data;
    if (view.byteLength > data.size() || view.byteOffset > data.size() - view.byteLength)
        fail(viewName + " lies outside its buffer");

    stride = elementSize;
    if (strided && view.byteStride != 0) {
        if (view.byteStride < elementSize || view.byteStride > kMaxByteStride)
            fail(viewName + " has an unusable byte stride of " + std::to_string(view.byteStride));
        stride = view.byteStride;
    }
    // count <= kMaxElements and stride <= kMaxByteStride keep this far from
    // overflowing.
    const size_t span = count == 0 ? 0 : (count - 1) * stride + elementSize;
    if (byteOffset > view.byteLength || span > view.byteLength - byteOffset)
        fail(what + " reaches beyond the end of " + viewName);
    return data.data() + view.byteOffset + byteOffset;
}

// Reads every component of accessor index through convert(pointer,
// componentType, normalized), applying sparse substitution. Returns the
// number of components per element.
template <class T, class Convert>
int readAccessor(const tinygltf::Model& model, int index, std::vector<T>& out, size_t& count, Convert convert)
{
    if (index < 0 || static_cast<size_t>(index) >= model.accessors.size())
        fail(accessorName(index) + " does not exist");
    const tinygltf::Accessor& accessor = model.accessors[static_cast<size_t>(index)];
    const std::string name = accessorName(index);
    const int components = componentsInType(accessor.type);
    const int size = componentSize(accessor.componentType);
    if (components == 0)
        fail(name + " has an element type that cannot be read here");
    if (size == 0)
        fail(name + " has an unknown component type " + std::to_string(accessor.componentType));
    if (accessor.count > kMaxElements)
        fail(name + " claims " + std::to_string(accessor.count) + " elements, more than the " +
             std::to_string(kMaxElements) + " allowed");
    count = accessor.count;
    // Without a buffer view nothing in the file backs the count.
    if (accessor.bufferView < 0 && accessor.count * static_cast<size_t>(components) > kMaxUnbackedValues)
        fail(name + " claims " + std::to_string(accessor.count) + " elements without data behind them");
    const size_t elementSize = static_cast<size_t>(components) * static_cast<size_t>(size);
    const size_t n = count * static_cast<size_t>(components);

    out.assign(n, T());
    if (accessor.bufferView >= 0) {
        size_t stride = 0;
        const unsigned char* base =
            locate(model, accessor.bufferView, accessor.byteOffset, count, elementSize, true, stride, name);
        for (size_t i = 0; i < count; ++i)
            for (int c = 0; c < components; ++c)
                out[i * components + c] = convert(base + i * stride + static_cast<size_t>(c * size),
                                                  accessor.componentType, accessor.normalized);
    }
    // Without a buffer view the elements are zeros, possibly replaced below.

    if (accessor.sparse.isSparse) {
        const auto& sparse = accessor.sparse;
        if (sparse.count < 1 || static_cast<size_t>(sparse.count) > count)
            fail(name + " has a sparse count of " + std::to_string(sparse.count) + " for " + std::to_string(count) +
                 " elements");
        const int indexSize = componentSize(sparse.indices.componentType);
        if (indexSize == 0 || sparse.indices.componentType == kFloat || sparse.indices.componentType == kByte ||
            sparse.indices.componentType == kShort)
            fail(name + " has sparse indices of an unusable component type");
        if (sparse.indices.byteOffset < 0 || sparse.values.byteOffset < 0)
            fail(name + " has a negative sparse byte offset");
        const size_t sparseCount = static_cast<size_t>(sparse.count);
        size_t indexStride = 0, valueStride = 0;
        const unsigned char* indices =
            locate(model, sparse.indices.bufferView, static_cast<size_t>(sparse.indices.byteOffset), sparseCount,
                   static_cast<size_t>(indexSize), false, indexStride, name + " (sparse indices)");
        const unsigned char* values =
            locate(model, sparse.values.bufferView, static_cast<size_t>(sparse.values.byteOffset), sparseCount,
                   elementSize, false, valueStride, name + " (sparse values)");
        for (size_t s = 0; s < sparseCount; ++s) {
            const uint32_t target = readUnsigned(indices + s * indexStride, sparse.indices.componentType);
            if (target >= count)
                fail(name + " has a sparse index " + std::to_string(target) + " beyond its " + std::to_string(count) +
                     " elements");
            for (int c = 0; c < components; ++c)
                out[target * static_cast<size_t>(components) + c] =
                    convert(values + s * valueStride + static_cast<size_t>(c * size), accessor.componentType,
                            accessor.normalized);
        }
    }
    return components;
}

uint32_t readLittleEndian32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

} // namespace

FloatData readFloats(const tinygltf::Model& model, int index, int minComponents, int maxComponents)
{
    FloatData result;
    result.components = readAccessor(model, index, result.values, result.count, readFloat);
    if (result.components < minComponents || result.components > maxComponents)
        fail(accessorName(index) + " has " + std::to_string(result.components) + " components per element where " +
             (minComponents == maxComponents ? std::to_string(minComponents)
                                             : std::to_string(minComponents) + " to " + std::to_string(maxComponents)) +
             " are expected");
    for (float v : result.values)
        if (!std::isfinite(v))
            fail(accessorName(index) + " holds a value that is not a finite number");
    return result;
}

std::vector<uint32_t> readIndices(const tinygltf::Model& model, int index)
{
    if (index >= 0 && static_cast<size_t>(index) < model.accessors.size()) {
        const tinygltf::Accessor& accessor = model.accessors[static_cast<size_t>(index)];
        const int type = accessor.componentType;
        if (accessor.type != TINYGLTF_TYPE_SCALAR ||
            (type != kUnsignedByte && type != kUnsignedShort && type != kUnsignedInt))
            fail(accessorName(index) + " cannot hold vertex indices: they must be unsigned integer scalars");
    }
    std::vector<uint32_t> indices;
    size_t count = 0;
    readAccessor(model, index, indices, count,
                 [](const unsigned char* p, int componentType, bool) { return readUnsigned(p, componentType); });
    return indices;
}

std::vector<unsigned char> readBufferView(const tinygltf::Model& model, int index)
{
    size_t stride = 0;
    if (index < 0 || static_cast<size_t>(index) >= model.bufferViews.size())
        fail("buffer view " + std::to_string(index) + " does not exist");
    const size_t length = model.bufferViews[static_cast<size_t>(index)].byteLength;
    const unsigned char* bytes = locate(model, index, 0, 1, length, false, stride, "an image");
    return std::vector<unsigned char>(bytes, bytes + length);
}

void checkJsonText(const char* text, size_t size)
{
    int depth = 0;
    size_t containers = 0, values = 1;
    bool inString = false;
    for (size_t i = 0; i < size; ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i; // the escaped character cannot end the string
            else if (c == '"')
                inString = false;
            continue;
        }
        switch (c) {
        case '"':
            inString = true;
            break;
        case '{':
        case '[':
            if (++depth > kMaxJsonDepth)
                fail("the glTF text nests deeper than " + std::to_string(kMaxJsonDepth) + " levels");
            if (++containers > kMaxJsonContainers)
                fail("the glTF text holds more than " + std::to_string(kMaxJsonContainers) + " objects and arrays");
            break;
        case '}':
        case ']':
            --depth;
            break;
        case ',':
            if (++values > kMaxJsonValues)
                fail("the glTF text holds more than " + std::to_string(kMaxJsonValues) + " values");
            break;
        default:
            break;
        }
    }
}

void checkGlbLayout(const unsigned char* bytes, size_t size)
{
    if (size < 20 || std::memcmp(bytes, "glTF", 4) != 0)
        fail("the data are too short to be a GLB file");
    const uint32_t version = readLittleEndian32(bytes + 4);
    if (version != 2)
        fail("GLB version " + std::to_string(version) + " is not supported (only version 2 is)");
    const uint64_t length = readLittleEndian32(bytes + 8);
    if (length > size)
        fail("the GLB file is truncated: its header declares " + std::to_string(length) + " bytes, but only " +
             std::to_string(size) + " are there");
    const uint64_t jsonLength = readLittleEndian32(bytes + 12);
    if (readLittleEndian32(bytes + 16) != 0x4E4F534Au)
        fail("the first chunk of the GLB file is not its JSON chunk");
    const uint64_t jsonEnd = 20 + jsonLength;
    if (jsonLength == 0 || jsonEnd > length)
        fail("the JSON chunk of the GLB file is empty or runs past the end of the file");
    if (jsonEnd + 8 <= length) {
        const uint64_t binLength = readLittleEndian32(bytes + jsonEnd);
        if (jsonEnd + 8 + binLength > length)
            fail("the binary chunk of the GLB file runs past the end of the file");
    }
}

} // namespace kxgltf
