#pragma once

#include "raytracer/RTRay.h"
#include "raytracer/RTSpatialTree.h"

#include <algorithm>
#include <cfloat>
#include <cstdint>

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

// The left (0) or right (1) half of box, as rtSplitBox makes it.
inline RTBox rtChildBox(const RTBox& box, int axis, float middle, int which)
{
    RTBox half = box;
    (which == 0 ? half.hi[axis] : half.lo[axis]) = middle;
    return half;
}

namespace rtdetail {

// A box as plain corners with no initialisers, for the traversal stacks:
// they are set before they are read, and clearing a whole stack on every
// ray costs more than a short walk does.
struct StackBox {
    float lo[3];
    float hi[3];

    void store(const RTBox& box)
    {
        for (int i = 0; i < 3; ++i) {
            lo[i] = box.lo[i];
            hi[i] = box.hi[i];
        }
    }
    void load(RTBox& box) const
    {
        for (int i = 0; i < 3; ++i) {
            box.lo[i] = lo[i];
            box.hi[i] = hi[i];
        }
    }
};

// The traversal for rays with a zero direction component: a plane value may
// come out as 0 × ∞, which reads as unconstrained, so every plane value of
// every box is kept and combined as rtSlabCombine does.
template <class Worth, class Visit>
bool traversePlanes(const RTSpatialTree& tree, const RTRay& ray, Worth& worth, Visit& visit)
{
    struct Pending {
        uint32_t node;
        StackBox box;
        float nearT[3];
        float farT[3];
    };
    const RTSpatialNode* nodes = tree.nodes.data();
    const float e = 1e-5f;
    const float origin[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
    const float inverse[3] = {ray.inverse.x, ray.inverse.y, ray.inverse.z};
    const bool negative[3] = {ray.sign[0] != 0, ray.sign[1] != 0, ray.sign[2] != 0};
    const auto entering = [](float t) { return t != t ? -INFINITY : t; };
    const auto leaving = [](float t) { return t != t ? INFINITY : t; };

    // The node at hand with its box and plane values; it is walked into
    // directly and only the farther child of a pair waits on the stack, so
    // the stack never holds more than one node per level.
    Pending stack[RTSpatialTree::MAX_SPLIT_DEPTH + 2];
    int size = 0;
    uint32_t current = 0;
    RTBox box = tree.rootBox;
    float nearT[3], farT[3];
    for (int i = 0; i < 3; ++i) {
        nearT[i] = entering(((negative[i] ? box.hi[i] : box.lo[i]) - origin[i]) * inverse[i]);
        farT[i] = leaving(((negative[i] ? box.lo[i] : box.hi[i]) - origin[i]) * inverse[i]);
    }
    for (;;) {
        const RTSpatialNode& node = nodes[current];
        int first = -1, second = -1; // children to visit, in this order
        int a = 0;
        float middle = 0.0f, nearA[2] = {0.0f, 0.0f}, farA[2] = {0.0f, 0.0f};
        if (node.isLeaf()) {
            if (visit(node, box))
                return true;
        } else {
            a = node.axis();
            const int b = a == 2 ? 0 : a + 1, c = a == 0 ? 2 : a - 1;
            middle = node.split;
            const float crossing = (middle - origin[a]) * inverse[a];
            // A ray running toward -axis enters the left child by the middle
            // plane and leaves the right child by it.
            nearA[0] = negative[a] ? entering(crossing) : nearT[a];
            farA[0] = negative[a] ? farT[a] : leaving(crossing);
            nearA[1] = negative[a] ? nearT[a] : entering(crossing);
            farA[1] = negative[a] ? leaving(crossing) : farT[a];
            const float otherNear = nearT[b] > nearT[c] ? nearT[b] : nearT[c];
            const float otherFar = farT[b] < farT[c] ? farT[b] : farT[c];
            const float entry0 = otherNear > nearA[0] ? otherNear : nearA[0];
            const float exit0 = otherFar < farA[0] ? otherFar : farA[0];
            const float entry1 = otherNear > nearA[1] ? otherNear : nearA[1];
            const float exit1 = otherFar < farA[1] ? otherFar : farA[1];
            const bool hit0 = entry0 - exit0 <= e && FLT_MAX - entry0 > e && exit0 + FLT_MAX > e;
            const bool hit1 = entry1 - exit1 <= e && FLT_MAX - entry1 > e && exit1 + FLT_MAX > e;
            if (hit0 && hit1) {
                first = entry1 <= entry0 ? 1 : 0;
                second = 1 - first;
                if (!worth(node.first + static_cast<uint32_t>(second), first ? exit0 : exit1))
                    second = -1;
                if (!worth(node.first + static_cast<uint32_t>(first), first ? exit1 : exit0))
                    first = -1;
            } else if (hit0 || hit1) {
                first = hit0 ? 0 : 1;
                if (!worth(node.first + static_cast<uint32_t>(first), hit0 ? exit0 : exit1))
                    first = -1;
            } else {
                const auto distance = [&ray](const RTBox& half) {
                    return rtLength(RTVec3(half.center(0), half.center(1), half.center(2)) - ray.origin);
                };
                first = distance(rtChildBox(box, a, middle, 0)) <= distance(rtChildBox(box, a, middle, 1)) ? 0 : 1;
                second = 1 - first;
                if (!worth(node.first + static_cast<uint32_t>(second), FLT_MAX))
                    second = -1;
                if (!worth(node.first + static_cast<uint32_t>(first), FLT_MAX))
                    first = -1;
            }
        }
        if (second >= 0) {
            Pending& later = stack[size++];
            later.node = node.first + static_cast<uint32_t>(second);
            later.box.store(box);
            (second == 0 ? later.box.hi[a] : later.box.lo[a]) = middle;
            for (int i = 0; i < 3; ++i) {
                later.nearT[i] = nearT[i];
                later.farT[i] = farT[i];
            }
            later.nearT[a] = nearA[second];
            later.farT[a] = farA[second];
        }
        if (first >= 0) {
            current = node.first + static_cast<uint32_t>(first);
            (first == 0 ? box.hi[a] : box.lo[a]) = middle;
            nearT[a] = nearA[first];
            farT[a] = farA[first];
        } else {
            if (size == 0)
                return false;
            const Pending& next = stack[--size];
            current = next.node;
            next.box.load(box);
            for (int i = 0; i < 3; ++i) {
                nearT[i] = next.nearT[i];
                farT[i] = next.farT[i];
            }
        }
    }
}

// The traversal for rays whose plane values are all numbers (no zero
// direction component), with the same decisions as traversePlanes taken
// from less: for such rays a child's entry and exit values follow from its
// parent's and the middle plane's alone. The half the ray runs through
// first (the left one for a ray toward +axis) is entered where the parent
// is and left at min(parent exit, crossing); the other half is entered at
// max(parent entry, crossing) and left where the parent is. (The parent's
// own plane values on the axis lie outside the crossing, so taking them in
// changes nothing.)
template <class Worth, class Visit>
bool traverseIntervals(const RTSpatialTree& tree, const RTRay& ray, Worth& worth, Visit& visit, float entry, float exit)
{
    struct Pending {
        uint32_t node;
        StackBox box;
        float entry, exit;
    };
    const RTSpatialNode* nodes = tree.nodes.data();
    const float e = 1e-5f;
    const float origin[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
    const float inverse[3] = {ray.inverse.x, ray.inverse.y, ray.inverse.z};
    const int sign[3] = {ray.sign[0], ray.sign[1], ray.sign[2]};
    // The hit test of rtSlabCombine on combined values: FLT_MAX - t > 1e-5
    // holds exactly for t < FLT_MAX (floats below FLT_MAX lie at least one
    // unit in the last place, far more than 1e-5, below it), and likewise
    // t + FLT_MAX > 1e-5 for t > -FLT_MAX.
    const auto hits = [e](float in, float out) { return (in - out <= e) & (in < FLT_MAX) & (out > -FLT_MAX); };
    Pending stack[RTSpatialTree::MAX_SPLIT_DEPTH + 2];
    int size = 0;
    uint32_t current = 0;
    RTBox box = tree.rootBox;
    for (;;) {
        const RTSpatialNode& node = nodes[current];
        if (node.isLeaf()) {
            if (visit(node, box))
                return true;
        } else {
            const int a = node.axis();
            const float middle = node.split;
            const float crossing = (middle - origin[a]) * inverse[a];
            // The half the ray passes first: the right one for a ray toward
            // -axis, the left one otherwise.
            const uint32_t before = static_cast<uint32_t>(sign[a]), after = 1u - before;
            const float beforeExit = exit < crossing ? exit : crossing;
            const float afterEntry = entry > crossing ? entry : crossing;
            const bool hitBefore = hits(entry, beforeExit), hitAfter = hits(afterEntry, exit);
            uint32_t firstChild = 0, secondChild = 0;
            bool visitFirst = false, visitSecond = false;
            float firstEntry = 0.0f, firstExit = 0.0f, secondEntry = 0.0f, secondExit = 0.0f;
            if (hitBefore && hitAfter) {
                // The smaller entry value comes first; on a tie the right
                // half, which is the one passed first by a ray toward -axis.
                const bool beforeFirst = entry < afterEntry || before == 1;
                firstChild = beforeFirst ? before : after;
                firstEntry = beforeFirst ? entry : afterEntry;
                firstExit = beforeFirst ? beforeExit : exit;
                secondChild = beforeFirst ? after : before;
                secondEntry = beforeFirst ? afterEntry : entry;
                secondExit = beforeFirst ? exit : beforeExit;
                visitSecond = worth(node.first + secondChild, secondExit);
                visitFirst = worth(node.first + firstChild, firstExit);
            } else if (hitBefore || hitAfter) {
                firstChild = hitBefore ? before : after;
                firstEntry = hitBefore ? entry : afterEntry;
                firstExit = hitBefore ? beforeExit : exit;
                visitFirst = worth(node.first + firstChild, firstExit);
            } else {
                const auto distance = [&ray](const RTBox& half) {
                    return rtLength(RTVec3(half.center(0), half.center(1), half.center(2)) - ray.origin);
                };
                firstChild = distance(rtChildBox(box, a, middle, 0)) <= distance(rtChildBox(box, a, middle, 1)) ? 0 : 1;
                secondChild = 1 - firstChild;
                firstEntry = firstChild == before ? entry : afterEntry;
                firstExit = firstChild == before ? beforeExit : exit;
                secondEntry = secondChild == before ? entry : afterEntry;
                secondExit = secondChild == before ? beforeExit : exit;
                visitSecond = worth(node.first + secondChild, FLT_MAX);
                visitFirst = worth(node.first + firstChild, FLT_MAX);
            }
            if (visitSecond) {
                Pending& later = stack[size++];
                later.node = node.first + secondChild;
                later.box.store(box);
                (secondChild == 0 ? later.box.hi[a] : later.box.lo[a]) = middle;
                later.entry = secondEntry;
                later.exit = secondExit;
            }
            if (visitFirst) {
                current = node.first + firstChild;
                (firstChild == 0 ? box.hi[a] : box.lo[a]) = middle;
                entry = firstEntry;
                exit = firstExit;
                continue;
            }
        }
        if (size == 0)
            return false;
        const Pending& next = stack[--size];
        current = next.node;
        next.box.load(box);
        entry = next.entry;
        exit = next.exit;
    }
}

} // namespace rtdetail

// Hands the leaves of a spatial tree that a ray passes through to
// visit(leaf, box), nearest first, until visit returns true. Returns whether
// visit did.
//
// Order: the root must be hit (slab test over the whole line). Of an inner
// node's children, the one with the smaller entry value comes first (the
// right one on a tie); a child whose box the ray misses is skipped, unless
// both are missed, when both are visited, the one whose centre is nearer to
// the origin first (the left one on a tie).
//
// worth(child, exit) lets the caller skip a child (a node number) that can
// hold nothing the ray may meet, such as one lying wholly behind the ray's
// origin (exit is the child's exit value along the ray; FLT_MAX when the
// box is missed).
//
// The children's slab tests give what rtSlabTest gives for their boxes. The
// staged tests of rtSlabCombine come down to comparing the largest entry
// value with the smallest exit value (an axis' own pair never fails, as its
// entry value is at most its exit value), which is how they are computed
// here, from the parent's plane values and the middle plane's.
template <class Worth, class Visit>
bool rtTraverse(const RTSpatialTree& tree, const RTRay& ray, Worth&& worth, Visit&& visit)
{
    float entry = -FLT_MAX, exit = FLT_MAX;
    if (tree.nodes.empty() || !rtSlabTest(ray, tree.rootBox, entry, exit))
        return false;
    const bool exactPlanes = !(std::fabs(ray.inverse.x) < INFINITY && std::fabs(ray.inverse.y) < INFINITY &&
                               std::fabs(ray.inverse.z) < INFINITY);
    return exactPlanes ? rtdetail::traversePlanes(tree, ray, worth, visit)
                       : rtdetail::traverseIntervals(tree, ray, worth, visit, entry, exit);
}

// Hands every leaf that the part of the ray from behind onward passes
// through (and, near boundaries, a few more) to visit(leaf) until visit
// returns true; returns whether it did. The order is front to back along the
// ray, but ties and tolerances are not those of rtTraverse: this walk serves
// queries whose answer does not depend on the order, such as whether any
// triangle is hit. A triangle the ray hits at a point at or beyond behind
// is held by a leaf containing that point, and every such leaf is visited.
template <class Visit>
bool rtTraverseAll(const RTSpatialTree& tree, const RTRay& ray, float behind, Visit&& visit)
{
    struct Pending {
        uint32_t node;
        float tmin, tmax;
    };
    if (tree.nodes.empty())
        return false;
    float tmin = -INFINITY, tmax = INFINITY;
    for (int a = 0; a < 3; ++a) {
        const float enter = rtPlaneT(ray, a, ray.sign[a] ? tree.rootBox.hi[a] : tree.rootBox.lo[a], true);
        const float leave = rtPlaneT(ray, a, ray.sign[a] ? tree.rootBox.lo[a] : tree.rootBox.hi[a], false);
        tmin = enter > tmin ? enter : tmin;
        tmax = leave < tmax ? leave : tmax;
    }
    tmin = tmin > behind ? tmin : behind;
    // Intervals are widened by a little more than the rounding of values
    // along the ray, so that rays grazing a box still visit it.
    const float slack = 1e-5f * (1.0f + std::fabs(tmin) + std::fabs(tmax));
    if (!(tmin <= tmax + slack))
        return false;

    const RTSpatialNode* nodes = tree.nodes.data();
    const float origin[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
    const float inverse[3] = {ray.inverse.x, ray.inverse.y, ray.inverse.z};
    const int sign[3] = {ray.sign[0], ray.sign[1], ray.sign[2]};
    Pending stack[RTSpatialTree::MAX_SPLIT_DEPTH + 2];
    int size = 0;
    uint32_t current = 0;
    for (;;) {
        const RTSpatialNode& node = nodes[current];
        if (node.isLeaf()) {
            if (visit(node))
                return true;
            if (size == 0)
                return false;
            const Pending& next = stack[--size];
            current = next.node;
            tmin = next.tmin;
            tmax = next.tmax;
            continue;
        }
        const int a = node.axis();
        const float crossing = (node.split - origin[a]) * inverse[a];
        // The ray meets the half it runs from before the crossing and the
        // other one after it; a ray within the middle plane meets both.
        const uint32_t firstHalf = static_cast<uint32_t>(sign[a]);
        const bool inPlane = crossing != crossing;
        const bool visitFirst = inPlane || crossing >= tmin - slack;
        const bool visitSecond = inPlane || crossing <= tmax + slack;
        const float split = inPlane ? tmax : crossing;
        if (visitSecond) {
            const float secondMin = inPlane ? tmin : (split > tmin ? split : tmin);
            if (!visitFirst) {
                current = node.first + 1 - firstHalf;
                tmin = secondMin;
                continue;
            }
            Pending& later = stack[size++];
            later.node = node.first + 1 - firstHalf;
            later.tmin = secondMin;
            later.tmax = tmax;
        }
        current = node.first + firstHalf;
        tmax = split < tmax ? split : tmax;
    }
}
