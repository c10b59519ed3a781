#pragma once

// Packet walks: several rays through a spatial tree at once, each seeing
// exactly what its own single-ray walk (RTTraversal.h) would show it.

#include "raytracer/RTTraversal.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define RT_HAVE_PACKETS 1
#endif

// The most rays a packet walk (rtTraversePacket) carries at once: lanes are
// numbered by the bits of a mask.
constexpr int RT_PACKET_SIZE = 32;

// The lowest lane of a non-empty mask.
inline int rtLowestLane(unsigned mask)
{
#if defined(__GNUC__)
    return __builtin_ctz(mask);
#else
    int lane = 0;
    for (; !(mask & 1u); mask >>= 1)
        ++lane;
    return lane;
#endif
}

namespace rtdetail {

#ifdef RT_HAVE_PACKETS
// The register loops below are unrolled so that a packet's values stay in
// registers through a node's decisions; compilers that keep the loop store
// every intermediate value to the stack and read it back.
#if defined(__clang__)
#define RT_UNROLL_LANES _Pragma("unroll")
#elif defined(__GNUC__)
#define RT_UNROLL_LANES _Pragma("GCC unroll 8")
#else
#define RT_UNROLL_LANES
#endif

// The values of a packet's lanes, four to a register.
struct Lanes {
    static constexpr int REGISTERS = RT_PACKET_SIZE / 4;
    __m128 r[REGISTERS];

    static Lanes load(const float* values)
    {
        Lanes l;
        RT_UNROLL_LANES
        for (int h = 0; h < REGISTERS; ++h)
            l.r[h] = _mm_loadu_ps(values + 4 * h);
        return l;
    }
    static Lanes splat(float value)
    {
        Lanes l;
        RT_UNROLL_LANES
        for (int h = 0; h < REGISTERS; ++h)
            l.r[h] = _mm_set1_ps(value);
        return l;
    }
    template <class Op>
    static Lanes apply(const Lanes& a, const Lanes& b, Op op)
    {
        Lanes l;
        RT_UNROLL_LANES
        for (int h = 0; h < REGISTERS; ++h)
            l.r[h] = op(a.r[h], b.r[h]);
        return l;
    }
    // The lanes whose value of mask is set, as bits.
    unsigned bits() const
    {
        unsigned m = 0;
        RT_UNROLL_LANES
        for (int h = 0; h < REGISTERS; ++h)
            m |= static_cast<unsigned>(_mm_movemask_ps(r[h])) << (4 * h);
        return m;
    }
};
static_assert(RT_PACKET_SIZE % 4 == 0 && RT_PACKET_SIZE <= 32, "packets fill whole registers and a mask");

// a op b lane by lane; _mm_min_ps(a, b) and _mm_max_ps(a, b) are a < b ? a :
// b and a > b ? a : b, as the single-ray walks compute them.
#define RT_LANES_OP(name, intrinsic)                                                                                   \
    inline Lanes name(const Lanes& a, const Lanes& b)                                                                  \
    {                                                                                                                  \
        return Lanes::apply(a, b, [](__m128 x, __m128 y) { return intrinsic(x, y); });                                 \
    }
RT_LANES_OP(operator+, _mm_add_ps)
RT_LANES_OP(operator-, _mm_sub_ps)
RT_LANES_OP(operator*, _mm_mul_ps)
RT_LANES_OP(operator&, _mm_and_ps)
RT_LANES_OP(lanesMin, _mm_min_ps)
RT_LANES_OP(lanesMax, _mm_max_ps)
RT_LANES_OP(operator<, _mm_cmplt_ps)
RT_LANES_OP(operator<=, _mm_cmple_ps)
RT_LANES_OP(operator>, _mm_cmpgt_ps)
RT_LANES_OP(operator>=, _mm_cmpge_ps)
#undef RT_LANES_OP

// |a| lane by lane, as std::fabs gives it.
inline Lanes lanesAbs(const Lanes& a)
{
    return Lanes::apply(a, Lanes::splat(-0.0f), [](__m128 x, __m128 sign) { return _mm_andnot_ps(sign, x); });
}

// rtPlaneT for every lane: NaN (0 × ∞) becomes -∞ on an entry plane and +∞
// on an exit plane.
inline Lanes lanesPlaneT(const Lanes& plane, const Lanes& origin, const Lanes& inverse, bool entry)
{
    const Lanes t = (plane - origin) * inverse;
    const __m128 replacement = _mm_set1_ps(entry ? -INFINITY : INFINITY);
    Lanes out;
    RT_UNROLL_LANES
    for (int h = 0; h < Lanes::REGISTERS; ++h) {
        const __m128 number = _mm_cmpord_ps(t.r[h], t.r[h]);
        out.r[h] = _mm_or_ps(_mm_and_ps(number, t.r[h]), _mm_andnot_ps(number, replacement));
    }
    return out;
}

// The rays of a packet walk, lane by lane. A walk takes the rays whose
// plane values are all numbers (no zero direction component) and whose
// direction signs match the first such ray's; the others are given up.
//
// The lanes' values go straight into registers: written to memory one float
// at a time and read back four at a time, they would wait for the writes.
struct PacketRays {
    unsigned admitted = 0, givenUp = 0;
    int sign[3] = {-1, -1, -1}; // the admitted rays' direction signs
    Lanes origin[3], inverse[3]; // of the admitted rays; other lanes repeat one

