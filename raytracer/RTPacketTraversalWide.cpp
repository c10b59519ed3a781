#include "raytracer/RTPacketTraversalWide.h"

// Not on Windows: GCC there keeps the stack aligned to 16 bytes only, and
// spills 256-bit registers with aligned moves (GCC bug 54412).
#if defined(__GNUC__) && defined(__x86_64__) && !defined(_WIN32)

#include <cfloat>
#include <cmath>
#include <cstdint>

#include <immintrin.h>

// Everything from here on is compiled for AVX, without FMA, which would
// fuse the multiplications and additions the four-lane walks round
// separately. GCC sets the target of the functions and templates defined
// after the pragma: the headers above, shared with the rest of the tracer,
// keep the library's own target, and the walks' templates are defined only
// below it in this file, so that no inline function compiled for AVX can
// stand in for the library's own copy.
#pragma GCC push_options
#pragma GCC target("avx")

#include "raytracer/RTPacketTraversal.h"

namespace rtdetail {

// Sse4's operations in 256-bit registers. The comparisons are the ordered,
// signalling predicates of _mm_cmplt_ps and its kin, so NaN lanes compare
// as they do there; min and max return their second operand on NaN alike.
struct Avx8 {
    using Register = __m256;
    static constexpr int WIDTH = 8;

    static Register splat(float v) { return _mm256_set1_ps(v); }
    static Register load(const float* values) { return _mm256_loadu_ps(values); }
    template <class At>
    static Register make(At at, int first)
    {
        return _mm256_setr_ps(at(first), at(first + 1), at(first + 2), at(first + 3), at(first + 4), at(first + 5),
                              at(first + 6), at(first + 7));
    }
    static Register add(Register a, Register b) { return _mm256_add_ps(a, b); }
    static Register sub(Register a, Register b) { return _mm256_sub_ps(a, b); }
    static Register mul(Register a, Register b) { return _mm256_mul_ps(a, b); }
    static Register bitAnd(Register a, Register b) { return _mm256_and_ps(a, b); }
    static Register bitOr(Register a, Register b) { return _mm256_or_ps(a, b); }
    static Register andNot(Register a, Register b) { return _mm256_andnot_ps(a, b); }
    static Register min(Register a, Register b) { return _mm256_min_ps(a, b); }
    static Register max(Register a, Register b) { return _mm256_max_ps(a, b); }
    static Register less(Register a, Register b) { return _mm256_cmp_ps(a, b, _CMP_LT_OS); }
    static Register lessOrEqual(Register a, Register b) { return _mm256_cmp_ps(a, b, _CMP_LE_OS); }
    static Register greater(Register a, Register b) { return _mm256_cmp_ps(a, b, _CMP_GT_OS); }
    static Register greaterOrEqual(Register a, Register b) { return _mm256_cmp_ps(a, b, _CMP_GE_OS); }
    static Register isNumber(Register a) { return _mm256_cmp_ps(a, a, _CMP_ORD_Q); }
    static unsigned bits(Register a) { return static_cast<unsigned>(_mm256_movemask_ps(a)); }
};

} // namespace rtdetail

unsigned rtTraversePacketWide(const RTSpatialTree& tree, const RTRay* const* rays, unsigned lanes, const float* behind,
                              RTPacketLeafVisit visit, void* context)
{
    return rtdetail::traversePacket<rtdetail::Avx8>(
        tree, rays, lanes, behind,
        [&](unsigned mask, const RTSpatialNode& leaf, const RTBox& box) { return visit(context, mask, leaf, box); });
}

unsigned rtTraverseAllPacketWide(const RTSpatialTree& tree, const RTRay* const* rays, unsigned lanes,
                                 const float* behind, RTPacketAnyLeafVisit visit, void* context)
{
    return rtdetail::traverseAllPacket<rtdetail::Avx8>(
        tree, rays, lanes, behind, [&](unsigned mask, const RTSpatialNode& leaf) { return visit(context, mask, leaf); });
}

#pragma GCC pop_options

RTPacketWidth rtWidestPackets()
{
    static const RTPacketWidth widest = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx") ? RTPacketWidth::EIGHT : RTPacketWidth::FOUR;
    }();
    return widest;
}

#else

RTPacketWidth rtWidestPackets() { return RTPacketWidth::FOUR; }

unsigned rtTraversePacketWide(const RTSpatialTree&, const RTRay* const*, unsigned lanes, const float*,
                              RTPacketLeafVisit, void*)
{
    return lanes;
}

unsigned rtTraverseAllPacketWide(const RTSpatialTree&, const RTRay* const*, unsigned lanes, const float*,
                                 RTPacketAnyLeafVisit, void*)
{
    return lanes;
}

#endif
