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

// The SSE registers of a packet walk, four lanes each. The walks are
// written once over the operations a kind of register provides; a wider
// kind (RTPacketTraversalWide.cpp) walks the same lanes eight at a time and,
// every operation working lane by lane, gives each lane the same values.
struct Sse4 {
    using Register = __m128;
    static constexpr int WIDTH = 4;

    static Register splat(float v) { return _mm_set1_ps(v); }
    static Register load(const float* values) { return _mm_loadu_ps(values); }
    // The register of at(first) .. at(first + 3).
    template <class At>
    static Register make(At at, int first)
    {
        return _mm_setr_ps(at(first), at(first + 1), at(first + 2), at(first + 3));
    }
    static Register add(Register a, Register b) { return _mm_add_ps(a, b); }
    static Register sub(Register a, Register b) { return _mm_sub_ps(a, b); }
    static Register mul(Register a, Register b) { return _mm_mul_ps(a, b); }
    static Register bitAnd(Register a, Register b) { return _mm_and_ps(a, b); }
    static Register bitOr(Register a, Register b) { return _mm_or_ps(a, b); }
    static Register andNot(Register a, Register b) { return _mm_andnot_ps(a, b); }
    static Register min(Register a, Register b) { return _mm_min_ps(a, b); }
    static Register max(Register a, Register b) { return _mm_max_ps(a, b); }
    static Register less(Register a, Register b) { return _mm_cmplt_ps(a, b); }
    static Register lessOrEqual(Register a, Register b) { return _mm_cmple_ps(a, b); }
    static Register greater(Register a, Register b) { return _mm_cmpgt_ps(a, b); }
    static Register greaterOrEqual(Register a, Register b) { return _mm_cmpge_ps(a, b); }
    static Register isNumber(Register a) { return _mm_cmpord_ps(a, a); }
    static unsigned bits(Register a) { return static_cast<unsigned>(_mm_movemask_ps(a)); }
};

// The values of a packet's lanes, R::WIDTH to a register.
template <class R>
struct Lanes {
    static constexpr int REGISTERS = RT_PACKET_SIZE / R::WIDTH;
    typename R::Register r[REGISTERS];

    static Lanes load(const float* values)
    {
        Lanes l;
        RT_UNROLL_LANES
        for (int h = 0; h < REGISTERS; ++h)
            l.r[h] = R::load(values + R::WIDTH * h);
        return l;
    }
    static Lanes splat(float value)
    {
        Lanes l;
        RT_UNROLL_LANES
        for (int h = 0; h < REGISTERS; ++h)
            l.r[h] = R::splat(value);
        return l;
    }
    // The lanes of at(0) .. at(RT_PACKET_SIZE - 1).
    template <class At>
    static Lanes make(At at)
    {
        Lanes l;
        RT_UNROLL_LANES
        for (int h = 0; h < REGISTERS; ++h)
            l.r[h] = R::make(at, R::WIDTH * h);
        return l;
    }
    // The lanes whose value of mask is set, as bits.
    unsigned bits() const
    {
        unsigned m = 0;
        RT_UNROLL_LANES
        for (int h = 0; h < REGISTERS; ++h)
            m |= R::bits(r[h]) << (R::WIDTH * h);
        return m;
    }
};
static_assert(RT_PACKET_SIZE % 8 == 0 && RT_PACKET_SIZE <= 32, "packets fill whole registers and a mask");

// a op b lane by lane; min(a, b) and max(a, b) are a < b ? a : b and
// a > b ? a : b, as the single-ray walks compute them. (No lambdas over
// registers here: GCC compiles a lambda for the library's target even
// inside code compiled for a wider one.)
#define RT_LANES_OP(name, operation)                                                                                   \
    template <class R>                                                                                                 \
    inline Lanes<R> name(const Lanes<R>& a, const Lanes<R>& b)                                                         \
    {                                                                                                                  \
        Lanes<R> l;                                                                                                    \
        RT_UNROLL_LANES                                                                                                \
        for (int h = 0; h < Lanes<R>::REGISTERS; ++h)                                                                  \
            l.r[h] = R::operation(a.r[h], b.r[h]);                                                                     \
        return l;                                                                                                      \
    }
RT_LANES_OP(operator+, add)
RT_LANES_OP(operator-, sub)
RT_LANES_OP(operator*, mul)
RT_LANES_OP(operator&, bitAnd)
RT_LANES_OP(lanesMin, min)
RT_LANES_OP(lanesMax, max)
RT_LANES_OP(operator<, less)
RT_LANES_OP(operator<=, lessOrEqual)
RT_LANES_OP(operator>, greater)
RT_LANES_OP(operator>=, greaterOrEqual)
#undef RT_LANES_OP

// |a| lane by lane, as std::fabs gives it.
template <class R>
inline Lanes<R> lanesAbs(const Lanes<R>& a)
{
    const typename R::Register sign = R::splat(-0.0f);
    Lanes<R> l;
    RT_UNROLL_LANES
    for (int h = 0; h < Lanes<R>::REGISTERS; ++h)
        l.r[h] = R::andNot(sign, a.r[h]);
    return l;
}

