#pragma once

// The packet walks of RTPacketTraversal.h in 256-bit registers, eight lanes
// to a register, for processors with AVX. Every operation of the walks
// works lane by lane, so each lane gets the values, leaves and order of the
// four-lane walks; a node just takes half the instructions.
//
// The wide walks are compiled on their own for AVX and chosen at run time;
// they call their leaf visits through a function pointer.

#include "raytracer/RTTraversal.h"

// The registers of the packet walks.
enum class RTPacketWidth { FOUR, EIGHT };

// EIGHT where the processor runs AVX, else FOUR.
RTPacketWidth rtWidestPackets();

// visit(context, mask, leaf, box) and visit(context, mask, leaf) as
// rtTraversePacket and rtTraverseAllPacket call their visits.
using RTPacketLeafVisit = unsigned (*)(void* context, unsigned mask, const RTSpatialNode& leaf, const RTBox& box);
using RTPacketAnyLeafVisit = unsigned (*)(void* context, unsigned mask, const RTSpatialNode& leaf);

// rtTraversePacket and rtTraverseAllPacket eight lanes to a register, for
// rtWidestPackets() == EIGHT only; elsewhere they give every lane up.
unsigned rtTraversePacketWide(const RTSpatialTree& tree, const RTRay* const* rays, unsigned lanes, const float* behind,
                              RTPacketLeafVisit visit, void* context);
unsigned rtTraverseAllPacketWide(const RTSpatialTree& tree, const RTRay* const* rays, unsigned lanes,
                                 const float* behind, RTPacketAnyLeafVisit visit, void* context);

// The same with a visit of any callable type.
template <class Visit>
unsigned rtTraversePacketWide(const RTSpatialTree& tree, const RTRay* const* rays, unsigned lanes, const float* behind,
                              Visit& visit)
{
    return rtTraversePacketWide(
        tree, rays, lanes, behind,
        [](void* context, unsigned mask, const RTSpatialNode& leaf, const RTBox& box) -> unsigned {
            return (*static_cast<Visit*>(context))(mask, leaf, box);
        },
        &visit);
}

template <class Visit>
unsigned rtTraverseAllPacketWide(const RTSpatialTree& tree, const RTRay* const* rays, unsigned lanes,
                                 const float* behind, Visit& visit)
{
    return rtTraverseAllPacketWide(
        tree, rays, lanes, behind,
        [](void* context, unsigned mask, const RTSpatialNode& leaf) -> unsigned {
            return (*static_cast<Visit*>(context))(mask, leaf);
        },
        &visit);
}
