#include "pipeline/Binning.h"

#include <algorithm>

namespace swd3d9 {
namespace pipeline {

void TileBins::reset(int width, int height)
{
    for (int tile : m_used)
        m_bins[static_cast<size_t>(tile)].clear();
    m_used.clear();
    m_tilesX = (width + TILE_SIZE - 1) >> TILE_SIZE_LOG2;
    m_tilesY = (height + TILE_SIZE - 1) >> TILE_SIZE_LOG2;
    const size_t count = static_cast<size_t>(m_tilesX) * static_cast<size_t>(m_tilesY);
    if (m_bins.size() < count)
        m_bins.resize(count);
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

} // namespace pipeline
} // namespace swd3d9