    PacketRays(const RTRay* const* rays, unsigned lanes)
    {
        const RTRay* source[RT_PACKET_SIZE] = {};
        const RTRay* some = nullptr;
        for (int k = 0; k < RT_PACKET_SIZE; ++k) {
            if (!(lanes & (1u << k)))
                continue;
            const RTRay& ray = *rays[k];
            const bool planes = !(std::fabs(ray.inverse.x) < INFINITY && std::fabs(ray.inverse.y) < INFINITY &&
                                  std::fabs(ray.inverse.z) < INFINITY);
            if (sign[0] < 0 && !planes)
                for (int a = 0; a < 3; ++a)
                    sign[a] = ray.sign[a];
            if (planes || ray.sign[0] != sign[0] || ray.sign[1] != sign[1] || ray.sign[2] != sign[2]) {
                givenUp |= 1u << k;
                continue;
            }
            admitted |= 1u << k;
            source[k] = some = &ray;
        }
        const RTRay none;
        for (int k = 0; k < RT_PACKET_SIZE; ++k)
            if (!source[k])
                source[k] = some ? some : &none;
        RT_UNROLL_LANES
        for (int h = 0; h < Lanes::REGISTERS; ++h) {
            const RTRay* const* r = source + 4 * h;
            origin[0].r[h] = _mm_setr_ps(r[0]->origin.x, r[1]->origin.x, r[2]->origin.x, r[3]->origin.x);
            origin[1].r[h] = _mm_setr_ps(r[0]->origin.y, r[1]->origin.y, r[2]->origin.y, r[3]->origin.y);
            origin[2].r[h] = _mm_setr_ps(r[0]->origin.z, r[1]->origin.z, r[2]->origin.z, r[3]->origin.z);
            inverse[0].r[h] = _mm_setr_ps(r[0]->inverse.x, r[1]->inverse.x, r[2]->inverse.x, r[3]->inverse.x);
            inverse[1].r[h] = _mm_setr_ps(r[0]->inverse.y, r[1]->inverse.y, r[2]->inverse.y, r[3]->inverse.y);
            inverse[2].r[h] = _mm_setr_ps(r[0]->inverse.z, r[1]->inverse.z, r[2]->inverse.z, r[3]->inverse.z);
        }
    }

    // values[k] for the admitted lanes k, 0 for the others.
    Lanes gather(const float* values) const
    {
        const auto value = [&](int k) { return admitted & (1u << k) ? values[k] : 0.0f; };
        Lanes l;
        RT_UNROLL_LANES
        for (int h = 0; h < Lanes::REGISTERS; ++h)
            l.r[h] = _mm_setr_ps(value(4 * h), value(4 * h + 1), value(4 * h + 2), value(4 * h + 3));
        return l;
    }
};
#endif

} // namespace rtdetail

