#pragma once

#include "sceneapi/KXBounds.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// An axis-aligned box as two corners.
struct RTBox {
    float lo[3] = {0.0f, 0.0f, 0.0f};
    float hi[3] = {0.0f, 0.0f, 0.0f};

    RTBox() = default;
    // An empty KXBounds reads as the point at the origin, as its corners say.
    explicit RTBox(const KXBounds& bounds);
    float center(int axis) const { return (lo[axis] + hi[axis]) * 0.5f; }
    float extent(int axis) const { return hi[axis] - lo[axis]; }
};

// A node of a flattened spatial tree, twelve bytes so that the nodes a ray
// walks through share cache lines. The children of an inner node sit next to
// each other at first and first + 1 and split their parent's box in halves
// at split on its axis; a leaf lists count items from first (shape numbers
// in a shape tree, pack groups in a mesh tree). Boxes are not stored: they
// follow from the root's box and the splits on the way down.
struct RTSpatialNode {
    static constexpr uint32_t LEAF = 0x80000000u;
    static constexpr uint32_t COUNT_MASK = 0x1fffffffu;

    uint32_t first = 0;
    uint32_t bits = LEAF; // leaf flag, split axis in bits 29-30, leaf item count
    float split = 0.0f;   // the middle of the node's box on its axis

    bool isLeaf() const { return (bits & LEAF) != 0; }
    int axis() const { return static_cast<int>((bits >> 29) & 3u); }
    uint32_t count() const { return bits & COUNT_MASK; }
    void makeLeaf(uint32_t firstItem, uint32_t numItems)
    {
        first = firstItem;
        bits = LEAF | (numItems & COUNT_MASK);
    }
    void makeInner(uint32_t firstChild, int splitAxis, float middle)
    {
        first = firstChild;
        bits = static_cast<uint32_t>(splitAxis) << 29;
        split = middle;
    }
};
static_assert(sizeof(RTSpatialNode) == 12, "tree nodes are kept small for the cache");

// Halves box on axis at the middle of its extent: each half is the smallest
// box around one corner and the opposite corner moved onto the middle, that
// is the box with one face moved onto the middle. The builder and the
// traversal both use this, so they agree on every box to the last bit.
inline void rtSplitBox(const RTBox& box, int axis, RTBox& left, RTBox& right)
{
    const float middle = (box.lo[axis] + box.hi[axis]) * 0.5f;
    left = box;
    right = box;
    left.hi[axis] = middle;
    right.lo[axis] = middle;
}

// Subdivision of a box into halves, again and again, whose leaves list the
// items (shapes or triangles) whose boxes reach into them. The root is node
// 0; an empty tree has no nodes.
struct RTSpatialTree {
    // Leaves lie at depth 17 at most: nodes at depth 16 may still be split.
    static constexpr int MAX_SPLIT_DEPTH = 16;

    enum KIND {
        // Split while a node holds an item; a split that sends the same list
        // to both children fails.
        SHAPES,
        // Split while a node holds more than 6 triangles; a split fails only
        // when every triangle lands in both children.
        TRIANGLES,
    };

    RTBox rootBox;
    std::vector<RTSpatialNode> nodes;
    std::vector<uint32_t> leafItems;

    // Builds the tree over items (numbers into itemBoxes, in order). Each
    // item goes to every child whose box its own box overlaps, and to both
    // when it overlaps neither. Leaves list their items in leafItems.
    void build(KIND kind, const RTBox& box, std::vector<uint32_t> items, const std::vector<RTBox>& itemBoxes);
    bool empty() const { return nodes.empty(); }

    // Calls visit(node, box, depth) for every node, parents before children.
    void forEachNode(const std::function<void(const RTSpatialNode&, const RTBox&, int)>& visit) const;
    size_t getNumLeaves() const;
};

// The axis of the longest extent; extents within 1e-4 count as equal and
// ties go to x, then y.
int rtLongestAxis(const RTBox& box);
// Boxes overlap unless on some axis their centres lie apart by half the sum
// of their extents plus 1e-4 or more: touching boxes overlap.
bool rtBoxesOverlap(const RTBox& a, const RTBox& b);
