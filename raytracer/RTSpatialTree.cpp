#include "raytracer/RTSpatialTree.h"

#include <algorithm>
#include <cmath>

RTBox::RTBox(const KXBounds& bounds)
{
    const KXPosition& lower = bounds.getLowerLeftPos();
    const KXPosition& upper = bounds.getUpperRightPos();
    for (int a = 0; a < 3; ++a) {
        lo[a] = lower[a];
        hi[a] = upper[a];
    }
}

int rtLongestAxis(const RTBox& box)
{
    const float e = 1e-4f;
    const auto atLeast = [e](float a, float b) { return a > b + e || std::fabs(a - b) < e; };
    const float x = box.extent(0), y = box.extent(1), z = box.extent(2);
    if (atLeast(x, y) && atLeast(x, z))
        return 0;
    if (atLeast(y, x) && atLeast(y, z))
        return 1;
    return 2;
}

bool rtBoxesOverlap(const RTBox& a, const RTBox& b)
{
    for (int axis = 0; axis < 3; ++axis)
        if (std::fabs(a.center(axis) - b.center(axis)) - (a.extent(axis) + b.extent(axis)) * 0.5f >= 1e-4f)
            return false;
    return true;
}

namespace {

// Centre and extent of a box, computed once per item rather than once per
// overlap test; the same arithmetic as RTBox::center and RTBox::extent.
struct BoxShape {
    float center[3];
    float extent[3];

    BoxShape() = default;
    explicit BoxShape(const RTBox& box)
    {
        for (int a = 0; a < 3; ++a) {
            center[a] = box.center(a);
            extent[a] = box.extent(a);
        }
    }
    bool overlaps(const BoxShape& o) const
    {
        for (int a = 0; a < 3; ++a)
            if (std::fabs(center[a] - o.center[a]) - (extent[a] + o.extent[a]) * 0.5f >= 1e-4f)
                return false;
        return true;
    }
};

class Builder
{
public:
    Builder(RTSpatialTree::KIND kind, const std::vector<RTBox>& itemBoxes, RTSpatialTree& tree)
        : m_kind(kind), m_tree(tree)
    {
        m_items.reserve(itemBoxes.size());
        for (const RTBox& box : itemBoxes)
            m_items.emplace_back(box);
    }

    void subdivide(uint32_t index, const RTBox& box, std::vector<uint32_t>& items, int depth)
    {
        const bool worthSplitting = m_kind == RTSpatialTree::SHAPES ? !items.empty() : items.size() > 6;
        if (!worthSplitting) {
            makeLeaf(index, items);
            return;
        }
        const int axis = rtLongestAxis(box);
        RTBox leftBox, rightBox;
        rtSplitBox(box, axis, leftBox, rightBox);
        const BoxShape leftShape(leftBox), rightShape(rightBox);

        std::vector<uint32_t> left, right;
        left.reserve(items.size());
        right.reserve(items.size());
        for (uint32_t item : items) {
            const bool inLeft = m_items[item].overlaps(leftShape);
            const bool inRight = m_items[item].overlaps(rightShape);
            if (inLeft || !inRight)
                left.push_back(item);
            if (inRight || !inLeft)
                right.push_back(item);
        }
        const bool failed = m_kind == RTSpatialTree::SHAPES
                                ? left == right
                                : left.size() == items.size() && right.size() == items.size();
        if (failed) {
            makeLeaf(index, items);
            return;
        }

        const uint32_t first = static_cast<uint32_t>(m_tree.nodes.size());
        m_tree.nodes.resize(m_tree.nodes.size() + 2);
        m_tree.nodes[index].makeInner(first, axis, leftBox.hi[axis]);
        std::vector<uint32_t>().swap(items);

        if (depth + 1 <= RTSpatialTree::MAX_SPLIT_DEPTH) {
            subdivide(first, leftBox, left, depth + 1);
            subdivide(first + 1, rightBox, right, depth + 1);
        } else {
            makeLeaf(first, left);
            makeLeaf(first + 1, right);
        }
    }

private:
    void makeLeaf(uint32_t index, const std::vector<uint32_t>& items)
    {
        m_tree.nodes[index].makeLeaf(static_cast<uint32_t>(m_tree.leafItems.size()), static_cast<uint32_t>(items.size()));
        m_tree.leafItems.insert(m_tree.leafItems.end(), items.begin(), items.end());
    }

    RTSpatialTree::KIND m_kind;
    RTSpatialTree& m_tree;
    std::vector<BoxShape> m_items;
};

} // namespace

void RTSpatialTree::build(KIND kind, const RTBox& box, std::vector<uint32_t> items, const std::vector<RTBox>& itemBoxes)
{
    rootBox = box;
    nodes.clear();
    leafItems.clear();
    nodes.resize(1);
    Builder builder(kind, itemBoxes, *this);
    builder.subdivide(0, box, items, 0);
}

void RTSpatialTree::forEachNode(const std::function<void(const RTSpatialNode&, const RTBox&, int)>& visit) const
{
    if (nodes.empty())
        return;
    struct Pending {
        uint32_t node;
        RTBox box;
        int depth;
    };
    std::vector<Pending> pending{{0u, rootBox, 0}};
    while (!pending.empty()) {
        const Pending p = pending.back();
        pending.pop_back();
        const RTSpatialNode& node = nodes[p.node];
        visit(node, p.box, p.depth);
        if (!node.isLeaf()) {
            RTBox left, right;
            rtSplitBox(p.box, node.axis(), left, right);
            pending.push_back({node.first + 1, right, p.depth + 1});
            pending.push_back({node.first, left, p.depth + 1});
        }
    }
}

size_t RTSpatialTree::getNumLeaves() const
{
    return static_cast<size_t>(std::count_if(nodes.begin(), nodes.end(), [](const RTSpatialNode& n) { return n.isLeaf(); }));
}