// rtPlaneT for every lane: NaN (0 × ∞) becomes -∞ on an entry plane and +∞
// on an exit plane.
template <class R>
inline Lanes<R> lanesPlaneT(const Lanes<R>& plane, const Lanes<R>& origin, const Lanes<R>& inverse, bool entry)
{
    const Lanes<R> t = (plane - origin) * inverse;
    const typename R::Register replacement = R::splat(entry ? -INFINITY : INFINITY);
    Lanes<R> out;
    RT_UNROLL_LANES
    for (int h = 0; h < Lanes<R>::REGISTERS; ++h) {
        const typename R::Register number = R::isNumber(t.r[h]);
        out.r[h] = R::bitOr(R::bitAnd(number, t.r[h]), R::andNot(number, replacement));
    }
    return out;
}

// The rays of a packet walk, lane by lane. A walk takes the rays whose
// plane values are all numbers (no zero direction component) and whose
// direction signs match the first such ray's; the others are given up.
//
// The lanes' values go straight into registers: written to memory one float
// at a time and read back a register at a time, they would wait for the
// writes.
template <class R>
struct PacketRays {
    unsigned admitted = 0, givenUp = 0;
    int sign[3] = {-1, -1, -1};     // the admitted rays' direction signs
    Lanes<R> origin[3], inverse[3]; // of the admitted rays; other lanes repeat one

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
        origin[0] = Lanes<R>::make([&](int k) { return source[k]->origin.x; });
        origin[1] = Lanes<R>::make([&](int k) { return source[k]->origin.y; });
        origin[2] = Lanes<R>::make([&](int k) { return source[k]->origin.z; });
        inverse[0] = Lanes<R>::make([&](int k) { return source[k]->inverse.x; });
        inverse[1] = Lanes<R>::make([&](int k) { return source[k]->inverse.y; });
        inverse[2] = Lanes<R>::make([&](int k) { return source[k]->inverse.z; });
    }

    // values[k] for the admitted lanes k, 0 for the others.
    Lanes<R> gather(const float* values) const
    {
        return Lanes<R>::make([&](int k) { return admitted & (1u << k) ? values[k] : 0.0f; });
    }
};

// rtTraversePacket in registers of kind R.
template <class R, class Visit>
unsigned traversePacket(const RTSpatialTree& tree, const RTRay* const* rays, unsigned lanes, const float* behind,
                        Visit&& visit)
{
    using Lanes = Lanes<R>;
    struct Pending {
        Lanes entry, exit;
        uint32_t node;
        unsigned mask;
        StackBox box;
    };
    if (tree.nodes.empty())
        return 0;
    const PacketRays<R> packet(rays, lanes);
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
        nearT[a] = lanesPlaneT(Lanes::splat(negative ? tree.rootBox.hi[a] : tree.rootBox.lo[a]), origin[a],
                                         inverse[a], true);
        farT[a] = lanesPlaneT(Lanes::splat(negative ? tree.rootBox.lo[a] : tree.rootBox.hi[a]), origin[a],
                                        inverse[a], false);
    }
    Lanes entry = nearT[0], exit = farT[0];
    unsigned missed = 0;
    for (int a = 1; a < 3; ++a) {
        missed |= ((entry - farT[a]) > e).bits() | ((nearT[a] - exit) > e).bits();
        entry = lanesMax(nearT[a], entry);
        exit = lanesMin(farT[a], exit);
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
            const Lanes beforeExit = lanesMin(exit, crossing);
            const Lanes afterEntry = lanesMax(entry, crossing);
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
}

// rtTraverseAllPacket in registers of kind R.
template <class R, class Visit>
unsigned traverseAllPacket(const RTSpatialTree& tree, const RTRay* const* rays, unsigned lanes, const float* behind,
                           Visit&& visit)
{
    using Lanes = Lanes<R>;
    struct Pending {
        Lanes tmin, tmax;
        uint32_t node;
        unsigned mask;
    };
    if (tree.nodes.empty())
        return 0;
    const PacketRays<R> packet(rays, lanes);
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
        const Lanes enter = lanesPlaneT(Lanes::splat(negative ? tree.rootBox.hi[a] : tree.rootBox.lo[a]),
                                                  origin[a], inverse[a], true);
        const Lanes leave = lanesPlaneT(Lanes::splat(negative ? tree.rootBox.lo[a] : tree.rootBox.hi[a]),
                                                  origin[a], inverse[a], false);
        tmin = lanesMax(enter, tmin);
        tmax = lanesMin(leave, tmax);
    }
    tmin = lanesMax(tmin, packet.gather(behind));
    const Lanes slack = Lanes::splat(1e-5f) * ((Lanes::splat(1.0f) + lanesAbs(tmin)) + lanesAbs(tmax));
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
                later.tmin = lanesMax(crossing, tmin);
                later.tmax = tmax;
            }
            if (visitFirst) {
                current = node.first + firstHalf;
                mask = visitFirst;
                tmax = lanesMin(crossing, tmax);
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
}
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
#ifdef RT_HAVE_PACKETS
    return rtdetail::traversePacket<rtdetail::Sse4>(tree, rays, lanes, behind, visit);
#else
    (void)tree;
    (void)rays;
    (void)behind;
    (void)visit;
    return lanes;
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
#ifdef RT_HAVE_PACKETS
    return rtdetail::traverseAllPacket<rtdetail::Sse4>(tree, rays, lanes, behind, visit);
#else
    (void)tree;
    (void)rays;
    (void)behind;
    (void)visit;
    return lanes;
#endif
}
