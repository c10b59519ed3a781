#pragma once

// Binning: the primitives of a draw sorted into 64x64-pixel tiles, each bin
// in primitive order, so that a tile drawn by any thread gets the same
// result.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace swd3d9 {
namespace pipeline {

constexpr int TILE_SIZE_LOG2 = 6;
constexpr int TILE_SIZE = 1 << TILE_SIZE_LOG2;

class TileBins
{
public:
    // Empties every bin for a target of this size (storage is kept). When
    // memory for the bins runs out it throws std::bad_alloc and leaves the
    // bins empty for the size they had.
    void reset(int width, int height);
    // Adds primitive `index` to the tiles its inclusive pixel box touches.
    // Throws std::bad_alloc when a bin cannot grow; the primitive may then
    // be in some of its tiles (see truncate).
    void add(uint32_t index, int minX, int minY, int maxX, int maxY);
    // Takes primitives `first` and above out of every bin again, as if they
    // had never been added (primitives are added in increasing order).
    void truncate(uint32_t first);

    int tilesX() const { return m_tilesX; }
    const std::vector<uint32_t>& bin(int tile) const { return m_bins[static_cast<size_t>(tile)]; }
    // Tiles with at least one primitive, in index order.
    const std::vector<int>& usedTiles() const { return m_used; }

private:
    int m_tilesX = 0;
    int m_tilesY = 0;
    std::vector<std::vector<uint32_t>> m_bins;
    std::vector<int> m_used;
};

} // namespace pipeline
} // namespace swd3d9