// Walks up to RT_PACKET_SIZE rays (lanes, a mask of bits into rays) through a
// spatial tree at once, so that neighbouring rays share the work of the
// nodes they all pass and the latency of one node's decisions is spread
// over several rays. Each lane sees exactly what rtTraverse(tree, *rays[k],
// worth, visit) would show it, with worth(child, exit) being exit >=
// behind[k]: the same leaves, boxes and order, and it stops where that walk
// would. visit(mask, leaf, box) serves the lanes of mask at a leaf and
// returns the lanes that are done (the ones whose single walk's visit would
// have returned true).
//
// The walk takes each node's children in one order for every lane, which is
// each lane's own order while all lanes run the same way along the node's
// axis (the half a ray passes first comes first). Lanes that would break
// this are given up: rays with a zero direction component or another
// direction sign than the first lane's (before any visit), and, during the
// walk, lanes that miss both children or tie on the order. Returns the lanes
// given up; the caller undoes what their visits changed and walks them with
// rtTraverse. Without SSE2 every lane is given up.
template <class Visit>
unsigned rtTraversePacket(const RTSpatialTree& tree, const RTRay* const* rays, unsigned lanes, const float* behind,
                          Visit&& visit)
{
#ifndef RT_HAVE_PACKETS
    (void)tree;
    (void)rays;
    (void)behind;
    (void)visit;
    return lanes;
#else
    using rtdetail::Lanes;
    struct Pending {
        Lanes entry, exit;
        uint32_t node;
        unsigned mask;
        rtdetail::StackBox box;
    };
    if (tree.nodes.empty())
        return 0;
    const rtdetail::PacketRays packet(rays, lanes);
    unsigned givenUp = packet.givenUp;
    if (packet.admitted == 0)
        return givenUp;

    const RTSpatialNode* nodes = tree.nodes.data();
    const Lanes* origin = packet.origin;
    const Lanes* inverse = packet.inverse;
    const Lanes minExit = packet.gather(behind);
    const Lanes e = Lanes::splat(1e-5f), largest = Lanes::splat(FLT_MAX), smallest = Lanes::splat(-FLT_MAX);
    // rtTraverse's hit test, lane by lane.
    const auto hits = [&](const Lanes& in, const Lanes& out) {
        return (((in - out) <= e) & (in < largest) & (out > smallest)).bits();
    };

    // Each lane enters as rtTraverse begins: the root's slab test
    // (rtSlabTest within (-FLT_MAX, FLT_MAX)), every lane at once. The
    // admitted lanes share their direction signs, so each axis has one entry
    // and one exit plane.
    Lanes nearT[3], farT[3];
    for (int a = 0; a < 3; ++a) {
        const bool negative = packet.sign[a] != 0;
        nearT[a] = rtdetail::lanesPlaneT(Lanes::splat(negative ? tree.rootBox.hi[a] : tree.rootBox.lo[a]), origin[a],
                                         inverse[a], true);
        farT[a] = rtdetail::lanesPlaneT(Lanes::splat(negative ? tree.rootBox.lo[a] : tree.rootBox.hi[a]), origin[a],
                                        inverse[a], false);
    }
    Lanes entry = nearT[0], exit = farT[0];
    unsigned missed = 0;
    for (int a = 1; a < 3; ++a) {
        missed |= ((entry - farT[a]) > e).bits() | ((nearT[a] - exit) > e).bits();
        entry = rtdetail::lanesMax(nearT[a], entry);
        exit = rtdetail::lanesMin(farT[a], exit);
    }
    missed |= ~((largest - entry) > e).bits() | ~((exit - smallest) > e).bits();
    unsigned live = packet.admitted & ~missed;
    if (live == 0)
        return givenUp;
    Pending stack[RTSpatialTree::MAX_SPLIT_DEPTH + 2];
    int size = 0;
    uint32_t current = 0;
    unsigned mask = live;
    RTBox box = tree.rootBox;
    for (;;) {
        const RTSpatialNode& node = nodes[current];
        if (node.isLeaf()) {
            live &= ~visit(mask, node, box);
        } else {
            const int a = node.axis();
            const float middle = node.split;
            const Lanes crossing = (Lanes::splat(middle) - origin[a]) * inverse[a];
            const uint32_t before = static_cast<uint32_t>(packet.sign[a]), after = 1u - before;
            const Lanes beforeExit = rtdetail::lanesMin(exit, crossing);
            const Lanes afterEntry = rtdetail::lanesMax(entry, crossing);
            const unsigned hitBefore = hits(entry, beforeExit) & mask, hitAfter = hits(afterEntry, exit) & mask;
            // Lanes that miss both halves visit them by distance, and lanes
            // hitting both with equal entry values toward +axis take the
            // right one first.
            unsigned odd = mask & ~(hitBefore | hitAfter);
            if (before == 0)
                odd |= hitBefore & hitAfter & ~(entry < afterEntry).bits();
            givenUp |= odd;
            live &= ~odd;
            const unsigned visitBefore = hitBefore & live & (beforeExit >= minExit).bits();
            const unsigned visitAfter = hitAfter & live & (exit >= minExit).bits();
            if (visitAfter) {
                Pending& later = stack[size++];
                later.node = node.first + after;
                later.mask = visitAfter;
                later.box.store(box);
                (after == 0 ? later.box.hi[a] : later.box.lo[a]) = middle;
                later.entry = afterEntry;
                later.exit = exit;
            }
            if (visitBefore) {
                current = node.first + before;
                mask = visitBefore;
                (before == 0 ? box.hi[a] : box.lo[a]) = middle;
                exit = beforeExit;
                continue;
            }
        }
        // The next pending node some lane still needs.
        for (;;) {
            if (size == 0)
                return givenUp;
            const Pending& next = stack[--size];
            mask = next.mask & live;
            if (mask == 0)
                continue;
            current = next.node;
            next.box.load(box);
            entry = next.entry;
            exit = next.exit;
            break;
        }
    }
#endif
}

