#include "pipeline/Binning.h"

#include <algorithm>

namespace swd3d9 {
namespace pipeline {

void TileBins::reset(int width, int height)
{
    for (int tile : m_used)
        m_bins[static_cast<size_t>(tile)].clear();
    m_used.clear();
    const int tilesX = (width + TILE_SIZE - 1) >> TILE_SIZE_LOG2;
    const int tilesY = (height + TILE_SIZE - 1) >> TILE_SIZE_LOG2;
    // The bins exist before the size that addresses them is taken on.
    const size_t count = static_cast<size_t>(tilesX) * static_cast<size_t>(tilesY);
    if (m_bins.size() < count)
        m_bins.resize(count);
    m_tilesX = tilesX;
    m_tilesY = tilesY;
}

void TileBins::add(uint32_t index, int minX, int minY, int maxX, int maxY)
{
    const int tx0 = std::max(0, minX >> TILE_SIZE_LOG2);
    const int ty0 = std::max(0, minY >> TILE_SIZE_LOG2);
    const int tx1 = std::min(m_tilesX - 1, maxX >> TILE_SIZE_LOG2);
    const int ty1 = std::min(m_tilesY - 1, maxY >> TILE_SIZE_LOG2);
    for (int ty = ty0; ty <= ty1; ++ty) {
        for (int tx = tx0; tx <= tx1; ++tx) {
            const int tile = ty * m_tilesX + tx;
            std::vector<uint32_t>& bin = m_bins[static_cast<size_t>(tile)];
            if (bin.empty())
                m_used.push_back(tile);
            bin.push_back(index);
        }
    }
}

void TileBins::truncate(uint32_t first)
{
    for (int tile : m_used) {
        std::vector<uint32_t>& bin = m_bins[static_cast<size_t>(tile)];
        while (!bin.empty() && bin.back() >= first)
            bin.pop_back();
    }
    // A tile is listed when its first primitive arrives, so the tiles that
    // only the removed primitives reached are the last ones listed.
    while (!m_used.empty() && m_bins[static_cast<size_t>(m_used.back())].empty())
        m_used.pop_back();
}

} // namespace pipeline
} // namespace swd3d9
