#pragma once

// 16- and 32-bit words read from and written to pixel memory at any byte
// address, in the machine's byte order.

#include <cstdint>
#include <cstring>

namespace swd3d9 {

inline uint32_t load32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline uint16_t load16(const uint8_t* p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline void store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline void store16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }

} // namespace swd3d9