// rtTraverseAll for up to RT_PACKET_SIZE rays (lanes, a mask of bits into rays)
// at once, behind[k] being lane k's behind: each lane is handed the leaves
// rtTraverseAll would hand it, in the same order, until visit(mask, leaf)
// returns it among the lanes that are done. Rays with a zero direction
// component or another direction sign than the first lane's are given up
// before any visit and returned, for the caller to walk with rtTraverseAll;
// without SSE2 every lane is.
template <class Visit>
unsigned rtTraverseAllPacket(const RTSpatialTree& tree, const RTRay* const* rays, unsigned lanes, const float* behind,
                             Visit&& visit)
{
#ifndef RT_HAVE_PACKETS
    (void)tree;
    (void)rays;
    (void)behind;
    (void)visit;
    return lanes;
#else
    using rtdetail::Lanes;
    struct Pending {
        Lanes tmin, tmax;
        uint32_t node;
        unsigned mask;
    };
    if (tree.nodes.empty())
        return 0;
    const rtdetail::PacketRays packet(rays, lanes);
    const unsigned givenUp = packet.givenUp;
    if (packet.admitted == 0)
        return givenUp;

    const RTSpatialNode* nodes = tree.nodes.data();
    const Lanes* origin = packet.origin;
    const Lanes* inverse = packet.inverse;
    // The start of rtTraverseAll, every lane at once.
    Lanes tmin = Lanes::splat(-INFINITY), tmax = Lanes::splat(INFINITY);
    for (int a = 0; a < 3; ++a) {
        const bool negative = packet.sign[a] != 0;
        const Lanes enter = rtdetail::lanesPlaneT(Lanes::splat(negative ? tree.rootBox.hi[a] : tree.rootBox.lo[a]),
                                                  origin[a], inverse[a], true);
        const Lanes leave = rtdetail::lanesPlaneT(Lanes::splat(negative ? tree.rootBox.lo[a] : tree.rootBox.hi[a]),
                                                  origin[a], inverse[a], false);
        tmin = rtdetail::lanesMax(enter, tmin);
        tmax = rtdetail::lanesMin(leave, tmax);
    }
    tmin = rtdetail::lanesMax(tmin, packet.gather(behind));
    const Lanes slack = Lanes::splat(1e-5f) * ((Lanes::splat(1.0f) + rtdetail::lanesAbs(tmin)) + rtdetail::lanesAbs(tmax));
    unsigned live = packet.admitted & (tmin <= tmax + slack).bits();
    if (live == 0)
        return givenUp;
    Pending stack[RTSpatialTree::MAX_SPLIT_DEPTH + 2];
    int size = 0;
    uint32_t current = 0;
    unsigned mask = live;
    for (;;) {
        const RTSpatialNode& node = nodes[current];
        if (node.isLeaf()) {
            live &= ~visit(mask, node);
        } else {
            // The crossing is a number for these rays, never NaN: the half
            // passed first is walked by the lanes that reach it or miss the
            // other, the other half by those reaching it.
            const int a = node.axis();
            const Lanes crossing = (Lanes::splat(node.split) - origin[a]) * inverse[a];
            const unsigned firstHalf = static_cast<unsigned>(packet.sign[a]);
            const unsigned reachFirst = (crossing >= tmin - slack).bits();
            const unsigned visitSecond = mask & (crossing <= tmax + slack).bits();
            const unsigned visitFirst = mask & (reachFirst | ~visitSecond);
            if (visitSecond) {
                Pending& later = stack[size++];
                later.node = node.first + 1 - firstHalf;
                later.mask = visitSecond;
                later.tmin = rtdetail::lanesMax(crossing, tmin);
                later.tmax = tmax;
            }
            if (visitFirst) {
                current = node.first + firstHalf;
                mask = visitFirst;
                tmax = rtdetail::lanesMin(crossing, tmax);
                continue;
            }
        }
        for (;;) {
            if (size == 0)
                return givenUp;
            const Pending& next = stack[--size];
            mask = next.mask & live;
            if (mask == 0)
                continue;
            current = next.node;
            tmin = next.tmin;
            tmax = next.tmax;
            break;
        }
    }
#endif
}
