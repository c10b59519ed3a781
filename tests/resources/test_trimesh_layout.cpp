// The vertex layouts of tri-meshes: which flexible-vertex-format code and
// stride every combination of arrays gets, and the bytes written.

#include "resources/KXDXVertexLayout.h"
#include "sceneapi/KXTriMesh.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct Arrays {
    bool preTransformed, normals, colors;
    int texCoords; // 0, 2 or 3
};

// Two vertices with every array filled as asked, plus arrays of the wrong
// length that must be ignored.
void fillMesh(KXTriMesh& mesh, const Arrays& a)
{
    mesh.setVertexArray({{1, 2, 3}, {4, 5, 6}});
    mesh.setPreTransformed(a.preTransformed);
    mesh.setNormalsArray(a.normals ? std::vector<KXUnitVector>{{0, 0, 1}, {0, 1, 0}}
                                   : std::vector<KXUnitVector>{{1, 0, 0}});
    mesh.setColorArray(a.colors ? std::vector<KXColor>{{1, 0, 0, 1}, {0, 0, 1, 0.5f}}
                                : std::vector<KXColor>{{1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}});
    if (a.texCoords == 2)
        mesh.setTexCoordsArray({{0.25f, 0.5f}, {0.75f, 1.0f}});
    if (a.texCoords == 3) {
        mesh.setTexCoordsArray({{0.25f, 0.5f}, {0.75f, 1.0f}});
        mesh.setCubicTexCoordsArray({{1, 0, 0}, {0, -1, 0}});
    }
}

// Vertex 1 as the layout must write it, word by word.
std::vector<uint32_t> expectedSecondVertex(const Arrays& a, bool backSide)
{
    std::vector<uint32_t> words;
    auto push = [&](float f) {
        uint32_t w;
        std::memcpy(&w, &f, 4);
        words.push_back(w);
    };
    push(4), push(5), push(6);
    if (a.preTransformed)
        push(1.0f);
    if (a.normals && !a.preTransformed)
        push(backSide ? -0.0f : 0.0f), push(backSide ? -1.0f : 1.0f), push(backSide ? -0.0f : 0.0f);
    if (a.colors)
        words.push_back(KXColor(0, 0, 1, 0.5f).getBGRA());
    if (a.texCoords == 3)
        push(0), push(-1), push(0);
    if (a.texCoords == 2)
        push(0.75f), push(1.0f);
    return words;
}

TEST(TriMeshLayout, TheTenTabledLayoutsKeepTheirCodesAndStrides)
{
    struct Row {
        Arrays arrays;
        DWORD fvf;
        uint32_t stride;
    };
    const Row table[] = {
        {{false, false, false, 0}, 0x002, 12}, {{false, true, false, 0}, 0x012, 24},
        {{false, false, true, 0}, 0x042, 16},  {{false, false, false, 2}, 0x102, 20},
        {{false, true, false, 2}, 0x112, 32},  {{false, true, true, 2}, 0x152, 36},
        {{false, true, false, 3}, 0x10112, 36}, {{true, false, false, 0}, 0x004, 16},
        {{true, false, true, 0}, 0x044, 20},   {{true, false, false, 2}, 0x104, 24},
    };
    for (const Row& row : table) {
        KXTriMesh mesh;
        fillMesh(mesh, row.arrays);
        const KXDXVertexLayout layout = KXDXVertexLayout::of(mesh);
        EXPECT_EQ(layout.fvf, row.fvf);
        EXPECT_EQ(layout.stride, row.stride) << std::hex << row.fvf;
    }
}

TEST(TriMeshLayout, EveryCombinationOfArraysHasALayoutWithTheRightBytes)
{
    for (int pre = 0; pre < 2; ++pre)
        for (int normals = 0; normals < 2; ++normals)
            for (int colors = 0; colors < 2; ++colors)
                for (int tex : {0, 2, 3}) {
                    const Arrays arrays{pre != 0, normals != 0, colors != 0, tex};
                    KXTriMesh mesh;
                    fillMesh(mesh, arrays);
                    const KXDXVertexLayout layout = KXDXVertexLayout::of(mesh);
                    SCOPED_TRACE(testing::Message() << "pre " << pre << " normals " << normals << " colors "
                                                    << colors << " tex " << tex);
                    // Pre-transformed positions never come with normals.
                    const bool hasNormals = normals && !pre;
                    DWORD fvf = pre ? D3DFVF_XYZRHW : D3DFVF_XYZ;
                    fvf |= hasNormals ? D3DFVF_NORMAL : 0;
                    fvf |= colors ? D3DFVF_DIFFUSE : 0;
                    fvf |= tex == 2 ? D3DFVF_TEX1 : tex == 3 ? D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0) : 0;
                    EXPECT_EQ(layout.fvf, fvf);
                    for (bool back : {false, true}) {
                        const std::vector<uint32_t> expected = expectedSecondVertex(arrays, back);
                        ASSERT_EQ(layout.stride, expected.size() * 4);
                        // Written one vertex apart from an odd address: locked memory need
                        // not be aligned.
                        std::vector<unsigned char> bytes(2 * layout.stride + 1, 0xCD);
                        layout.write(mesh, bytes.data() + 1, nullptr, 2, back);
                        std::vector<uint32_t> second(expected.size());
                        std::memcpy(second.data(), bytes.data() + 1 + layout.stride, layout.stride);
                        EXPECT_EQ(second, expected) << (back ? "back" : "front");
                        // The same vertex picked through a vertex list.
                        const uint32_t pick = 1;
                        layout.write(mesh, bytes.data() + 1, &pick, 1, back);
                        std::memcpy(second.data(), bytes.data() + 1, layout.stride);
                        EXPECT_EQ(second, expected);
                    }
                }
}

} // namespace
